#include "share/SubmitToContestNoticeViewController.h"
#include "platform/foundation/Translation.h"
#include "share/ServicesHint.h"

#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Image.h"
#include "platform/ui/Label.h"
#include "platform/ui/Screen.h"
#include "platform/ui/TextEditing.h"
#include "platform/ui/Window.h"
#include "services/http/ServiceConfig.h"
#include "share/OverlayView.h"

#include <cmath>

namespace tx {

namespace {

constexpr double kFadeSeconds = 0.5;

const char* const kNoticeParagraphs[] = {
    N_("Make the world run backwards and win."),
    N_("Record a clip, reverse it with Taluvex and enter it from the share screen with "
       "\"Enter the Contest\". Give your movie a title, your name and an e-mail address where we "
       "can reach you; your mail program sends the entry with the movie attached."),
    N_("Every month we pick the movies that surprise us most: a dive that lands back on the board, "
       "a cake that puts itself together, a dog that un-fetches its ball. The best are published on "
       "our channel, which you can watch in the YouTube tab of the library."),
    N_("Please enter only movies you recorded yourself, with sound you may use. One entry per "
       "movie; you may enter as many movies as you like."),
    N_("We use your e-mail address only to tell you about your entry."),
    N_("Follow the contest on our page for the winners and the next theme."),
};

} // namespace

void SubmitToContestNoticeViewController::loadView() {
    const double height = Screen::mainScreen().bounds().size.height;
    auto root = std::make_shared<OverlayView>(Rect(0, 0, 320, height));
    root->setBackgroundColor(theme::background());
    root->setKeyBindings([this](KeyTable& table) {
        using Key = KeyEvent::Key;
        table.press({KeyChord::special(Key::Escape)}, _("Close the notice"), _closeButton.get(),
                    [this] { cancel(); });
        table.press({KeyChord::special(Key::Return)}, _("Open the contest's page"),
                    _facebookButton.get(), [this] { facebook(); });
        table.add({KeyChord::special(Key::Up)}, _("Scroll up"), [this] { _scrollView->scrollBy(0, -40); });
        table.add({KeyChord::special(Key::Down)}, _("Scroll down"),
                  [this] { _scrollView->scrollBy(0, 40); });
    });
    _background = std::make_shared<ImageView>(Rect(0, 0, 320, height));
    _background->setImage(Image::imageNamed("contest_notice_bg_640_1136"));
    _background->setContentMode(ContentMode::ScaleAspectFill);
    root->addSubview(_background);

    _closeButton = std::make_shared<Button>(Rect(272, 8, 40, 40));
    _closeButton->setImage(Image::imageNamed("close_btn_80_80"), ControlStateNormal);
    _closeButton->setImage(Image::imageNamed("close_btn_P_80_80"), ControlStateHighlighted);
    _closeButton->setAccessibilityLabel(_("Close"));
    _closeButton->addTarget(this, ControlEventTouchUpInside, [this](Control&) { cancel(); });
    root->addSubview(_closeButton);

    _scrollView = std::make_shared<ScrollView>(Rect(25, 64, 270, height - 64 - 68));
    root->addSubview(_scrollView);
    double y = 0;
    bool first = true;
    for (const char* english : kNoticeParagraphs) {
        const std::string paragraph = _(english);
        const Font font = first ? Font::boldSystemFont(19) : Font::systemFont(15);
        const double height = std::ceil(TextBox(paragraph, font, 270, true).height()) + 2;
        auto label = std::make_shared<Label>(Rect(0, y, 270, height));
        label->setNumberOfLines(0);
        label->setFont(font);
        label->setTextColor(first ? theme::text() : theme::secondaryText());
        label->setText(paragraph);
        _scrollView->addSubview(label);
        y += label->frame().height() + 12;
        first = false;
    }

    _facebookButton = std::make_shared<Button>(Rect(60, height - 58, 200, 40));
    _facebookButton->setAccessibilityLabel(_("Facebook page"));
    _facebookButton->setImage(Image::imageNamed("facebook_page_btn_400_80"), ControlStateNormal);
    _facebookButton->setImage(Image::imageNamed("facebook_page_btn_P_400_80"),
                              ControlStateHighlighted);
    _facebookButton->addTarget(this, ControlEventTouchUpInside, [this](Control&) { facebook(); });
    root->addSubview(_facebookButton);
    setView(root);
}

void SubmitToContestNoticeViewController::viewDidLoad() {
    _scrollView->setContentSize(Size(270, 760));
}

void SubmitToContestNoticeViewController::show() {
    Window* window = Window::keyWindow();
    if (window == nullptr || _refController) {
        return;
    }
    _refController = sharedAs<SubmitToContestNoticeViewController>();
    const ViewPtr& overlay = view();
    overlay->setFrame(Rect(0, 0, 320, Screen::mainScreen().bounds().size.height));
    window->addSubview(overlay);
    window->bringSubviewToFront(overlay.get());
    overlay->setAlpha(0);
    overlay->becomeFirstResponder();
    View::animate(kFadeSeconds, 0, AnimationCurve::Linear, [overlay] { overlay->setAlpha(1); });
}

void SubmitToContestNoticeViewController::hide() {
    if (!_refController) {
        return;
    }
    const ViewPtr& overlay = view();
    overlay->resignFirstResponder();
    // Touches pass to the screen beneath while the notice fades.
    overlay->setUserInteractionEnabled(false);
    View::animate(
        kFadeSeconds, 0, AnimationCurve::Linear, [overlay] { overlay->setAlpha(0); },
        [this](bool) {
            view()->removeFromSuperview();
            view()->setUserInteractionEnabled(true);
            // The last reference: nothing of this object is used after it.
            auto self = std::move(_refController);
        });
}

void SubmitToContestNoticeViewController::facebook() {
    const std::string& page = ServiceConfig::current().contestFacebookPage;
    if (page.rfind("https://", 0) == 0 && page.size() > 8) {
        Application::sharedApplication().openURL(page);
        return;
    }
    auto alert = std::make_shared<AlertView>(
        "",
        withArguments(_("No contest page is configured: set facebook_page= to an https address "
                        "under [contest] in %1."),
                      {servicesFileForDisplay()}),
        std::weak_ptr<AlertViewDelegate>(), _("OK"), std::vector<std::string>{});
    alert->show();
}

} // namespace tx
