#include "Paths.h"

#include "platform/foundation/Translation.h"

#include <QStandardPaths>
#include <QUuid>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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

std::string documentsDirectoryProblem() {
    const std::string dir = documentsDirectory();
    struct stat info {};
    if (::stat(dir.c_str(), &info) != 0) {
        const int code = errno;
        if (code == ELOOP) {
            return withArguments(_("The folder for movies, %1, is a loop of symbolic links."),
                                 {dir});
        }
        return withArguments(_("The folder for movies, %1, cannot be made: %2."),
                             {dir, std::strerror(code)});
    }
    if (!S_ISDIR(info.st_mode)) {
        return withArguments(_("The folder for movies, %1, is a file, not a folder."), {dir});
    }
    if (::access(dir.c_str(), W_OK | X_OK) != 0) {
        return withArguments(_("The folder for movies, %1, cannot be written: %2."),
                             {dir, std::strerror(errno)});
    }
    return {};
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
        // Held for the life of the process: the sign that the folder is still in use.
        const int lock = ::open(pattern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (lock >= 0) {
            ::flock(lock, LOCK_EX | LOCK_NB);
        }
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(privateTemporaryDirectory(), ec);
        });
        return made;
    }();
    return *dir;
}

void removeAbandonedTemporaryDirectories(double graceSeconds) {
    const std::string own = privateTemporaryDirectory();
    const std::string prefix = "taluvex-";
    const std::string base = temporaryDirectory();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(base, ec)) {
        const std::string name = entry.path().filename().string();
        const std::string path = base + name;
        if (name.rfind(prefix, 0) != 0 || name.size() != prefix.size() + 6 || path + "/" == own) {
            continue;
        }
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat info {};
        const bool ours = ::fstat(fd, &info) == 0 && info.st_uid == ::getuid() &&
                          std::difftime(std::time(nullptr), info.st_ctime) >= graceSeconds;
        if (ours && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            fs::remove_all(path, ec);
        }
        ::close(fd);
    }
}

WorkingFileHold::WorkingFileHold(const std::string& path) {
    _fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (_fd >= 0 && ::flock(_fd, LOCK_EX | LOCK_NB) != 0) {
        release();
    }
}

WorkingFileHold& WorkingFileHold::operator=(WorkingFileHold&& other) noexcept {
    if (this != &other) {
        release();
        _fd = other._fd;
        other._fd = -1;
    }
    return *this;
}

void WorkingFileHold::release() {
    if (_fd >= 0) {
        ::close(_fd);
        _fd = -1;
    }
}

int removeAbandonedWorkingFiles(const std::string& folder, const std::string& suffix,
                                double graceSeconds) {
    int removed = 0;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= suffix.size() + 1 || name.front() != '.' ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
            continue;
        }
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat info {};
        const bool candidate = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                               info.st_uid == ::getuid() &&
                               std::difftime(std::time(nullptr), info.st_ctime) >= graceSeconds;
        // Taking the lock proves no writer holds the file; it is removed while still locked.
        if (candidate && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(entry.path().c_str()) == 0) {
            ++removed;
        }
        ::close(fd);
    }
    return removed;
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

std::string setFileAside(const std::string& path, std::string* error) {
    std::string candidate = path + ".corrupt";
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(candidate, ec)); ++n) {
        candidate = path + ".corrupt." + std::to_string(n);
    }
    fs::rename(path, candidate, ec);
    if (ec) {
        if (error) {
            *error = ec.message();
        }
        return {};
    }
    return candidate;
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
