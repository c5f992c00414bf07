#include "Paths.h"

#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tx {

namespace {

std::string homeDirectory() {
    const char* home = std::getenv("HOME");
    return home != nullptr && *home == '/' ? home : "/tmp";
}

// An XDG base folder: the variable when it holds an absolute path, else the default below home.
std::string xdgBase(const char* variable, const char* homeRelativeDefault) {
    if (const char* xdg = std::getenv(variable); xdg != nullptr && *xdg == '/')
        return xdg;
    return homeDirectory() + "/" + homeRelativeDefault;
}

std::string createdDirectory(const std::string& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    return dir;
}

} // namespace

std::string documentsDirectory() {
    return createdDirectory(xdgBase("XDG_DATA_HOME", ".local/share") + "/taluvex/Documents");
}

std::string configDirectory() {
    return createdDirectory(xdgBase("XDG_CONFIG_HOME", ".config") + "/taluvex");
}

std::string cacheDirectory() {
    return createdDirectory(xdgBase("XDG_CACHE_HOME", ".cache") + "/taluvex");
}

// QStandardPaths reads user-dirs.dirs and the XDG_*_DIR variables the desktop sets.
std::string videosDirectory() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    return dir.isEmpty() ? homeDirectory() + "/Videos" : dir.toStdString();
}

std::string musicDirectory() {
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return dir.isEmpty() ? homeDirectory() + "/Music" : dir.toStdString();
}

std::string privateTemporaryDirectory() {
    // Made once per process; the folder and its files go when the process exits normally.
    // The name is never destroyed: the exit handler that removes the folder runs after the
    // destructors of statics made later than it, and still needs the name.
    static const std::string* dir = []() -> const std::string* {
        std::string pattern = temporaryDirectory() + "taluvex-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            // Nowhere private to be had: the shared folder still works.
            return new std::string(temporaryDirectory());
        }
        const auto* made = new std::string(pattern + "/");
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(privateTemporaryDirectory(), ec);
        });
        return made;
    }();
    return *dir;
}

std::string temporaryDirectory() {
    std::error_code ec;
    std::string dir = fs::temp_directory_path(ec).string();
    if (ec || dir.empty()) {
        dir = "/tmp";
    }
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::string uniqueString() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

std::string pathByAppending(const std::string& directory, const std::string& component) {
    if (directory.empty()) {
        return component;
    }
    if (directory.back() == '/') {
        return directory + component;
    }
    return directory + "/" + component;
}

std::string pathByReplacingExtension(const std::string& path, const std::string& extension) {
    return fs::path(path).replace_extension(extension).string();
}

std::string lastPathComponent(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string pathExtension(const std::string& path) {
    const std::string ext = fs::path(path).extension().string();
    return ext.empty() ? ext : ext.substr(1);
}

std::string deletingLastPathComponent(const std::string& path) {
    return fs::path(path).parent_path().string();
}

std::string hiddenWorkingPath(const std::string& path, const std::string& suffix) {
    const fs::path target(path);
    const std::string folder = target.parent_path().string();
    long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (limit <= 0) {
        limit = NAME_MAX;
    }
    const std::string tail = "." + uniqueString() + suffix;
    std::string name = target.filename().string();
    const auto room = static_cast<std::size_t>(std::max<long>(
        0, limit - 1 - static_cast<long>(tail.size())));
    if (name.size() > room) {
        name.resize(room);
        // Cut before a UTF-8 continuation byte's lead, never through a character.
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80) {
            name.pop_back();
        }
        if (!name.empty() && (static_cast<unsigned char>(name.back()) & 0x80) != 0) {
            name.pop_back();
        }
    }
    return (target.parent_path() / ("." + name + tail)).string();
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool removeFile(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return !fs::exists(path, ec);
}

long long fileSize(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(size);
}

std::string executableDirectory() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return ".";
    }
    return self.parent_path().string();
}

std::string resourceDirectory() {
    return (fs::path(executableDirectory()).parent_path() / "share" / "taluvex").string();
}

std::string resourcePath(const std::string& name, const std::string& type) {
    std::string path =
        pathByAppending(resourceDirectory(), type.empty() ? name : name + "." + type);
    return fileExists(path) ? path : std::string();
}

} // namespace tx
