#include "share/ShareAccountsBar.h"
#include "platform/foundation/Translation.h"

#include "app/FacebookSession.h"
#include "platform/foundation/Paths.h"
#include "services/credentials/CredentialStore.h"
#include "services/http/ServiceConfig.h"
#include "services/http/Url.h"
#include "services/oauth/OAuth1.h"
#include "services/twitter/SA_OAuthTwitterEngine.h"

namespace tx {

namespace {

std::string servicesIniForDisplay() {
    return pathByAppending(configDirectory(), "services.ini");
}

std::shared_ptr<Label> entryLabel(const Rect& frame) {
    auto label = std::make_shared<Label>(frame);
    label->setFont(Font::systemFont(10));
    label->setTextColor(Color::hex(0xa0a4ab));
    label->setBackgroundColor(Color::clear());
    label->setTextAlignment(TextAlignment::Center);
    return label;
}

std::shared_ptr<Button> signOutLink(const Rect& frame) {
    auto button = std::make_shared<Button>(frame);
    button->setTitle(_("Sign out"), ControlStateNormal);
    button->setTitleColor(theme::accent(), ControlStateNormal);
    button->setTitleFont(Font::boldSystemFont(11));
    return button;
}

} // namespace

ShareAccountsBar::ShareAccountsBar(const Rect& frame) : View(frame) {
    setBackgroundColor(Color::clear());
    const double half = frame.size.width / 2;
    _twitterLabel = entryLabel(Rect(0, 0, half, 14));
    _twitterSignOut = signOutLink(Rect(half / 2 - 30, 14, 60, 14));
    _facebookLabel = entryLabel(Rect(half, 0, half, 14));
    _facebookSignOut = signOutLink(Rect(half + half / 2 - 30, 14, 60, 14));
    for (const ViewPtr& v : std::initializer_list<ViewPtr>{_twitterLabel, _twitterSignOut,
                                                           _facebookLabel, _facebookSignOut}) {
        addSubview(v);
    }
    _twitterSignOut->addTarget(this, ControlEventTouchUpInside, [this](Control&) {
        storeTwitterAuthData({});
        if (_onSignedOut) {
            _onSignedOut();
        }
        refresh();
    });
    _facebookSignOut->addTarget(this, ControlEventTouchUpInside, [this](Control&) {
        FacebookSession::activeSession()->closeAndClearTokenInformation();
        CredentialStore::shared().remove(kFacebookSessionKey);
        if (_onSignedOut) {
            _onSignedOut();
        }
        refresh();
    });
    refresh();
}

std::optional<std::string> ShareAccountsBar::twitterAccount() {
    auto data = loadTwitterAuthData();
    if (!data || data->empty()) {
        return std::nullopt;
    }
    auto token = OAuthToken::fromHTTPResponseBody(*data);
    if (!token) {
        return std::nullopt;
    }
    return Url::field(token->extra, "screen_name").value_or(std::string());
}

bool ShareAccountsBar::facebookSignedIn() {
    if (FacebookSession::activeSession()->isOpen()) {
        return true;
    }
    auto stored = CredentialStore::shared().load(kFacebookSessionKey);
    return stored && !stored->empty();
}

std::optional<std::string> ShareAccountsBar::twitterSetupProblem() {
    const ServiceConfig& config = ServiceConfig::current();
    if (config.twitvidConfigured()) {
        return std::nullopt;
    }
    return withArguments(_("Twitter is not set up. Add consumer_key and consumer_secret to the "
                           "[twitter] section and api_base to the [twitvid] section of %1."),
                         {servicesIniForDisplay()});
}

std::optional<std::string> ShareAccountsBar::facebookSetupProblem() {
    if (ServiceConfig::current().facebookConfigured()) {
        return std::nullopt;
    }
    return withArguments(_("Facebook is not set up. Add app_id to the [facebook] section of %1."),
                         {servicesIniForDisplay()});
}

void ShareAccountsBar::refresh() {
    const auto account = twitterAccount();
    _twitterLabel->setText(!account           ? std::string()
                           : account->empty() ? _("Signed in to Twitter")
                                              : withArguments(_("Signed in as @%1"), {*account}));
    _twitterLabel->setHidden(!account);
    _twitterSignOut->setHidden(!account);
    const bool facebook = facebookSignedIn();
    _facebookLabel->setText(facebook ? _("Signed in to Facebook") : std::string());
    _facebookLabel->setHidden(!facebook);
    _facebookSignOut->setHidden(!facebook);
}

} // namespace tx
