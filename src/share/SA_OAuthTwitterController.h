// The Twitter sign-in screen: Twitter's page where the user allows Taluvex opens in the browser,
// and this screen takes the 7-character PIN that page shows, exchanges it for the access token
// and reports back. Cancel (or Esc) gives up.
#pragma once

#include "platform/foundation/Translation.h"
#include "platform/foundation/Error.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/TextField.h"
#include "platform/ui/ViewController.h"
#include "services/twitter/SA_OAuthTwitterEngine.h"

#include <memory>
#include <string>

namespace tx {

class SA_OAuthTwitterController;

class SA_OAuthTwitterControllerDelegate {
public:
    virtual ~SA_OAuthTwitterControllerDelegate() = default;
    virtual void OAuthTwitterControllerAuthenticatedWithUsername(SA_OAuthTwitterController&,
                                                                 const std::string& username) = 0;
    virtual void OAuthTwitterControllerFailed(SA_OAuthTwitterController&, const ErrorPtr&) {}
    virtual void OAuthTwitterControllerCanceled(SA_OAuthTwitterController&) {}
};

class SA_OAuthTwitterController : public ViewController, public TextFieldDelegate {
public:
    static constexpr const char* kCopyThePin = N_("Select and Copy the PIN");
    static constexpr std::size_t kPinLength = 7;

    // Null when the engine is already signed in; otherwise a sign-in screen to present.
    static std::shared_ptr<SA_OAuthTwitterController> controllerToEnterCredentialsWithTwitterEngine(
        const std::shared_ptr<SA_OAuthTwitterEngine>& engine,
        std::weak_ptr<SA_OAuthTwitterControllerDelegate> delegate);

    SA_OAuthTwitterController(std::shared_ptr<SA_OAuthTwitterEngine> engine,
                              std::weak_ptr<SA_OAuthTwitterControllerDelegate> delegate);

    void loadView() override;
    void viewDidAppear(bool animated) override;
    void addKeyBindings(KeyTable& table) override;
    bool textFieldShouldReturn(TextField& field) override;

    // The PIN as typed or pasted, white space at both ends removed.
    static std::string trimmedPin(const std::string& text);

    void onSignIn();
    void onCancel();
    void onOpenPage();

    // Whether appearing starts the sign-in (the tour shows the screen without a service).
    void setStartsOnAppear(bool starts) { _started = !starts; }

    const std::shared_ptr<TextField>& pinField() const { return _pin; }
    const std::shared_ptr<Label>& statusLabel() const { return _status; }
    const std::shared_ptr<Button>& signInButton() const { return _signIn; }

private:
    void requestToken();
    void finish(const ErrorPtr& error, bool cancelled, const std::string& username = {});

    std::shared_ptr<SA_OAuthTwitterEngine> _engine;
    std::weak_ptr<SA_OAuthTwitterControllerDelegate> _delegate;
    std::shared_ptr<TextField> _pin;
    std::shared_ptr<Label> _status;
    std::shared_ptr<Button> _signIn;
    std::shared_ptr<Button> _cancel;
    std::shared_ptr<Button> _openPage;
    bool _started = false;
    bool _hasRequestToken = false;
    bool _busy = false;
    bool _finished = false;
};

} // namespace tx
