#include "platform/system/PhotoAlbum.h"
#include "platform/foundation/Translation.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <mutex>
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
std::atomic<double> gCopyPauseSeconds{0};

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

const char* const kWorkingPrefix = ".taluvex-saving-";

// Links the complete unnamed file at `fd` in under the first free album name.
bool publishUnnamed(int fd, const std::string& folder, const std::string& name, std::string& saved,
                    int& code) {
    const std::string base = name.substr(0, name.size() - std::string(".mov").size());
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int n = 1; n < 10000; ++n) {
        const std::string candidate =
            pathByAppending(folder, n == 1 ? name : base + " (" + std::to_string(n) + ").mov");
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            saved = candidate;
            return true;
        }
        if (errno != EEXIST) {
            code = errno;
            return false;
        }
    }
    code = EEXIST;
    return false;
}

struct SaveJob {
    std::shared_ptr<PhotoAlbum::Saving> saving = std::make_shared<PhotoAlbum::Saving>();
    std::atomic<bool> done{false};
    std::thread thread;
};

std::mutex& jobsMutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
}

std::vector<std::shared_ptr<SaveJob>>& jobs() {
    static auto* list = new std::vector<std::shared_ptr<SaveJob>>();
    return *list;
}

// The copy itself, on a worker thread. The album's name appears only for a complete movie.
ErrorPtr copyIntoAlbum(const std::string& movie, const std::string& folder, const std::string& name,
                       std::string& saved, const PhotoAlbum::Saving& saving,
                       const std::function<void(double)>& progress) {
    Fd source{::open(movie.c_str(), O_RDONLY | O_CLOEXEC)};
    if (source.fd < 0) {
        return errnoError(errno, movie, folder);
    }
    struct stat info {};
    const long long total = ::fstat(source.fd, &info) == 0 ? info.st_size : 0;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        return errnoError(ec.value(), movie, folder);
    }
    // An unnamed file vanishes with the process whatever ends it; where the file system has
    // none, a named one that the next start removes once this process is gone.
    std::string working;
    Fd target{::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644)};
    if (target.fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        working = pathByAppending(folder, kWorkingPrefix + std::to_string(::getpid()) + "-XXXXXX");
        target.fd = ::mkstemp(working.data());
    }
    if (target.fd < 0) {
        return errnoError(errno, movie, folder);
    }
    ::fchmod(target.fd, 0644);
    int code = 0;
    std::vector<char> buffer(kCopyChunkBytes);
    long long written = 0;
    for (;;) {
        if (saving.isCancelled()) {
            code = ECANCELED;
            break;
        }
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
        if (const double pause = gCopyPauseSeconds.load(); pause > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(pause));
        }
        if (progress && total > 0) {
            progress(std::min(1.0, static_cast<double>(written) / static_cast<double>(total)));
        }
    }
    if (code == 0 && ::fsync(target.fd) != 0) {
        code = errno;
    }
    if (code == 0 && working.empty() && publishUnnamed(target.fd, folder, name, saved, code)) {
        return nullptr;
    }
    if (code == 0 && !working.empty() && ::close(std::exchange(target.fd, -1)) != 0) {
        code = errno;
    }
    if (code == 0 && !working.empty() && publish(working, folder, name, saved, code)) {
        return nullptr;
    }
    if (!working.empty()) {
        ::unlink(working.c_str());
    }
    return errnoError(code, movie, folder);
}

// Joins the threads of saves that have ended.
void reapJobs() {
    std::vector<std::shared_ptr<SaveJob>> ended;
    {
        std::lock_guard<std::mutex> lock(jobsMutex());
        auto& list = jobs();
        for (auto it = list.begin(); it != list.end();) {
            if ((*it)->done) {
                ended.push_back(*it);
                it = list.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& job : ended) {
        if (job->thread.joinable()) {
            job->thread.join();
        }
    }
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

void PhotoAlbum::setCopyPauseForTesting(double seconds) {
    gCopyPauseSeconds = seconds;
}

std::shared_ptr<PhotoAlbum::Saving>
PhotoAlbum::writeVideoAtPathToSavedPhotosAlbum(const std::string& path, Completion completion,
                                               Progress progress) {
    reapJobs();
    const std::string folder = albumDirectory();
    const std::string name = movieNameForDate(std::chrono::system_clock::now());
    auto job = std::make_shared<SaveJob>();
    std::shared_ptr<Saving> saving = job->saving;
    std::lock_guard<std::mutex> lock(jobsMutex());
    job->thread = std::thread([path, folder, name, completion = std::move(completion),
                               progress = std::move(progress), saving, job = job.get()]() {
        // Progress goes to the main thread at most every tenth of a second, and only while the
        // save has not been stopped.
        auto lastReport = std::chrono::steady_clock::time_point();
        auto report = [&](double fraction) {
            const auto now = std::chrono::steady_clock::now();
            if (!progress || (now - lastReport < std::chrono::milliseconds(100) && fraction < 1)) {
                return;
            }
            lastReport = now;
            RunLoop::post([progress, saving, fraction] {
                if (!saving->isCancelled()) {
                    progress(fraction);
                }
            });
        };
        std::string saved;
        ErrorPtr error = copyIntoAlbum(path, folder, name, saved, *saving, report);
        RunLoop::post([completion, saving, saved, error]() {
            if (completion && !saving->isCancelled()) {
                completion(saved, error);
            }
        });
        job->done = true;
    });
    jobs().push_back(job);
    return saving;
}

bool PhotoAlbum::isSaving() {
    std::lock_guard<std::mutex> lock(jobsMutex());
    const auto& list = jobs();
    return std::any_of(list.begin(), list.end(), [](const auto& job) {
        return !job->done && !job->saving->isCancelled();
    });
}

void PhotoAlbum::cancelAllSaves() {
    std::vector<std::shared_ptr<SaveJob>> running;
    {
        std::lock_guard<std::mutex> lock(jobsMutex());
        running.swap(jobs());
    }
    for (auto& job : running) {
        job->saving->cancel();
    }
    for (auto& job : running) {
        if (job->thread.joinable()) {
            job->thread.join();
        }
    }
}

void PhotoAlbum::removeAbandonedWorkingFiles() {
    std::error_code ec;
    const std::string prefix = kWorkingPrefix;
    for (const auto& entry : fs::directory_iterator(albumDirectory(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0) {
            continue;
        }
        // ".taluvex-saving-<pid>-XXXXXX": kept while that process lives. Names without a pid
        // come from saves that ran before the pid was written; a day leaves them no owner.
        const std::string rest = name.substr(prefix.size());
        const auto dash = rest.find('-');
        long pid = 0;
        const bool withPid = dash != std::string::npos && dash > 0 &&
                             rest.find_first_not_of("0123456789") == dash &&
                             (pid = std::strtol(rest.c_str(), nullptr, 10)) > 0;
        bool abandoned = false;
        if (withPid) {
            abandoned = pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 &&
                        errno == ESRCH;
        } else {
            struct stat info {};
            abandoned = ::lstat(entry.path().c_str(), &info) == 0 &&
                        std::time(nullptr) - info.st_mtime > 24 * 60 * 60;
        }
        if (abandoned) {
            fs::remove(entry.path(), ec);
        }
    }
}

} // namespace tx
