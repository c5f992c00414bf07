#include "share/SA_OAuthTwitterController.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/KeyTable.h"

#include "platform/ui/Application.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "services/http/Url.h"

namespace tx {

namespace {

std::shared_ptr<Label> makeLabel(const Rect& frame, const std::string& text, const Font& font,
                                 const Color& color) {
    auto label = std::make_shared<Label>(frame);
    label->setText(text);
    label->setFont(font);
    label->setTextColor(color);
    label->setBackgroundColor(Color::clear());
    label->setNumberOfLines(0);
    label->setTextAlignment(TextAlignment::Center);
    return label;
}

std::shared_ptr<Button> makeTextButton(const Rect& frame, const std::string& title,
                                       const Color& background) {
    auto button = std::make_shared<Button>(frame);
    button->setTitle(title, ControlStateNormal);
    button->setTitleColor(theme::text(), ControlStateNormal);
    button->setBackgroundColor(background);
    button->setCornerRadius(8);
    return button;
}

} // namespace

std::shared_ptr<SA_OAuthTwitterController>
SA_OAuthTwitterController::controllerToEnterCredentialsWithTwitterEngine(
    const std::shared_ptr<SA_OAuthTwitterEngine>& engine,
    std::weak_ptr<SA_OAuthTwitterControllerDelegate> delegate) {
    if (!engine || engine->isAuthorized()) {
        return nullptr;
    }
    return std::make_shared<SA_OAuthTwitterController>(engine, std::move(delegate));
}

SA_OAuthTwitterController::SA_OAuthTwitterController(
    std::shared_ptr<SA_OAuthTwitterEngine> engine,
    std::weak_ptr<SA_OAuthTwitterControllerDelegate> delegate)
    : _engine(std::move(engine)), _delegate(std::move(delegate)) {}

std::string SA_OAuthTwitterController::trimmedPin(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

void SA_OAuthTwitterController::loadView() {
    const Rect bounds = Screen::mainScreen().bounds();
    auto root = std::make_shared<View>(bounds);
    root->setBackgroundColor(theme::background());
    const double top = (bounds.height() - 480) / 2;

    root->addSubview(makeLabel(Rect(20, top + 40, 280, 30), _("Sign in to Twitter"),
                               Font::boldSystemFont(20), theme::text()));
    root->addSubview(makeLabel(Rect(20, top + 84, 280, 70),
                               _("Your browser shows Twitter's page. Allow Taluvex there, then:"),
                               Font::systemFont(15), theme::text()));
    root->addSubview(makeLabel(Rect(20, top + 156, 280, 26), _(kCopyThePin), Font::boldSystemFont(18),
                               theme::accent()));
    root->addSubview(makeLabel(Rect(20, top + 184, 280, 24),
                               _("and paste it here:"), Font::systemFont(15), theme::text()));

    _pin = std::make_shared<TextField>(Rect(70, top + 218, 180, 40));
    _pin->setPlaceholder(_("PIN"));
    _pin->setFont(Font::boldSystemFont(22));
    _pin->setTextAlignment(TextAlignment::Center);
    _pin->setBorderStyle(TextBorderStyle::RoundedRect);
    _pin->setReturnKeyType(ReturnKeyType::Done);
    root->addSubview(_pin);

    _status = makeLabel(Rect(20, top + 264, 280, 40), _("Waiting for Twitter…"),
                        Font::systemFont(13), Color::hex(0xa0a4ab));
    root->addSubview(_status);

    _cancel = std::make_shared<Button>(Rect(40, top + 314, 116, 40));
    _cancel->setImage(Image::imageNamed("cancel_btn_116_56"), ControlStateNormal);
    _cancel->setImage(Image::imageNamed("cancel_btn_P_116_56"), ControlStateHighlighted);
    _cancel->setAccessibilityLabel(_("Cancel"));
    _cancel->setImageContentMode(ContentMode::ScaleAspectFit);
    _cancel->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onCancel(); });
    root->addSubview(_cancel);

