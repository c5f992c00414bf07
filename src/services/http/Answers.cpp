#include "services/http/Answers.h"

#include "services/http/SafeXml.h"

#include <cstring>

namespace tx {

XmlDocPtr parseXmlSafely(std::string_view body, std::size_t maxBytes, std::string* error) {
    auto fail = [error](const char* why) {
        if (error) {
            *error = why;
        }
        return XmlDocPtr();
    };
    if (body.size() > maxBytes) {
        return fail("the answer is too large");
    }
    // A DOCTYPE is where external entities and entity bombs live; no service answer needs one.
    if (body.find("<!DOCTYPE") != std::string_view::npos ||
        body.find("<!ENTITY") != std::string_view::npos) {
        return fail("the answer declares a DOCTYPE");
    }
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                        XML_PARSE_NOCDATA | XML_PARSE_NOBLANKS;
    XmlDocPtr doc(
        xmlReadMemory(body.data(), static_cast<int>(body.size()), "answer.xml", nullptr, options));
    if (!doc || !xmlDocGetRootElement(doc.get())) {
        return fail("the answer is not well-formed XML");
    }
    if (doc->intSubset || doc->extSubset) {
        return fail("the answer declares a DOCTYPE");
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
    auto text = [&error](const char* key) {
        auto it = error.find(key);
        return it != error.end() && it->is_string() ? it->get<std::string>() : std::string();
    };
    auto number = [&error](const char* key) -> long {
        auto it = error.find(key);
        if (it == error.end()) {
            return 0;
        }
        if (it->is_number_integer()) {
            return it->get<long>();
        }
        if (it->is_string()) {
            return std::strtol(it->get<std::string>().c_str(), nullptr, 10);
        }
        return 0;
    };
    result.message = text("message");
    result.type = text("type");
    result.code = number("code");
    result.subcode = number("error_subcode");
    result.category = graphErrorCategory(result.code, result.subcode);
    return result;
}

} // namespace tx
