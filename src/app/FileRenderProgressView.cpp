#include "platform/foundation/Translation.h"
#include "app/FileRenderProgressView.h"

#include "platform/ui/KeyTable.h"

#include "platform/ui/Accessibility.h"
#include "platform/ui/Image.h"
#include "platform/ui/ProgressBar.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

namespace tx {

namespace {
constexpr double kScreenWidth = 320;
constexpr double kBottomBarHeight = 54;
constexpr double kPanelWidth = 250;
constexpr double kPanelHeight = 136;
constexpr double kBarHeight = 18;
const Rect kBarFrame(49, 60, FileRenderProgressView::kBarWidth, kBarHeight);
const Rect kCancelFrame(180, 100, 58, 28);
} // namespace

FileRenderProgressView::FileRenderProgressView() = default;

void FileRenderProgressView::addKeyBindings(KeyTable& table) {
    table.press({KeyChord::special(KeyEvent::Key::Escape)}, _("Cancel the render"),
                _cancelButton.get(), [this] { onCancel(); });
}

bool FileRenderProgressView::keyPressed(const KeyEvent& event) {
    auto keep = weak_from_this().lock();
    return View::keyPressed(event) || event.key != KeyEvent::Key::Tab;
}

void FileRenderProgressView::show() {
    const double h = Screen::mainScreen().bounds().height();
    setFrame(Rect(0, 0, kScreenWidth, h));
    for (const ViewPtr& old : std::vector<ViewPtr>(subviews())) {
        old->removeFromSuperview();
    }
    _canceled = false;

    // Single precision on purpose: the panel sits at 145 on the short screen and 189 on the tall.
    const float centre = static_cast<float>(h - kBottomBarHeight) * 0.5f;
    const int panelY = static_cast<int>(centre) - 68;
    _panel = std::make_shared<View>(Rect(40, panelY, kPanelWidth, kPanelHeight));
    _panel->setBackgroundColor(Color::clear());

    auto background = std::make_shared<ImageView>(Rect(0, 0, kPanelWidth, kPanelHeight));
    background->setImage(Image::imageNamed("converting_bg_640_960"));
    _panel->addSubview(background);

    _progressViewBg = std::make_shared<ImageView>(kBarFrame);
    _progressViewBg->setImage(Image::imageNamed("loading_bar_bg_304_36"));
    _panel->addSubview(_progressViewBg);

    // The fill picture is pinned to the left and clipped: widening the bar uncovers it.
    _progressViewLoading = std::make_shared<ImageView>(Rect(kBarFrame.origin, Size{0, kBarHeight}));
    _progressViewLoading->setImage(Image::imageNamed("loading_bar_loading_304_36"));
    _progressViewLoading->setClipsToBounds(true);
    _progressViewLoading->setContentMode(ContentMode::Left);
    _panel->addSubview(_progressViewLoading);

    _cancelButton = std::make_shared<Button>(kCancelFrame);
    _cancelButton->setImage(Image::imageNamed("cancel_btn_116_56"), ControlStateNormal);
    _cancelButton->setImage(Image::imageNamed("cancel_btn_P_116_56"), ControlStateHighlighted);
    _cancelButton->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onCancel(); });
    _cancelButton->setAccessibilityLabel(_("Cancel"));
    _panel->addSubview(_cancelButton);

    addSubview(_panel);
    if (Window* window = Window::keyWindow()) {
        window->addSubview(sharedView());
        window->bringSubviewToFront(this);
    }
    setAlpha(0);
    animate(kFadeInSeconds, 0, AnimationCurve::Linear, [this] { setAlpha(1); });
    _announcedPercent = -1;
    accessibilityChanged(*this, AccessibleChange::Shown);
}

void FileRenderProgressView::hide() {
    // The overlay keeps itself alive until it has faded out.
    ViewPtr self = sharedView();
    animate(
        kFadeOutSeconds, 0, AnimationCurve::Linear, [this] { setAlpha(0); },
        [self](bool finished) {
            // Shown again meanwhile: the fade-in took over and the overlay stays.
            if (finished) {
                self->removeFromSuperview();
            }
        });
}

void FileRenderProgressView::setProgress(float progress) {
    if (_progressViewLoading) {
        setBarProgress(*_progressViewLoading, progress, kBarWidth);
        accessibleProgressChanged(*this, progress, _announcedPercent);
    }
}

std::string FileRenderProgressView::accessibilityLabel() const {
    return _("Rendering the movie");
}

float FileRenderProgressView::progress() const {
    return _progressViewLoading ? barProgress(*_progressViewLoading, kBarWidth) : 0.0f;
}

void FileRenderProgressView::onCancel() {
    // A second press while the overlay fades out must not cancel twice.
    if (_canceled) {
        return;
    }
    _canceled = true;
    if (auto delegate = _delegate.lock()) {
        delegate->fileRenderProgressViewCanceled(*this, true);
    }
    hide();
}

} // namespace tx
