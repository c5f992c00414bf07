#include "services/http/Answers.h"

#include "platform/foundation/Translation.h"
#include "services/http/SafeXml.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace tx {

XmlDocPtr parseXmlSafely(std::string_view body, std::size_t maxBytes, std::string* error) {
    auto fail = [error](std::string why) {
        if (error) {
            *error = std::move(why);
        }
        return XmlDocPtr();
    };
    if (body.size() > maxBytes) {
        return fail(_("the answer is too large"));
    }
    // A DOCTYPE is where external entities and entity bombs live; no service answer needs one.
    if (body.find("<!DOCTYPE") != std::string_view::npos ||
        body.find("<!ENTITY") != std::string_view::npos) {
        return fail(_("the answer declares a DOCTYPE"));
    }
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                        XML_PARSE_NOCDATA | XML_PARSE_NOBLANKS;
    XmlDocPtr doc(
        xmlReadMemory(body.data(), static_cast<int>(body.size()), "answer.xml", nullptr, options));
    if (!doc || !xmlDocGetRootElement(doc.get())) {
        return fail(_("the answer is not well-formed XML"));
    }
    if (doc->intSubset || doc->extSubset) {
        return fail(_("the answer declares a DOCTYPE"));
    }
    return doc;
}

std::string xmlText(const xmlNode* node) {
    if (!node) {
        return {};
    }
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

std::string xmlAttribute(const xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

bool xmlNameIs(const xmlNode* node, const char* localName) {
    return node && node->type == XML_ELEMENT_NODE &&
           std::strcmp(reinterpret_cast<const char*>(node->name), localName) == 0;
}

std::optional<RspAnswer> parseRsp(std::string_view body) {
    XmlDocPtr doc = parseXmlSafely(body, kSmallAnswerBytes);
    if (!doc) {
        return std::nullopt;
    }
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!xmlNameIs(root, "rsp")) {
        return std::nullopt;
    }
    RspAnswer answer;
    answer.stat = xmlAttribute(root, "stat");
    if (answer.stat.empty()) {
        answer.stat = xmlAttribute(root, "status");
    }
    if (answer.stat != "ok" && answer.stat != "fail") {
        return std::nullopt;
    }
    for (const xmlNode* child = root->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) {
            continue;
        }
        if (xmlNameIs(child, "err")) {
            answer.errorCode = xmlAttribute(child, "code");
            answer.errorMessage = xmlAttribute(child, "msg");
            continue;
        }
        answer.fields[reinterpret_cast<const char*>(child->name)] = xmlText(child);
    }
    return answer;
}

