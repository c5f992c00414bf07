#include "PropertyList.h"
#include "platform/foundation/Translation.h"

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace tx {

namespace {

const char* const kPlistDomain = "PropertyList";

struct XmlDocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocDeleter>;

void setError(ErrorPtr* error, const std::string& text) {
    if (error != nullptr) {
        *error = Error::make(kPlistDomain, 0, text);
    }
}

std::string nodeText(xmlNode* node) {
    xmlChar* content = xmlNodeGetContent(node);
    std::string text = content != nullptr ? reinterpret_cast<const char*>(content) : "";
    xmlFree(content);
    return text;
}

std::string nodeName(xmlNode* node) {
    return reinterpret_cast<const char*>(node->name);
}

xmlNode* firstElement(xmlNode* node) {
    for (; node != nullptr; node = node->next) {
        if (node->type == XML_ELEMENT_NODE) {
            return node;
        }
    }
    return nullptr;
}

std::optional<PlistValue> parseNode(xmlNode* node, std::string& problem) {
    const std::string name = nodeName(node);
    const int line = static_cast<int>(xmlGetLineNo(node));
    auto fail = [&](const std::string& why) -> std::optional<PlistValue> {
        problem = why + " at line " + std::to_string(line);
        return std::nullopt;
    };
    if (name == "true" || name == "false") {
        return PlistValue::boolean(name == "true");
    }
    if (name == "integer") {
        const std::string text = nodeText(node);
        char* end = nullptr;
        errno = 0;
        const long long value = std::strtoll(text.c_str(), &end, 10);
        if (text.empty() || errno != 0 || *end != '\0') {
            return fail(withArguments(_("bad <integer> \"%1\""), {text}));
        }
        return PlistValue::integer(value);
    }
    if (name == "real") {
        const std::string text = nodeText(node);
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0') {
            return fail(withArguments(_("bad <real> \"%1\""), {text}));
        }
        return PlistValue::real(value);
    }
    if (name == "string") {
        return PlistValue::string(nodeText(node));
    }
    if (name == "date") {
        const std::string text = nodeText(node);
        QDateTime when = QDateTime::fromString(QString::fromStdString(text), Qt::ISODate);
        if (!when.isValid()) {
            return fail(withArguments(_("bad <date> \"%1\""), {text}));
        }
        return PlistValue::date(static_cast<double>(when.toMSecsSinceEpoch()) / 1000.0);
    }
    if (name == "data") {
        const QByteArray raw = QByteArray::fromBase64(QByteArray::fromStdString(nodeText(node)));
        return PlistValue::data(std::vector<std::uint8_t>(raw.begin(), raw.end()));
    }
    if (name == "array") {
        PlistValue::Array items;
        for (xmlNode* child = firstElement(node->children); child != nullptr;
             child = firstElement(child->next)) {
            auto item = parseNode(child, problem);
            if (!item) {
                return std::nullopt;
            }
            items.push_back(std::move(*item));
        }
        return PlistValue::array(std::move(items));
    }
    if (name == "dict") {
        PlistValue dict = PlistValue::dictionary();
        for (xmlNode* child = firstElement(node->children); child != nullptr;
             child = firstElement(child->next)) {
            if (nodeName(child) != "key") {
                problem = "expected <key> in <dict> at line " + std::to_string(xmlGetLineNo(child));
                return std::nullopt;
            }
            const std::string key = nodeText(child);
            xmlNode* valueNode = firstElement(child->next);
            if (valueNode == nullptr) {
                return fail(withArguments(_("key \"%1\" has no value"), {key}));
            }
            auto value = parseNode(valueNode, problem);
            if (!value) {
                return std::nullopt;
            }
            dict.set(key, std::move(*value));
            child = valueNode;
        }
        return dict;
    }
    return fail(withArguments(_("unknown element <%1>"), {name}));
}

xmlNode* addValue(xmlNode* parent, const PlistValue& value) {
    auto text = [&](const char* tag, const std::string& content) {
        return xmlNewTextChild(parent, nullptr, BAD_CAST tag, BAD_CAST content.c_str());
    };
    switch (value.type()) {
    case PlistValue::Type::Null:
        return text("string", "");
    case PlistValue::Type::Boolean:
        return xmlNewChild(parent, nullptr, BAD_CAST(value.asBool() ? "true" : "false"), nullptr);
    case PlistValue::Type::Integer:
        return text("integer", std::to_string(value.asInteger()));
    case PlistValue::Type::Real: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "%.17g", value.asReal());
        return text("real", buffer);
    }
    case PlistValue::Type::String:
        return text("string", value.asString());
    case PlistValue::Type::Date: {
        const auto ms = static_cast<qint64>(std::llround(value.asDate() * 1000.0));
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
        return text("date", when.toString(Qt::ISODate).toStdString());
    }
    case PlistValue::Type::Data: {
        const auto& bytes = value.asData();
        const QByteArray raw(reinterpret_cast<const char*>(bytes.data()),
                             static_cast<qsizetype>(bytes.size()));
        return text("data", raw.toBase64().toStdString());
    }
    case PlistValue::Type::Array: {
        xmlNode* node = xmlNewChild(parent, nullptr, BAD_CAST "array", nullptr);
        for (const PlistValue& item : value.asArray()) {
            addValue(node, item);
        }
        return node;
    }
    case PlistValue::Type::Dictionary: {
        xmlNode* node = xmlNewChild(parent, nullptr, BAD_CAST "dict", nullptr);
        for (const auto& [key, item] : value.asDictionary()) {
            xmlNewTextChild(node, nullptr, BAD_CAST "key", BAD_CAST key.c_str());
            addValue(node, item);
        }
        return node;
    }
    }
    return nullptr;
}

} // namespace

