// Where sign-ins are kept: the desktop keyring through the Secret Service, or else a file only
// the user can read (0600 in a 0700 folder, replaced atomically). Nothing else holds them.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace tx {

// The entries the service clients keep.
inline constexpr const char* kTwitterAuthDataKey = "authData";
inline constexpr const char* kFacebookSessionKey = "facebookSession";

class CredentialStore {
public:
    virtual ~CredentialStore() = default;
    virtual std::optional<std::string> load(const std::string& key) = 0;
    // False (with the reason in `error`) when the entry could not be written.
    virtual bool store(const std::string& key, const std::string& value,
                       std::string* error = nullptr) = 0;
    virtual bool remove(const std::string& key) = 0;
    // An entry that cannot be read: kept apart from the store where the store can keep it, then
    // removed, with `why` said on stderr. The next load finds nothing.
    virtual void setAside(const std::string& key, const std::string& why) = 0;
    virtual std::string name() const = 0;

    // The store [credentials] store= asks for: "keyring", "file", or "auto" (the keyring when
    // a Secret Service answers, else the file).
    static CredentialStore& shared();
    // configDirectory()/credentials/credentials.json
    static std::unique_ptr<CredentialStore> makeFileStore();
    static std::unique_ptr<CredentialStore> makeKeyringStore();
    static bool keyringAvailable();
    static std::string fileStorePath();
};

struct SignOutReport {
    bool ok = true;
    std::string message; // one line for the user: what was removed, or what could not be
};
// Forgets every stored sign-in (Twitter and Facebook) in the keyring and in the file; what
// `taluvex --sign-out` runs. Never writes through a symbolic link.
SignOutReport signOutEverywhere();

} // namespace tx
