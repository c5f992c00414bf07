// Property lists: the values the settings file and the bundled catalogues are made of, read and
// written as XML property lists.
#pragma once

#include "Error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tx {

class PlistValue {
public:
    enum class Type { Null, Boolean, Integer, Real, String, Date, Data, Array, Dictionary };
    using Array = std::vector<PlistValue>;
    using Dictionary = std::vector<std::pair<std::string, PlistValue>>; // keeps key order

    PlistValue() = default;
    static PlistValue boolean(bool value);
    static PlistValue integer(std::int64_t value);
    static PlistValue real(double value);
    static PlistValue string(std::string value);
    // Seconds since 1970-01-01 UTC.
    static PlistValue date(double unixSeconds);
    static PlistValue data(std::vector<std::uint8_t> bytes);
    static PlistValue array(Array items = {});
    static PlistValue dictionary(Dictionary entries = {});

    Type type() const { return _type; }
    bool isNull() const { return _type == Type::Null; }

    bool asBool() const { return _bool; }
    std::int64_t asInteger() const { return _integer; }
    double asReal() const { return _real; }
    const std::string& asString() const { return _string; }
    double asDate() const { return _real; }
    const std::vector<std::uint8_t>& asData() const { return _data; }
    const Array& asArray() const { return _array; }
    Array& asArray() { return _array; }
    const Dictionary& asDictionary() const { return _dictionary; }

    // Dictionary access: nullptr when the key is missing or this is not a dictionary.
    const PlistValue* find(const std::string& key) const;
    // Sets (or replaces, keeping its place) the entry for `key`; makes this a dictionary.
    void set(const std::string& key, PlistValue value);

    bool operator==(const PlistValue& other) const;

private:
    Type _type = Type::Null;
    bool _bool = false;
    std::int64_t _integer = 0;
    double _real = 0;
    std::string _string;
    std::vector<std::uint8_t> _data;
    Array _array;
    Dictionary _dictionary;
};

// Reads an XML property list; on failure returns nothing and fills `error` with what and where.
std::optional<PlistValue> readPropertyList(const std::string& path, ErrorPtr* error = nullptr);
std::optional<PlistValue> parsePropertyList(const std::string& xml, ErrorPtr* error = nullptr);
std::string serializePropertyList(const PlistValue& root);
// Writes through a temporary file in the same folder and a rename, so a reader never sees a
// half-written file and a failed write leaves the old file in place.
bool writePropertyList(const PlistValue& root, const std::string& path, ErrorPtr* error = nullptr);
bool writeFileAtomically(const std::string& path, const void* bytes, std::size_t length,
                         ErrorPtr* error = nullptr);

} // namespace tx