PlistValue PlistValue::boolean(bool value) {
    PlistValue v;
    v._type = Type::Boolean;
    v._bool = value;
    return v;
}
PlistValue PlistValue::integer(std::int64_t value) {
    PlistValue v;
    v._type = Type::Integer;
    v._integer = value;
    return v;
}
PlistValue PlistValue::real(double value) {
    PlistValue v;
    v._type = Type::Real;
    v._real = value;
    return v;
}
PlistValue PlistValue::string(std::string value) {
    PlistValue v;
    v._type = Type::String;
    v._string = std::move(value);
    return v;
}
PlistValue PlistValue::date(double unixSeconds) {
    PlistValue v;
    v._type = Type::Date;
    v._real = unixSeconds;
    return v;
}
PlistValue PlistValue::data(std::vector<std::uint8_t> bytes) {
    PlistValue v;
    v._type = Type::Data;
    v._data = std::move(bytes);
    return v;
}
PlistValue PlistValue::array(Array items) {
    PlistValue v;
    v._type = Type::Array;
    v._array = std::move(items);
    return v;
}
PlistValue PlistValue::dictionary(Dictionary entries) {
    PlistValue v;
    v._type = Type::Dictionary;
    v._dictionary = std::move(entries);
    return v;
}

const PlistValue* PlistValue::find(const std::string& key) const {
    if (_type != Type::Dictionary) {
        return nullptr;
    }
    for (const auto& [k, v] : _dictionary) {
        if (k == key) {
            return &v;
        }
    }
    return nullptr;
}

void PlistValue::set(const std::string& key, PlistValue value) {
    if (_type != Type::Dictionary) {
        *this = dictionary();
    }
    for (auto& [k, v] : _dictionary) {
        if (k == key) {
            v = std::move(value);
            return;
        }
    }
    _dictionary.emplace_back(key, std::move(value));
}

