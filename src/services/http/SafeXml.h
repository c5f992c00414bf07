// Parses XML from a service with libxml2 locked down: no network, no entity substitution, no
// DTD loading, and any DOCTYPE refused before the parser sees it.
#pragma once

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <memory>
#include <string>
#include <string_view>

namespace tx {

struct XmlDocDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocDeleter>;

// Nothing (and the reason in `error`) for a DOCTYPE, a body over `maxBytes` or malformed XML.
XmlDocPtr parseXmlSafely(std::string_view body, std::size_t maxBytes, std::string* error = nullptr);

// The text inside a node, children included.
std::string xmlText(const xmlNode* node);
std::string xmlAttribute(const xmlNode* node, const char* name);
bool xmlNameIs(const xmlNode* node, const char* localName);

} // namespace tx
