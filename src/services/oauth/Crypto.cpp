#include "services/oauth/Crypto.h"
#include "platform/foundation/Translation.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <openssl/sha.h>

namespace tx {

std::string Crypto::randomBytes(std::size_t count) {
    std::string bytes(count, '\0');
    if (count > 0 &&
        RAND_bytes(reinterpret_cast<unsigned char*>(bytes.data()), static_cast<int>(count)) != 1) {
        // Without a working random source no secret may be made at all.
        std::fprintf(stderr, "%s\n", _("taluvex: the system's random source failed").c_str());
        std::abort();
    }
    return bytes;
}

std::string Crypto::hmacSha1(std::string_view key, std::string_view message) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest, &length);
    return std::string(reinterpret_cast<const char*>(digest), length);
}

std::string Crypto::sha256(std::string_view data) {
    unsigned char digest[SHA256_DIGEST_LENGTH];
    SHA256(reinterpret_cast<const unsigned char*>(data.data()), data.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), sizeof digest);
}

std::string Crypto::sha256FileHex(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        return {};
    }
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
    std::string block(1 << 16, '\0');
    std::size_t count = 0;
    while ((count = std::fread(block.data(), 1, block.size(), file.get())) > 0) {
        EVP_DigestUpdate(context.get(), block.data(), count);
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(context.get(), digest, &length);
    return hex(std::string_view(reinterpret_cast<const char*>(digest), length));
}

std::string Crypto::hex(std::string_view bytes) {
    static const char* kHex = "0123456789abcdef";
    std::string result;
    result.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        result += kHex[c >> 4];
        result += kHex[c & 15];
    }
    return result;
}

std::string Crypto::base64(std::string_view bytes) {
    std::string result(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(result.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    result.resize(static_cast<std::size_t>(length));
    return result;
}

std::string Crypto::base64Url(std::string_view bytes) {
    std::string result = base64(bytes);
    while (!result.empty() && result.back() == '=') {
        result.pop_back();
    }
    for (char& c : result) {
        if (c == '+')
            c = '-';
        else if (c == '/')
            c = '_';
    }
    return result;
}

bool Crypto::constantTimeEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    return a.empty() || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace tx