bool PlistValue::operator==(const PlistValue& other) const {
    if (_type != other._type) {
        return false;
    }
    switch (_type) {
    case Type::Null:
        return true;
    case Type::Boolean:
        return _bool == other._bool;
    case Type::Integer:
        return _integer == other._integer;
    case Type::Real:
    case Type::Date:
        return _real == other._real;
    case Type::String:
        return _string == other._string;
    case Type::Data:
        return _data == other._data;
    case Type::Array:
        return _array == other._array;
    case Type::Dictionary:
        return _dictionary == other._dictionary;
    }
    return false;
}

std::optional<PlistValue> parsePropertyList(const std::string& xml, ErrorPtr* error) {
    XmlDocPtr doc(xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    if (!doc) {
        const xmlError* last = xmlGetLastError();
        std::string why = "not well-formed XML";
        if (last != nullptr && last->message != nullptr) {
            why = std::string(last->message);
            while (!why.empty() && why.back() == '\n') {
                why.pop_back();
            }
            why += " at line " + std::to_string(last->line);
        }
        setError(error, why);
        return std::nullopt;
    }
    xmlNode* root = xmlDocGetRootElement(doc.get());
    if (root == nullptr || nodeName(root) != "plist") {
        setError(error, "the root element is not <plist>");
        return std::nullopt;
    }
    xmlNode* top = firstElement(root->children);
    if (top == nullptr) {
        setError(error, "<plist> holds no value");
        return std::nullopt;
    }
    std::string problem;
    auto value = parseNode(top, problem);
    if (!value) {
        setError(error, problem);
    }
    return value;
}

std::optional<PlistValue> readPropertyList(const std::string& path, ErrorPtr* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        setError(error, path + ": " + std::strerror(errno));
        return std::nullopt;
    }
    std::string contents;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        contents.append(buffer, got);
    }
    std::fclose(file);
    ErrorPtr parseError;
    auto value = parsePropertyList(contents, &parseError);
    if (!value && error != nullptr) {
        *error = Error::make(kPlistDomain, 0,
                             path + ": " + parseError->description().value_or("unreadable"));
    }
    return value;
}

std::string serializePropertyList(const PlistValue& root) {
    XmlDocPtr doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlCreateIntSubset(doc.get(), BAD_CAST "plist", BAD_CAST "-//Apple//DTD PLIST 1.0//EN",
                       BAD_CAST "http://www.apple.com/DTDs/PropertyList-1.0.dtd");
    xmlNode* plist = xmlNewNode(nullptr, BAD_CAST "plist");
    xmlNewProp(plist, BAD_CAST "version", BAD_CAST "1.0");
    xmlDocSetRootElement(doc.get(), plist);
    addValue(plist, root);
    xmlChar* out = nullptr;
    int length = 0;
    xmlDocDumpFormatMemoryEnc(doc.get(), &out, &length, "UTF-8", 1);
    std::string text(reinterpret_cast<const char*>(out), static_cast<std::size_t>(length));
    xmlFree(out);
    return text;
}

bool writeFileAtomically(const std::string& path, const void* bytes, std::size_t length,
                         ErrorPtr* error) {
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) {
        setError(error, path + ": " + std::strerror(errno));
        return false;
    }
    const auto* cursor = static_cast<const char*>(bytes);
    std::size_t left = length;
    bool ok = true;
    while (left > 0) {
        const ssize_t wrote = ::write(fd, cursor, left);
        if (wrote < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        cursor += wrote;
        left -= static_cast<std::size_t>(wrote);
    }
    const int savedErrno = errno;
    if (ok && ::fsync(fd) != 0) {
        ok = false;
    }
    ::fchmod(fd, 0644);
    ::close(fd);
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        const int why = ok ? errno : savedErrno;
        ::unlink(temp.c_str());
        setError(error, path + ": " + std::strerror(why));
        return false;
    }
    return true;
}

bool writePropertyList(const PlistValue& root, const std::string& path, ErrorPtr* error) {
    const std::string text = serializePropertyList(root);
    return writeFileAtomically(path, text.data(), text.size(), error);
}

} // namespace tx
