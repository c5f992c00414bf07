#include "services/oauth/OAuth1.h"

#include "services/oauth/Crypto.h"

#include <algorithm>
#include <ctime>

namespace tx {

std::optional<OAuthToken> OAuthToken::fromHTTPResponseBody(std::string_view body) {
    OAuthToken token;
    for (auto& [name, value] : Url::parseForm(body)) {
        if (name == "oauth_token") {
            token.key = value;
        } else if (name == "oauth_token_secret") {
            token.secret = value;
        } else {
            token.extra.emplace_back(name, value);
        }
    }
    if (token.key.empty() || token.secret.empty()) {
        return std::nullopt;
    }
    return token;
}

OAuth1Signer::OAuth1Signer(OAuthConsumer consumer, std::optional<OAuthToken> token)
    : _consumer(std::move(consumer)), _token(std::move(token)) {
    _clock = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
    _nonce = [] { return Crypto::hex(Crypto::randomBytes(16)); };
}

std::optional<std::string> OAuth1Signer::signatureBaseString(std::string_view method,
                                                             const std::string& url,
                                                             std::string_view formBody,
                                                             const FormFields& oauthParameters) {
    const auto parsed = Url::parse(url);
    if (!parsed) {
        return std::nullopt;
    }
    // Every parameter decoded, then encoded once, then sorted by name and value.
    std::vector<std::pair<std::string, std::string>> encoded;
    auto add = [&encoded](const FormFields& fields) {
        for (const auto& [name, value] : fields) {
            encoded.emplace_back(Url::percentEncode(name), Url::percentEncode(value));
        }
    };
    add(Url::parseForm(parsed->query));
    add(Url::parseForm(formBody));
    for (const auto& [name, value] : oauthParameters) {
        if (name != "realm" && name != "oauth_signature") {
            encoded.emplace_back(Url::percentEncode(name), Url::percentEncode(value));
        }
    }
    std::sort(encoded.begin(), encoded.end());
    std::string normalized;
    for (const auto& [name, value] : encoded) {
        if (!normalized.empty()) {
            normalized += '&';
        }
        normalized += name + "=" + value;
    }
    std::string upperMethod(method);
    std::transform(upperMethod.begin(), upperMethod.end(), upperMethod.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upperMethod + "&" + Url::percentEncode(parsed->baseString()) + "&" +
           Url::percentEncode(normalized);
}

std::string OAuth1Signer::signatureFor(const std::string& baseString,
                                       std::string_view consumerSecret,
                                       std::string_view tokenSecret) {
    const std::string key =
        Url::percentEncode(consumerSecret) + "&" + Url::percentEncode(tokenSecret);
    return Crypto::base64(Crypto::hmacSha1(key, baseString));
}

OAuth1Signer::Signed OAuth1Signer::sign(std::string_view method, const std::string& url,
                                        std::string_view formBody,
                                        const FormFields& extraOAuth) const {
    FormFields oauth = {{"oauth_consumer_key", _consumer.key},
                        {"oauth_nonce", _nonce()},
                        {"oauth_signature_method", "HMAC-SHA1"},
                        {"oauth_timestamp", std::to_string(_clock())}};
    if (_token) {
        oauth.emplace_back("oauth_token", _token->key);
    }
    if (_includesVersion) {
        oauth.emplace_back("oauth_version", "1.0");
    }
    for (const auto& field : extraOAuth) {
        oauth.push_back(field);
    }
    Signed result;
    result.baseString = signatureBaseString(method, url, formBody, oauth).value_or(std::string());
    result.signature =
        signatureFor(result.baseString, _consumer.secret, _token ? _token->secret : std::string());
    oauth.emplace_back("oauth_signature", result.signature);
    std::sort(oauth.begin(), oauth.end());

    std::string header = "OAuth ";
    bool first = true;
    if (_realm) {
        header += "realm=\"" + Url::percentEncode(*_realm) + "\"";
        first = false;
    }
    for (const auto& [name, value] : oauth) {
        header += (first ? "" : ", ") + Url::percentEncode(name) + "=\"" +
                  Url::percentEncode(value) + "\"";
        first = false;
    }
    result.authorization = header;
    return result;
}

std::optional<FormFields> parseOAuthHeader(std::string_view header) {
    constexpr std::string_view kScheme = "OAuth ";
    if (header.size() < kScheme.size() || header.substr(0, kScheme.size()) != kScheme) {
        return std::nullopt;
    }
    FormFields fields;
    std::size_t at = kScheme.size();
    while (at < header.size()) {
        while (at < header.size() && (header[at] == ' ' || header[at] == ',')) {
            ++at;
        }
        if (at >= header.size()) {
            break;
        }
        const std::size_t equals = header.find('=', at);
        if (equals == std::string_view::npos || equals + 1 >= header.size() ||
            header[equals + 1] != '"') {
            return std::nullopt;
        }
        const std::size_t close = header.find('"', equals + 2);
        if (close == std::string_view::npos) {
            return std::nullopt;
        }
        fields.emplace_back(
            Url::percentDecode(header.substr(at, equals - at), false),
            Url::percentDecode(header.substr(equals + 2, close - equals - 2), false));
        at = close + 1;
    }
    return fields;
}

bool verifyOAuthRequest(std::string_view authorization, std::string_view method,
                        const std::string& url, std::string_view formBody,
                        std::string_view consumerSecret, std::string_view tokenSecret) {
    const auto fields = parseOAuthHeader(authorization);
    if (!fields) {
        return false;
    }
    const auto signature = Url::field(*fields, "oauth_signature");
    const auto signatureMethod = Url::field(*fields, "oauth_signature_method");
    if (!signature || signatureMethod != "HMAC-SHA1") {
        return false;
    }
    const auto base = OAuth1Signer::signatureBaseString(method, url, formBody, *fields);
    if (!base) {
        return false;
    }
    return Crypto::constantTimeEquals(
        OAuth1Signer::signatureFor(*base, consumerSecret, tokenSecret), *signature);
}

} // namespace tx
