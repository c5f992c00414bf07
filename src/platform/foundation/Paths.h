// Where Taluvex keeps its files, and the small file operations the application uses.
#pragma once

#include <string>

namespace tx {

// $XDG_DATA_HOME/taluvex/Documents (default ~/.local/share/taluvex/Documents), created on demand.
std::string documentsDirectory();
// What keeps the Documents folder from holding movies (a file in its place, a loop of symbolic
// links, a folder that cannot be made or written), in the user's words; empty when it is usable.
std::string documentsDirectoryProblem();
// The system's temporary folder, with a trailing slash.
std::string temporaryDirectory();
// A folder of this process alone inside the temporary folder (mode 0700, made on first use,
// removed with what it holds when the process exits normally), with a trailing slash: the camera
// recording, exports and mail attachments go here, never under a fixed name in a shared folder.
std::string privateTemporaryDirectory();
// Removes the private temporary folders of Taluvex processes that have ended without tidying up
// (killed, crashed), with the recordings and exports they held. A living process holds a lock
// on its folder, which is never touched; neither is a folder made in the last `graceSeconds`.
void removeAbandonedTemporaryDirectories(double graceSeconds = 5);
// $XDG_CONFIG_HOME/taluvex (default ~/.config/taluvex), created on demand: services.ini and the
// credentials fallback.
std::string configDirectory();
// $XDG_CACHE_HOME/taluvex (default ~/.cache/taluvex), created on demand.
std::string cacheDirectory();
// The user's Videos and Music folders ($XDG_VIDEOS_DIR, $XDG_MUSIC_DIR from user-dirs.dirs,
// defaults ~/Videos and ~/Music); not created here.
std::string videosDirectory();
std::string musicDirectory();
// A fresh globally unique string, such as "3F2504E0-4F89-41D3-9A0C-0305E82C3301".
std::string uniqueString();

std::string pathByAppending(const std::string& directory, const std::string& component);
std::string pathByReplacingExtension(const std::string& path, const std::string& extension);
std::string lastPathComponent(const std::string& path);
std::string pathExtension(const std::string& path);
std::string deletingLastPathComponent(const std::string& path);
// A hidden name beside `path` for a file being made: "." + its name + "." + a unique string +
// `suffix`. Where that would pass the file system's limit on a name, the part taken from `path`
// is shortened (at a character boundary), so any valid name has a working name beside it.
std::string hiddenWorkingPath(const std::string& path, const std::string& suffix);

// A working file is held for as long as a process writes it: an exclusive lock on the file
// itself, taken on a descriptor of its own that the returned hold keeps open. When the process
// ends, however it ends, the lock goes with it.
class WorkingFileHold {
public:
    WorkingFileHold() = default;
    explicit WorkingFileHold(const std::string& path);
    ~WorkingFileHold() { release(); }
    WorkingFileHold(const WorkingFileHold&) = delete;
    WorkingFileHold& operator=(const WorkingFileHold&) = delete;
    WorkingFileHold(WorkingFileHold&& other) noexcept : _fd(other._fd) { other._fd = -1; }
    WorkingFileHold& operator=(WorkingFileHold&& other) noexcept;
    bool isHeld() const { return _fd >= 0; }
    void release();

private:
    int _fd = -1;
};
// Removes the hidden working files (a dot first, `suffix` last) directly in `folder` that no
// process holds and that were made at least `graceSeconds` ago: what a killed writer left. A
// file a live process writes is never touched. Returns how many were removed.
int removeAbandonedWorkingFiles(const std::string& folder, const std::string& suffix,
                                double graceSeconds = 5);

bool fileExists(const std::string& path);
// Removes a file; true when it is gone afterwards (also when it never existed).
bool removeFile(const std::string& path);
long long fileSize(const std::string& path);
// Moves a file that cannot be read out of the way so that nothing overwrites it: it becomes
// "<path>.corrupt" (then ".corrupt.2"...). The new path, or empty with the reason in `error`.
std::string setFileAside(const std::string& path, std::string* error = nullptr);

// The folder that holds the running executable.
std::string executableDirectory();
// The application's bundled resources: <executable folder>/../share/taluvex, which is the same
// whether Taluvex runs from the build tree (build/bin) or is installed (/usr/bin).
std::string resourceDirectory();
// A bundled resource by name and type ("SoundTrackInfo", "plist"); empty when it is missing.
std::string resourcePath(const std::string& name, const std::string& type);

} // namespace tx