    _signIn = makeTextButton(Rect(164, top + 314, 116, 40), _("Sign In"), theme::accent());
    _signIn->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onSignIn(); });
    root->addSubview(_signIn);

    _openPage =
        makeTextButton(Rect(60, top + 372, 200, 34), _("Open the page again"), theme::panelLight());
    _openPage->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onOpenPage(); });
    root->addSubview(_openPage);
    setView(root);
}

void SA_OAuthTwitterController::viewDidAppear(bool) {
    if (!_started) {
        _started = true;
        requestToken();
    }
    _pin->setDelegate(sharedAs<TextFieldDelegate>());
    _pin->becomeFirstResponder();
}

void SA_OAuthTwitterController::requestToken() {
    std::weak_ptr<Object> weakSelf = shared_from_this();
    _engine->requestRequestToken([weakSelf](const ErrorPtr& error) {
        auto self = std::static_pointer_cast<SA_OAuthTwitterController>(weakSelf.lock());
        if (!self || self->_finished) {
            return;
        }
        if (error) {
            self->finish(error, false);
            return;
        }
        self->_hasRequestToken = true;
        self->onOpenPage();
    });
}

void SA_OAuthTwitterController::onOpenPage() {
    if (!_hasRequestToken || _finished) {
        return;
    }
    const std::string page = _engine->authorizeURL();
    if (Application::sharedApplication().openURL(page)) {
        _status->setText(_("Twitter's page is open in your browser."));
    } else {
        _status->setText(withArguments(_("No browser could be opened. Visit %1"), {page}));
    }
}

bool SA_OAuthTwitterController::textFieldShouldReturn(TextField&) {
    onSignIn();
    return false;
}

void SA_OAuthTwitterController::onSignIn() {
    if (_busy || _finished) {
        return;
    }
    const std::string pin = trimmedPin(_pin->text());
    if (!_hasRequestToken) {
        _status->setText(_("Wait until Twitter's page has opened in your browser."));
        return;
    }
    if (pin.size() != kPinLength) {
        _status->setText(_("The PIN has 7 characters. Copy it from Twitter's page."));
        return;
    }
    _busy = true;
    _signIn->setEnabled(false);
    _status->setText(_("Signing in…"));
    std::weak_ptr<Object> weakSelf = shared_from_this();
    _engine->requestAccessTokenWithPIN(pin, [weakSelf](const ErrorPtr& error) {
        auto self = std::static_pointer_cast<SA_OAuthTwitterController>(weakSelf.lock());
        if (!self || self->_finished) {
            return;
        }
        self->_busy = false;
        std::string username;
        if (!error) {
            if (auto token = self->_engine->accessToken()) {
                username = Url::field(token->extra, "screen_name").value_or(std::string());
            }
        }
        self->finish(error, false, username);
    });
}

void SA_OAuthTwitterController::onCancel() {
    if (!_finished) {
        finish(nullptr, true);
    }
}

void SA_OAuthTwitterController::addKeyBindings(KeyTable& table) {
    table.add({KeyChord::special(KeyEvent::Key::Return)}, _("Sign in with the PIN"),
              [this] { onSignIn(); });
    table.add({KeyChord::special(KeyEvent::Key::Escape)}, _("Cancel signing in"),
              [this] { onCancel(); });
}

void SA_OAuthTwitterController::finish(const ErrorPtr& error, bool cancelled,
                                       const std::string& username) {
    _finished = true;
    _pin->resignFirstResponder();
    // The delegate hears the outcome once the screen has gone, so an alert it shows is on top.
    auto self = std::static_pointer_cast<SA_OAuthTwitterController>(shared_from_this());
    auto report = [self, error, cancelled, username] {
        auto delegate = self->_delegate.lock();
        if (!delegate) {
            return;
        }
        if (cancelled) {
            delegate->OAuthTwitterControllerCanceled(*self);
        } else if (error) {
            delegate->OAuthTwitterControllerFailed(*self, error);
        } else {
            delegate->OAuthTwitterControllerAuthenticatedWithUsername(*self, username);
        }
    };
    if (ViewController* presenter = presentingViewController()) {
        presenter->dismissViewController(true, report);
    } else {
        report();
    }
}

} // namespace tx
