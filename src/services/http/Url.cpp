#include "services/http/Url.h"

#include <algorithm>
#include <cctype>
#include <curl/curl.h>
#include <memory>

namespace tx {

namespace {

struct UrlHandleDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};

std::string part(CURLU* handle, CURLUPart which) {
    char* value = nullptr;
    if (curl_url_get(handle, which, &value, 0) != CURLUE_OK || value == nullptr) {
        return {};
    }
    std::string result(value);
    curl_free(value);
    return result;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

std::optional<Url> Url::parse(const std::string& text) {
    std::unique_ptr<CURLU, UrlHandleDeleter> handle(curl_url());
    if (!handle || curl_url_set(handle.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
        return std::nullopt;
    }
    Url url;
    url.scheme = lower(part(handle.get(), CURLUPART_SCHEME));
    url.host = lower(part(handle.get(), CURLUPART_HOST));
    if (url.host.size() >= 2 && url.host.front() == '[' && url.host.back() == ']') {
        url.host = url.host.substr(1, url.host.size() - 2);
    }
    const std::string port = part(handle.get(), CURLUPART_PORT);
    url.port = port.empty() ? -1 : std::atoi(port.c_str());
    url.path = part(handle.get(), CURLUPART_PATH);
    if (url.path.empty()) {
        url.path = "/";
    }
    url.query = part(handle.get(), CURLUPART_QUERY);
    url.fragment = part(handle.get(), CURLUPART_FRAGMENT);
    if (url.scheme.empty() || url.host.empty()) {
        return std::nullopt;
    }
    return url;
}

std::string Url::baseString() const {
    std::string result = scheme + "://";
    result += host.find(':') != std::string::npos ? "[" + host + "]" : host;
    const bool defaultPort =
        port < 0 || (scheme == "http" && port == 80) || (scheme == "https" && port == 443);
    if (!defaultPort) {
        result += ":" + std::to_string(port);
    }
    return result + path;
}

std::string Url::percentEncode(std::string_view text) {
    static const char* kHex = "0123456789ABCDEF";
    std::string result;
    result.reserve(text.size() * 3);
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            result += static_cast<char>(c);
        } else {
            result += '%';
            result += kHex[c >> 4];
            result += kHex[c & 15];
        }
    }
    return result;
}

std::string Url::percentDecode(std::string_view text, bool plusIsSpace) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            result += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else if (c == '+' && plusIsSpace) {
            result += ' ';
        } else {
            result += c;
        }
    }
    return result;
}

FormFields Url::parseForm(std::string_view text) {
    FormFields fields;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('&', start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view pair = text.substr(start, end - start);
        if (!pair.empty()) {
            const std::size_t equals = pair.find('=');
            if (equals == std::string_view::npos) {
                fields.emplace_back(percentDecode(pair, true), std::string());
            } else {
                fields.emplace_back(percentDecode(pair.substr(0, equals), true),
                                    percentDecode(pair.substr(equals + 1), true));
            }
        }
        start = end + 1;
    }
    return fields;
}

std::string Url::encodeForm(const FormFields& fields) {
    std::string result;
    for (const auto& [name, value] : fields) {
        if (!result.empty()) {
            result += '&';
        }
        result += percentEncode(name) + "=" + percentEncode(value);
    }
    return result;
}

std::string Url::appendingQuery(const std::string& url, const FormFields& fields) {
    if (fields.empty()) {
        return url;
    }
    const std::size_t hash = url.find('#');
    std::string head = hash == std::string::npos ? url : url.substr(0, hash);
    const std::string tail = hash == std::string::npos ? std::string() : url.substr(hash);
    const char joiner = head.find('?') == std::string::npos          ? '?'
                        : (head.back() == '?' || head.back() == '&') ? '\0'
                                                                     : '&';
    if (joiner) {
        head += joiner;
    }
    return head + encodeForm(fields) + tail;
}

std::string Url::replacingAll(std::string text, std::string_view from, std::string_view to) {
    if (from.empty()) {
        return text;
    }
    std::size_t at = 0;
    while ((at = text.find(from, at)) != std::string::npos) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

std::optional<std::string> Url::field(const FormFields& fields, std::string_view name) {
    for (const auto& [key, value] : fields) {
        if (key == name) {
            return value;
        }
    }
    return std::nullopt;
}

} // namespace tx
