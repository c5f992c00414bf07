// Address handling for the service clients: parsing through libcurl's URL parser, RFC 3986
// percent-encoding, and form (application/x-www-form-urlencoded) bodies.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tx {

using FormFields = std::vector<std::pair<std::string, std::string>>;

struct Url {
    std::string scheme; // lower case
    std::string host;   // lower case, brackets kept off IPv6 literals
    int port = -1;      // -1 when the address names none
    std::string path;   // "/" at least
    std::string query;  // raw, without "?"
    std::string fragment;

    static std::optional<Url> parse(const std::string& text);
    // scheme://host[:port]/path with a default port left out (the OAuth base address).
    std::string baseString() const;

    // Every byte outside the unreserved set (ALPHA DIGIT - . _ ~) as %XX, upper-case hex.
    static std::string percentEncode(std::string_view text);
    // %XX decoded; with `plusIsSpace` a '+' is a space (form bodies and queries).
    static std::string percentDecode(std::string_view text, bool plusIsSpace);
    // "a=1&b=&c" → {a,1},{b,""},{c,""}, decoded, in order.
    static FormFields parseForm(std::string_view text);
    // Fields percent-encoded and joined with '&'.
    static std::string encodeForm(const FormFields& fields);
    // `url` with `fields` appended to its query.
    static std::string appendingQuery(const std::string& url, const FormFields& fields);
    static std::string replacingAll(std::string text, std::string_view from, std::string_view to);
    // The value of the first field named `name`, if any.
    static std::optional<std::string> field(const FormFields& fields, std::string_view name);
};

} // namespace tx
