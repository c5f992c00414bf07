#include "services/credentials/CredentialStore.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/Translation.h"
#include "services/http/Answers.h"
#include "services/http/ServiceConfig.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fcntl.h>
#include <libsecret/secret.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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
        const std::string label = withArguments(_("Taluvex sign-in (%1)"), {key});
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

    void setAside(const std::string& key, const std::string& why) override {
        // The keyring keeps no second copy: the entry goes, and the user is told.
        std::fprintf(
            stderr, "%s\n",
            withArguments(_("taluvex: %1; it is removed from the desktop keyring"), {why}).c_str());
        remove(key);
    }

    std::string name() const override { return _("the desktop keyring"); }
};

// Makes `path` private to the user (a folder 0700, a file 0600) when it exists with more.
void tighten(const std::string& path, mode_t wanted) {
    struct stat info {};
    // A link is left alone: its target is not ours to change.
    if (::lstat(path.c_str(), &info) == 0 && !S_ISLNK(info.st_mode) &&
        (info.st_mode & 0777) != wanted) {
        ::chmod(path.c_str(), wanted);
    }
}

// What the credentials file holds: nothing yet, the entries, or something that is not ours to
// overwrite.
struct FileContents {
    enum class State { Missing, Read, Unreadable } state = State::Missing;
    nlohmann::json entries = nlohmann::json::object();
    std::string problem;
};

// Sign-ins are a few kilobytes; a larger file is damaged, not read whole.
constexpr off_t kMaxCredentialsBytes = 1 << 20;

FileContents readCredentialsFile(const std::string& path) {
    FileContents contents;
    auto unreadable = [&contents](std::string why) {
        contents.state = FileContents::State::Unreadable;
        contents.problem = std::move(why);
        return contents;
    };
    // Never through a link: the file must be this folder's own.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) {
            return contents;
        }
        return unreadable(errno == ELOOP ? _("it is a symbolic link") : std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return unreadable(_("it is not a regular file"));
    }
    if (info.st_size > kMaxCredentialsBytes) {
        ::close(fd);
        return unreadable(
            withArguments(_("it holds %1 bytes, more than sign-ins take"), {std::to_string(info.st_size)}));
    }
    std::string text(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    text.resize(got);
    std::string problem;
    std::optional<nlohmann::json> entries = parseCredentialEntries(text, &problem);
    if (!entries) {
        return unreadable(problem);
    }
    contents.state = FileContents::State::Read;
    contents.entries = std::move(*entries);
    return contents;
}

class FileStore : public CredentialStore {
public:
    std::optional<std::string> load(const std::string& key) override {
        const FileContents contents = read();
        if (contents.state == FileContents::State::Unreadable) {
            setAsideUnreadable(contents.problem);
            return std::nullopt;
        }
        return jsonString(contents.entries, key.c_str());
    }

    bool store(const std::string& key, const std::string& value, std::string* error) override {
        FileContents contents = read();
        if (contents.state == FileContents::State::Unreadable &&
            !setAsideUnreadable(contents.problem, error)) {
            return false;
        }
        contents.entries[key] = value;
        return write(contents.entries, error);
    }

    bool remove(const std::string& key) override {
        FileContents contents = read();
        if (contents.state == FileContents::State::Unreadable) {
            return false;
        }
        if (!contents.entries.contains(key)) {
            return true;
        }
        contents.entries.erase(key);
        return write(contents.entries, nullptr);
    }

    void setAside(const std::string& key, const std::string& why) override {
        FileContents contents = read();
        if (contents.state != FileContents::State::Read || !contents.entries.contains(key)) {
            return;
        }
        // The unreadable entry moves to a file of its own beside the store, so that the
        // other sign-ins stay and nothing the user may want is lost.
        const std::string aside = fileStorePath() + "." + key + ".corrupt";
        const int fd = ::open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW,
                              0600);
        bool kept = false;
        if (fd >= 0) {
            const std::string text = jsonText(contents.entries[key]).value_or(std::string());
            kept = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
            ::close(fd);
        }
        contents.entries.erase(key);
        if (kept && write(contents.entries, nullptr)) {
            std::fprintf(stderr, "%s\n",
                         withArguments(_("taluvex: %1; it is kept as %2 and you are signed out "
                                         "there"),
                                       {why, aside})
                             .c_str());
        } else {
            std::fprintf(stderr, "%s\n",
                         withArguments(_("taluvex: %1; you are signed out there"), {why}).c_str());
        }
    }

    std::string name() const override { return fileStorePath(); }

