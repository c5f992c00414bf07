#include "platform/system/PhotoAlbum.h"
#include "platform/foundation/Translation.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tx {

namespace {

const char* const kAlbumDomain = "PhotoAlbum";
const char* const kAlbumFolder = "Taluvex";
constexpr std::size_t kCopyChunkBytes = 1 << 20;

std::atomic<long long> gWriteLimit{-1};

// Closes a descriptor when it goes out of scope.
struct Fd {
    int fd = -1;
    ~Fd() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

ErrorPtr errnoError(int code, const std::string& movie, const std::string& folder) {
    const std::string shown = PhotoAlbum::pathForDisplay(folder);
    std::string text;
    switch (code) {
    case ENOSPC:
    case EDQUOT:
        text = withArguments(_("There is not enough space on the disk to save the movie in %1."),
                             {shown});
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        text = withArguments(_("Taluvex is not allowed to write to the folder %1."), {shown});
        break;
    case ENOENT:
        text = withArguments(_("The movie \"%1\" is no longer there."), {lastPathComponent(movie)});
        break;
    default:
        text = withArguments(_("The movie could not be saved in %1: %2."),
                             {shown, std::strerror(code)});
        break;
    }
    return Error::make(kAlbumDomain, code, text);
}

bool writeAll(int fd, const char* data, std::size_t length, long long& written) {
    while (length > 0) {
        std::size_t chunk = length;
        const long long limit = gWriteLimit.load();
        if (limit >= 0) {
            if (written >= limit) {
                errno = ENOSPC;
                return false;
            }
            chunk = std::min<std::size_t>(chunk, static_cast<std::size_t>(limit - written));
        }
        const ssize_t n = ::write(fd, data, chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += n;
        length -= static_cast<std::size_t>(n);
        written += n;
    }
    return true;
}

// Gives the complete working file its album name without ever replacing a movie: a hard link
// fails when the name is taken; where links are not supported, a rename that will not replace.
bool publish(const std::string& working, const std::string& folder, const std::string& name,
             std::string& saved, int& code) {
    const std::string base = name.substr(0, name.size() - std::string(".mov").size());
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate =
            pathByAppending(folder, n == 1 ? name : base + " (" + std::to_string(n) + ").mov");
        if (::link(working.c_str(), candidate.c_str()) == 0) {
            ::unlink(working.c_str());
            saved = candidate;
            return true;
        }
        if (errno == EEXIST) {
            continue;
        }
        if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EMLINK) {
            code = errno;
            return false;
        }
        if (::renameat2(AT_FDCWD, working.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) ==
            0) {
            saved = candidate;
            return true;
        }
        if (errno == EEXIST) {
            continue;
        }
        code = errno;
        return false;
    }
    code = EEXIST;
    return false;
}

// The copy itself, on a worker thread. The album's name appears only for a complete movie.
ErrorPtr copyIntoAlbum(const std::string& movie, const std::string& folder, const std::string& name,
                       std::string& saved) {
    Fd source{::open(movie.c_str(), O_RDONLY | O_CLOEXEC)};
    if (source.fd < 0) {
        return errnoError(errno, movie, folder);
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return errnoError(ec.value(), movie, folder);
    }
    std::string working = pathByAppending(folder, ".taluvex-saving-XXXXXX");
    Fd target{::mkstemp(working.data())};
    if (target.fd < 0) {
        return errnoError(errno, movie, folder);
    }
    ::fchmod(target.fd, 0644);
    int code = 0;
    std::vector<char> buffer(kCopyChunkBytes);
    long long written = 0;
    for (;;) {
        const ssize_t n = ::read(source.fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            code = errno;
            break;
        }
        if (n == 0) {
            break;
        }
        if (!writeAll(target.fd, buffer.data(), static_cast<std::size_t>(n), written)) {
            code = errno;
            break;
        }
    }
    if (code == 0 && ::fsync(target.fd) != 0) {
        code = errno;
    }
    if (code == 0 && ::close(std::exchange(target.fd, -1)) != 0) {
        code = errno;
    }
    if (code == 0 && publish(working, folder, name, saved, code)) {
        return nullptr;
    }
    ::unlink(working.c_str());
    return errnoError(code, movie, folder);
}

} // namespace

std::string PhotoAlbum::albumDirectory() {
    return pathByAppending(videosDirectory(), kAlbumFolder);
}

std::string PhotoAlbum::movieNameForDate(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof text, "Taluvex %Y-%m-%d %H-%M-%S.mov", &local);
    return text;
}

std::string PhotoAlbum::pathForDisplay(const std::string& path) {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        return path;
    }
    std::string prefix = home;
    while (prefix.size() > 1 && prefix.back() == '/') {
        prefix.pop_back();
    }
    if (path == prefix) {
        return "~";
    }
    if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
        path[prefix.size()] == '/') {
        return "~" + path.substr(prefix.size());
    }
    return path;
}

bool PhotoAlbum::isDiskFull(const Error& error) {
    return error.domain() == kAlbumDomain && (error.code() == ENOSPC || error.code() == EDQUOT);
}

void PhotoAlbum::setWriteLimitForTesting(long long bytes) {
    gWriteLimit = bytes;
}

void PhotoAlbum::writeVideoAtPathToSavedPhotosAlbum(const std::string& path,
                                                    Completion completion) {
    const std::string folder = albumDirectory();
    const std::string name = movieNameForDate(std::chrono::system_clock::now());
    std::thread([path, folder, name, completion = std::move(completion)]() {
        std::string saved;
        ErrorPtr error = copyIntoAlbum(path, folder, name, saved);
        RunLoop::post([completion, saved, error]() {
            if (completion) {
                completion(saved, error);
            }
        });
    }).detach();
}

} // namespace tx
