#include "services/credentials/CredentialStore.h"

#include "platform/foundation/Paths.h"
#include "services/http/ServiceConfig.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <libsecret/secret.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tx {

namespace {

const SecretSchema* keyringSchema() {
    static const SecretSchema schema = {
        "org.taluvex.Taluvex.Credential",
        SECRET_SCHEMA_NONE,
        {{"key", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &schema;
}

class KeyringStore : public CredentialStore {
public:
    std::optional<std::string> load(const std::string& key) override {
        GError* error = nullptr;
        gchar* value = secret_password_lookup_sync(keyringSchema(), nullptr, &error, "key",
                                                   key.c_str(), nullptr);
        if (error) {
            g_error_free(error);
        }
        if (!value) {
            return std::nullopt;
        }
        std::string result(value);
        secret_password_free(value);
        return result;
    }

    bool store(const std::string& key, const std::string& value, std::string* why) override {
        GError* error = nullptr;
        const std::string label = "Taluvex sign-in (" + key + ")";
        const bool ok =
            secret_password_store_sync(keyringSchema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                       value.c_str(), nullptr, &error, "key", key.c_str(), nullptr);
        if (error) {
            if (why) {
                *why = error->message;
            }
            g_error_free(error);
        }
        return ok;
    }

    bool remove(const std::string& key) override {
        GError* error = nullptr;
        secret_password_clear_sync(keyringSchema(), nullptr, &error, "key", key.c_str(), nullptr);
        if (error) {
            g_error_free(error);
            return false;
        }
        return true;
    }

    std::string name() const override { return "the desktop keyring"; }
};

// Makes `path` private to the user (a folder 0700, a file 0600) when it exists with more.
void tighten(const std::string& path, mode_t wanted) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && (info.st_mode & 0777) != wanted) {
        ::chmod(path.c_str(), wanted);
    }
}

class FileStore : public CredentialStore {
public:
    std::optional<std::string> load(const std::string& key) override {
        const nlohmann::json entries = read();
        auto it = entries.find(key);
        if (it == entries.end() || !it->is_string()) {
            return std::nullopt;
        }
        return it->get<std::string>();
    }

    bool store(const std::string& key, const std::string& value, std::string* error) override {
        nlohmann::json entries = read();
        entries[key] = value;
        return write(entries, error);
    }

    bool remove(const std::string& key) override {
        nlohmann::json entries = read();
        if (!entries.contains(key)) {
            return true;
        }
        entries.erase(key);
        return write(entries, nullptr);
    }

    std::string name() const override { return fileStorePath(); }

private:
    static std::string directory() { return pathByAppending(configDirectory(), "credentials"); }

    nlohmann::json read() {
        const std::string path = fileStorePath();
        tighten(directory(), 0700);
        tighten(path, 0600);
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            return nlohmann::json::object();
        }
        std::stringstream text;
        text << in.rdbuf();
        nlohmann::json entries = nlohmann::json::parse(text.str(), nullptr, false);
        return entries.is_object() ? entries : nlohmann::json::object();
    }

    bool write(const nlohmann::json& entries, std::string* error) {
        auto fail = [error](const std::string& why) {
            if (error) {
                *error = why;
            }
            return false;
        };
        const std::string dir = directory();
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return fail("Cannot make " + dir + ": " + std::strerror(errno));
        }
        tighten(dir, 0700);
        const std::string path = fileStorePath();
        const std::string temporary = path + ".tmp-" + uniqueString();
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            return fail("Cannot write " + temporary + ": " + std::strerror(errno));
        }
        const std::string text = entries.dump();
        std::size_t written = 0;
        while (written < text.size()) {
            const ssize_t count = ::write(fd, text.data() + written, text.size() - written);
            if (count <= 0) {
                const std::string why = std::strerror(errno);
                ::close(fd);
                ::unlink(temporary.c_str());
                return fail("Cannot write " + temporary + ": " + why);
            }
            written += static_cast<std::size_t>(count);
        }
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        if (!synced || ::rename(temporary.c_str(), path.c_str()) != 0) {
            const std::string why = std::strerror(errno);
            ::unlink(temporary.c_str());
            return fail("Cannot replace " + path + ": " + why);
        }
        return true;
    }
};

class ConfiguredStore : public CredentialStore {
public:
    std::optional<std::string> load(const std::string& key) override { return pick().load(key); }
    bool store(const std::string& key, const std::string& value, std::string* error) override {
        return pick().store(key, value, error);
    }
    bool remove(const std::string& key) override { return pick().remove(key); }
    std::string name() const override { return const_cast<ConfiguredStore*>(this)->pick().name(); }

private:
    CredentialStore& pick() {
        const std::string& choice = ServiceConfig::current().credentialsStore;
        if (choice == "keyring" || (choice == "auto" && keyringAvailable())) {
            return _keyring;
        }
        return _file;
    }
    KeyringStore _keyring;
    FileStore _file;
};

} // namespace

std::string CredentialStore::fileStorePath() {
    return pathByAppending(pathByAppending(configDirectory(), "credentials"), "credentials.json");
}

std::unique_ptr<CredentialStore> CredentialStore::makeFileStore() {
    return std::make_unique<FileStore>();
}

std::unique_ptr<CredentialStore> CredentialStore::makeKeyringStore() {
    return std::make_unique<KeyringStore>();
}

bool CredentialStore::keyringAvailable() {
    static const bool available = [] {
        GError* error = nullptr;
        SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &error);
        if (error) {
            g_error_free(error);
        }
        if (service) {
            g_object_unref(service);
        }
        return service != nullptr && error == nullptr;
    }();
    return available;
}

CredentialStore& CredentialStore::shared() {
    static auto* store = new ConfiguredStore();
    return *store;
}

std::string signOutEverywhere() {
    std::string report;
    for (const char* key : {kTwitterAuthDataKey, kFacebookSessionKey}) {
        CredentialStore::makeFileStore()->remove(key);
        if (ServiceConfig::current().credentialsStore != "file" &&
            CredentialStore::keyringAvailable()) {
            CredentialStore::makeKeyringStore()->remove(key);
        }
    }
    report = "Signed out of Twitter and Facebook: the stored sign-ins are removed from " +
             CredentialStore::fileStorePath();
    if (ServiceConfig::current().credentialsStore != "file" &&
        CredentialStore::keyringAvailable()) {
        report += " and from the desktop keyring";
    }
    return report + ".";
}

} // namespace tx
