#include "platform/system/Trash.h"
#include "platform/foundation/Translation.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace tx {

namespace {

const char* const kTrashDomain = "Trash";

Trash::Handler& handler() {
    static auto* installed = new Trash::Handler();
    return *installed;
}

bool exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() !=
           std::filesystem::file_type::not_found;
}

bool usableFolder(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return false;
    }
    return S_ISDIR(info.st_mode) && ::access(path.c_str(), W_OK | X_OK) == 0;
}

// A folder that is usable, or could be made inside a usable parent.
bool usableOrMakeable(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        return usableFolder(path);
    }
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return errno == ENOENT && (usableFolder(parent) || usableOrMakeable(parent));
}

dev_t deviceOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_dev : 0;
}

std::string dataHome() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share";
}

} // namespace

bool Trash::isAvailableFor(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const dev_t device = deviceOf(folder);
    if (device == 0) {
        return false;
    }
    // The user's own trash serves the files on its disk.
    const std::string home = dataHome();
    const std::string homeTrash = home + "/Trash";
    if (deviceOf(home) == device) {
        return usableOrMakeable(homeTrash) && usableOrMakeable(homeTrash + "/files") &&
               usableOrMakeable(homeTrash + "/info");
    }
    // Other disks have one at their top folder.
    std::filesystem::path top = std::filesystem::path(folder);
    while (top.has_parent_path() && top.parent_path() != top &&
           deviceOf(top.parent_path().string()) == device) {
        top = top.parent_path();
    }
    const std::string uid = std::to_string(::getuid());
    struct stat shared {};
    const std::string sharedTrash = top.string() + "/.Trash";
    if (::lstat(sharedTrash.c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) &&
        (shared.st_mode & S_ISVTX) != 0 && usableOrMakeable(sharedTrash + "/" + uid)) {
        return true;
    }
    return usableOrMakeable(top.string() + "/.Trash-" + uid);
}

void Trash::setHandler(Handler handler) {
    tx::handler() = std::move(handler);
}

bool Trash::moveToTrash(const std::string& path, ErrorPtr* error) {
    if (tx::handler()) {
        return tx::handler()(path, error);
    }
    if (!exists(path)) {
        return true;
    }
    if (QFile::moveToTrash(QString::fromStdString(path))) {
        return true;
    }
    // No trash on this file's disk, or none at all: remove the file instead.
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!ec && !exists(path)) {
        return true;
    }
    if (error != nullptr) {
        const std::string cause = ec ? ec.message() : _("it is still there");
        *error = Error::make(kTrashDomain, ec ? ec.value() : 0,
                             withArguments(_("\"%1\" could not be deleted: %2."),
                                           {std::filesystem::path(path).filename().string(),
                                            cause}));
    }
    return false;
}

} // namespace tx
