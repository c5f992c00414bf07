#include "services/twitter/SA_OAuthTwitterEngine.h"

#include "services/credentials/CredentialStore.h"
#include "services/http/Answers.h"
#include "services/http/SafeXml.h"
#include "services/http/ServiceConfig.h"

#include <libxml/HTMLparser.h>

namespace tx {

namespace {

ErrorPtr answerError(const HttpResponse& response, const char* what) {
    if (response.error) {
        return response.error;
    }
    return Error::make("HTTPError", response.status,
                       std::string(what) + ": the service answered with status " +
                           std::to_string(response.status));
}

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

const xmlNode* findById(const xmlNode* node, const char* id) {
    for (; node; node = node->next) {
        if (node->type == XML_ELEMENT_NODE && xmlAttribute(node, "id") == id) {
            return node;
        }
        if (const xmlNode* found = findById(node->children, id)) {
            return found;
        }
    }
    return nullptr;
}

const xmlNode* findElement(const xmlNode* node, const char* name) {
    for (; node; node = node->next) {
        if (xmlNameIs(node, name)) {
            return node;
        }
        if (const xmlNode* found = findElement(node->children, name)) {
            return found;
        }
    }
    return nullptr;
}

} // namespace

void storeTwitterAuthData(const std::string& data) {
    if (data.empty()) {
        CredentialStore::shared().remove(kTwitterAuthDataKey);
    } else {
        CredentialStore::shared().store(kTwitterAuthDataKey, data);
    }
}

std::optional<std::string> loadTwitterAuthData() {
    return CredentialStore::shared().load(kTwitterAuthDataKey);
}

std::shared_ptr<SA_OAuthTwitterEngine> SA_OAuthTwitterEngine::initOAuthWithDelegate(
    std::weak_ptr<SA_OAuthTwitterEngineDelegate> delegate) {
    std::shared_ptr<SA_OAuthTwitterEngine> engine(new SA_OAuthTwitterEngine());
    engine->_delegate = std::move(delegate);
    return engine;
}

std::optional<OAToken> SA_OAuthTwitterEngine::accessToken() {
    if (!_accessToken) {
        if (auto delegate = _delegate.lock()) {
            if (auto data = delegate->cachedTwitterOAuthDataForUsername({})) {
                _accessToken = OAToken::fromHTTPResponseBody(*data);
            }
        }
    }
    return _accessToken;
}

bool SA_OAuthTwitterEngine::isAuthorized() {
    return accessToken().has_value();
}

void SA_OAuthTwitterEngine::clearAccessToken() {
    _accessToken.reset();
    if (auto delegate = _delegate.lock()) {
        delegate->storeCachedTwitterOAuthData({}, {});
    }
}

OAuth1Signer SA_OAuthTwitterEngine::signer(std::optional<OAToken> token) const {
    OAuth1Signer signer(_consumer, std::move(token));
    if (_signerHook) {
        _signerHook(signer);
    }
    return signer;
}

void SA_OAuthTwitterEngine::post(const std::string& url, const FormFields& form,
                                 const FormFields& oauthExtra, std::optional<OAToken> token,
                                 std::function<void(const HttpResponse&)> done) {
    const std::string body = Url::encodeForm(form);
    HttpRequest request;
    request.method = "POST";
    request.url = url;
    request.headers.emplace_back(
        "Authorization",
        signer(std::move(token)).sign("POST", url, body, oauthExtra).authorization);
    request.headers.emplace_back("Content-Type", "application/x-www-form-urlencoded");
    request.body = std::make_shared<RequestBody>(body);
    request.maxAnswerBytes = kSmallAnswerBytes;
    HttpClient& http = _http ? *_http : HttpClient::shared();
    auto self = std::static_pointer_cast<SA_OAuthTwitterEngine>(shared_from_this());
    http.send(std::move(request), [self, done](const HttpResponse& response) { done(response); });
}

void SA_OAuthTwitterEngine::requestRequestToken(Completion completion) {
    const std::string url = ServiceConfig::current().twitterApiBase + "/oauth/request_token";
    post(url, {}, {{"oauth_callback", "oob"}}, std::nullopt,
         [this, completion](const HttpResponse& response) {
             if (!response.ok()) {
                 completion(answerError(response, "The sign-in could not start"));
                 return;
             }
             _requestToken = OAToken::fromHTTPResponseBody(response.body);
             completion(_requestToken ? nullptr
                                      : Error::make("The sign-in could not start", 0,
                                                    "Twitter sent no request token"));
         });
}

std::string SA_OAuthTwitterEngine::authorizeURL() const {
    return Url::appendingQuery(ServiceConfig::current().twitterApiBase + "/oauth/authorize",
                               {{"oauth_token", _requestToken ? _requestToken->key : ""}});
}

void SA_OAuthTwitterEngine::requestAccessTokenWithPIN(const std::string& pin,
                                                      Completion completion) {
    if (!_requestToken) {
        completion(Error::make("The sign-in has not started", 0));
        return;
    }
    const std::string url = ServiceConfig::current().twitterApiBase + "/oauth/access_token";
    post(url, {}, {{"oauth_verifier", trimmed(pin)}}, _requestToken,
         [this, completion](const HttpResponse& response) {
             if (!response.ok()) {
                 completion(answerError(response, "The sign-in failed"));
                 return;
             }
             auto token = OAToken::fromHTTPResponseBody(response.body);
             if (!token) {
                 completion(Error::make("The sign-in failed", 0, "Twitter sent no access token"));
                 return;
             }
             _accessToken = token;
             _requestToken.reset();
             const std::string username =
                 Url::field(token->extra, "screen_name").value_or(std::string());
             if (auto delegate = _delegate.lock()) {
                 delegate->storeCachedTwitterOAuthData(response.body, username);
             }
             completion(nullptr);
         });
}

std::string SA_OAuthTwitterEngine::verifyCredentialsURL() const {
    const ServiceConfig& config = ServiceConfig::current();
    return config.twitterApiBase + config.twitterVerifyCredentialsPath;
}

std::optional<std::string> SA_OAuthTwitterEngine::echoAuthorization() {
    auto token = accessToken();
    if (!token) {
        return std::nullopt;
    }
    OAuth1Signer echo = signer(token);
    echo.setRealm(std::string());
    return echo.sign("GET", verifyCredentialsURL()).authorization;
}

std::string SA_OAuthTwitterEngine::sendUpdate(const std::string& text) {
    const std::string identifier = std::to_string(_nextIdentifier++);
    auto token = accessToken();
    std::weak_ptr<SA_OAuthTwitterEngineDelegate> weakDelegate = _delegate;
    if (!token) {
        if (auto delegate = weakDelegate.lock()) {
            delegate->requestFailed(identifier, Error::make("Not signed in to Twitter", 0));
        }
        return identifier;
    }
    const ServiceConfig& config = ServiceConfig::current();
    post(config.twitterApiBase + config.twitterUpdatePath, {{"status", text}}, {}, token,
         [weakDelegate, identifier](const HttpResponse& response) {
             auto delegate = weakDelegate.lock();
             if (!delegate) {
                 return;
             }
             if (response.ok()) {
                 delegate->requestSucceeded(identifier);
             } else {
                 delegate->requestFailed(identifier, answerError(response, "The tweet failed"));
             }
         });
    return identifier;
}

std::optional<std::string> SA_OAuthTwitterEngine::pinFromAuthorizePage(const std::string& html) {
    if (html.empty() || html.size() > kSmallAnswerBytes) {
        return std::nullopt;
    }
    XmlDocPtr doc(htmlReadMemory(html.data(), static_cast<int>(html.size()), "authorize.html",
                                 "UTF-8",
                                 HTML_PARSE_NONET | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING));
    if (!doc) {
        return std::nullopt;
    }
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    const xmlNode* element = findById(root, "oauth-pin");
    if (!element) {
        element = findById(root, "oauth_pin");
    }
    if (!element) {
        return std::nullopt;
    }
    for (const xmlNode* candidate : {element, findElement(element->children, "code")}) {
        if (!candidate) {
            continue;
        }
        const std::string pin = trimmed(xmlText(candidate));
        if (pin.size() == 7) {
            return pin;
        }
    }
    return std::nullopt;
}

} // namespace tx
