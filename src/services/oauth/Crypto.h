// The few cryptographic pieces the service clients need, all from OpenSSL.
#pragma once

#include <string>
#include <string_view>

namespace tx {

struct Crypto {
    // `count` bytes from the system's secure random source.
    static std::string randomBytes(std::size_t count);
    static std::string hmacSha1(std::string_view key, std::string_view message);
    static std::string sha256(std::string_view data);
    // SHA-256 of a whole file as lower-case hex, read in blocks; empty when it cannot be read.
    static std::string sha256FileHex(const std::string& path);
    static std::string hex(std::string_view bytes);
    static std::string base64(std::string_view bytes);
    // The URL-safe alphabet without padding.
    static std::string base64Url(std::string_view bytes);
    // Compares in a time that does not depend on where the texts differ.
    static bool constantTimeEquals(std::string_view a, std::string_view b);
};

} // namespace tx