private:
    static std::string directory() { return pathByAppending(configDirectory(), "credentials"); }

    FileContents read() {
        tighten(directory(), 0700);
        tighten(fileStorePath(), 0600);
        return readCredentialsFile(fileStorePath());
    }

    // Says what is wrong with the file and moves it out of the way, so that signing in again
    // does not overwrite what the user may want to recover.
    static bool setAsideUnreadable(const std::string& problem, std::string* error = nullptr) {
        const std::string path = fileStorePath();
        std::string why;
        const std::string aside = setFileAside(path, &why);
        if (aside.empty()) {
            std::fprintf(stderr, "%s\n",
                         withArguments(_("taluvex: cannot read the stored sign-ins in %1 (%2), "
                                         "nor move it aside (%3); you are signed out"),
                                       {path, problem, why})
                             .c_str());
            if (error) {
                *error = withArguments(_("Cannot read %1 (%2)"), {path, problem});
            }
            return false;
        }
        std::fprintf(stderr, "%s\n",
                     withArguments(_("taluvex: cannot read the stored sign-ins in %1 (%2); it is "
                                     "kept as %3 and you are signed out"),
                                   {path, problem, aside})
                         .c_str());
        return true;
    }

    bool write(const nlohmann::json& entries, std::string* error) {
        auto fail = [error](const std::string& why) {
            if (error) {
                *error = why;
            }
            return false;
        };
        // Checked before anything is touched: a sign-in of bytes that are not text cannot be
        // kept in the file, and the file stays as it was.
        const std::optional<std::string> text = jsonText(entries);
        if (!text) {
            return fail(_("The sign-in holds bytes that are not text; it is not kept"));
        }
        const std::string dir = directory();
        if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
            return fail(withArguments(_("Cannot make %1: %2"), {dir, std::strerror(errno)}));
        }
        tighten(dir, 0700);
        const std::string path = fileStorePath();
        const std::string temporary = path + ".tmp-" + uniqueString();
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            return fail(withArguments(_("Cannot write %1: %2"), {temporary, std::strerror(errno)}));
        }
        std::size_t written = 0;
        while (written < text->size()) {
            const ssize_t count = ::write(fd, text->data() + written, text->size() - written);
            if (count <= 0) {
                const std::string why = std::strerror(errno);
                ::close(fd);
                ::unlink(temporary.c_str());
                return fail(withArguments(_("Cannot write %1: %2"), {temporary, why}));
            }
            written += static_cast<std::size_t>(count);
        }
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        if (!synced || ::rename(temporary.c_str(), path.c_str()) != 0) {
            const std::string why = std::strerror(errno);
            ::unlink(temporary.c_str());
            return fail(withArguments(_("Cannot replace %1: %2"), {path, why}));
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
    void setAside(const std::string& key, const std::string& why) override {
        pick().setAside(key, why);
    }
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

namespace {

// Deletes one file that holds sign-ins; a reason when it is still there afterwards.
std::optional<std::string> removeSecretsFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? std::nullopt
                               : std::optional<std::string>(std::strerror(errno));
    }
    if (S_ISLNK(info.st_mode)) {
        // Removing the link would leave the sign-ins in its target, and rewriting the target
        // would change a file that is not ours: the user decides.
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(path, ec);
        return ec ? _("it is a symbolic link, which is left as it is")
                  : withArguments(_("it is a symbolic link to %1, which is left as it is"),
                                  {target.string()});
    }
    if (!S_ISREG(info.st_mode)) {
        return _("it is not a regular file");
    }
    if (::unlink(path.c_str()) != 0) {
        return std::string(std::strerror(errno));
    }
    return std::nullopt;
}

} // namespace

SignOutReport signOutEverywhere() {
    SignOutReport report;
    std::vector<std::string> failures;
    // The file holds nothing but sign-ins, so signing out of every service deletes it whole,
    // readable or not, with any damaged copy kept aside earlier.
    const std::string path = CredentialStore::fileStorePath();
    std::vector<std::string> files = {path};
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name != "credentials.json" && name.rfind("credentials.json.", 0) == 0) {
            files.push_back(entry.path().string());
        }
    }
    for (const auto& file : files) {
        if (auto why = removeSecretsFile(file)) {
            failures.push_back(withArguments(_("could not remove %1: %2"), {file, *why}));
        }
    }
    const bool keyring =
        ServiceConfig::current().credentialsStore != "file" && CredentialStore::keyringAvailable();
    if (keyring) {
        auto store = CredentialStore::makeKeyringStore();
        for (const char* key : {kTwitterAuthDataKey, kFacebookSessionKey}) {
            if (!store->remove(key)) {
                failures.push_back(
                    withArguments(_("could not remove \"%1\" from the desktop keyring"), {key}));
            }
        }
    }
    if (!failures.empty()) {
        report.ok = false;
        std::string list;
        for (std::size_t i = 0; i < failures.size(); ++i) {
            list += (i == 0 ? "" : "; ") + failures[i];
        }
        report.message = withArguments(_("Not signed out: %1."), {list});
        return report;
    }
    report.message =
        keyring ? withArguments(_("Signed out of Twitter and Facebook: the stored sign-ins are "
                                  "removed from %1 and from the desktop keyring."),
                                {path})
                : withArguments(_("Signed out of Twitter and Facebook: the stored sign-ins are "
                                  "removed from %1."),
                                {path});
    return report;
}

} // namespace tx