std::optional<nlohmann::json> parseJson(std::string_view body, std::size_t maxBytes) {
    if (body.size() > maxBytes) {
        return std::nullopt;
    }
    nlohmann::json value = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
    if (value.is_discarded()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::string> jsonText(const nlohmann::json& value) {
    try {
        return value.dump();
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
}

std::optional<nlohmann::json> parseCredentialEntries(std::string_view text,
                                                     std::string* problem) {
    std::optional<nlohmann::json> entries = parseJson(text, std::numeric_limits<std::size_t>::max());
    if (!entries || !entries->is_object()) {
        if (problem != nullptr) {
            *problem = _("it is not a JSON object");
        }
        return std::nullopt;
    }
    return entries;
}

std::optional<std::string> jsonString(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto it = object.find(key);
    if (it == object.end() || !it->is_string()) {
        return std::nullopt;
    }
    return it->get<std::string>();
}

std::optional<long long> jsonInteger(const nlohmann::json& object, const char* key) {
    if (!object.is_object()) {
        return std::nullopt;
    }
    const auto it = object.find(key);
    if (it == object.end()) {
        return std::nullopt;
    }
    if (it->is_number_integer() && !it->is_number_unsigned()) {
        return it->get<long long>();
    }
    if (it->is_number_unsigned()) {
        const auto value = it->get<unsigned long long>();
        if (value > static_cast<unsigned long long>(std::numeric_limits<long long>::max())) {
            return std::nullopt;
        }
        return static_cast<long long>(value);
    }
    if (it->is_string()) {
        const std::string& text = it->get_ref<const std::string&>();
        long long value = 0;
        const char* end = text.data() + text.size();
        const auto [last, failure] = std::from_chars(text.data(), end, value);
        if (text.empty() || failure != std::errc() || last != end) {
            return std::nullopt;
        }
        return value;
    }
    return std::nullopt;
}

std::vector<std::string> jsonStrings(const nlohmann::json& object, const char* key) {
    std::vector<std::string> items;
    if (!object.is_object()) {
        return items;
    }
    const auto it = object.find(key);
    if (it == object.end() || !it->is_array()) {
        return items;
    }
    for (const auto& item : *it) {
        if (item.is_string()) {
            items.push_back(item.get<std::string>());
        }
    }
    return items;
}

std::optional<FBTokenAnswer> parseFBTokenAnswer(std::string_view body) {
    const auto json = parseJson(body);
    if (!json) {
        return std::nullopt;
    }
    FBTokenAnswer answer;
    answer.accessToken = jsonString(*json, "access_token").value_or("");
    if (answer.accessToken.empty()) {
        return std::nullopt;
    }
    // Older answers call the lifetime "expires"; a lifetime that is not a positive number of
    // seconds is treated as unknown.
    auto lifetime = jsonInteger(*json, "expires_in");
    if (!lifetime) {
        lifetime = jsonInteger(*json, "expires");
    }
    answer.expiresInSeconds = lifetime && *lifetime > 0 ? *lifetime : 0;
    return answer;
}

std::vector<std::string> parseFBGrantedPermissions(std::string_view body) {
    std::vector<std::string> granted;
    const auto json = parseJson(body);
    if (!json || !json->is_object()) {
        return granted;
    }
    const auto data = json->find("data");
    if (data == json->end() || !data->is_array()) {
        return granted;
    }
    for (const auto& item : *data) {
        const auto permission = jsonString(item, "permission");
        if (permission && jsonString(item, "status") == "granted") {
            granted.push_back(*permission);
        }
    }
    return granted;
}

std::optional<FBStoredSession> parseFBStoredSession(std::string_view text, std::string* problem) {
    auto fail = [problem](std::string why) {
        if (problem) {
            *problem = std::move(why);
        }
        return std::nullopt;
    };
    const auto json = parseJson(text);
    if (!json || !json->is_object()) {
        return fail(_("it is not a JSON object"));
    }
    FBStoredSession session;
    const auto token = jsonString(*json, "token");
    if (!token || token->empty()) {
        return fail(_("\"token\" is missing or not a string"));
    }
    session.accessToken = *token;
    if (json->contains("expiresAt")) {
        const auto expiresAt = jsonInteger(*json, "expiresAt");
        if (!expiresAt || *expiresAt < 0) {
            return fail(_("\"expiresAt\" is not a time"));
        }
        session.expiresAt = *expiresAt;
    }
    if (json->contains("permissions") && !(*json)["permissions"].is_array()) {
        return fail(_("\"permissions\" is not a list"));
    }
    session.permissions = jsonStrings(*json, "permissions");
    return session;
}

std::string encodeFBStoredSession(const FBStoredSession& session) {
    const nlohmann::json json = {{"token", session.accessToken},
                                 {"expiresAt", session.expiresAt},
                                 {"permissions", session.permissions}};
    return json.dump();
}

FBErrorCategory graphErrorCategory(long code, long subcode) {
    if (code == 10 || (code >= 200 && code <= 299)) {
        return FBErrorCategoryPermissions;
    }
    if (code == 190 || code == 102) {
        return FBErrorCategoryAuthenticationReopenSession;
    }
    if (code == 4 || code == 17 || code == 32 || code == 613) {
        return FBErrorCategoryThrottling;
    }
    if (code == 1 || code == 2) {
        return FBErrorCategoryRetry;
    }
    (void)subcode;
    return FBErrorCategoryServer;
}

std::optional<GraphError> parseGraphError(std::string_view body) {
    auto json = parseJson(body);
    if (!json || !json->is_object()) {
        return std::nullopt;
    }
    auto found = json->find("error");
    if (found == json->end() || !found->is_object()) {
        return std::nullopt;
    }
    const nlohmann::json& error = *found;
    GraphError result;
    result.message = jsonString(error, "message").value_or("");
    result.type = jsonString(error, "type").value_or("");
    auto number = [&error](const char* key) -> long {
        const auto value = jsonInteger(error, key).value_or(0);
        return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max()
                   ? static_cast<long>(value)
                   : 0;
    };
    result.code = number("code");
    result.subcode = number("error_subcode");
    result.category = graphErrorCategory(result.code, result.subcode);
    return result;
}

} // namespace tx
