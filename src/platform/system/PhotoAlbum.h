// The desktop's photo album for movies: a "Taluvex" folder in the user's Videos folder. Saving
// copies the movie there under a dated name, off the main thread, into an unnamed file that is
// linked in only once the copy is complete, so a crash or kill leaves nothing behind.
#pragma once

#include "platform/foundation/Error.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace tx {

class PhotoAlbum {
public:
    // Where the album's movies are: $XDG_VIDEOS_DIR/Taluvex.
    static std::string albumDirectory();

    // Told on the main thread: the saved movie's path, or an error (a code of errno: ENOSPC for a
    // full disk, EACCES for a folder that cannot be written, ENOENT for a movie that is gone).
    using Completion = std::function<void(const std::string& savedPath, const ErrorPtr& error)>;
    // Told on the main thread as the copy goes: the share of the movie copied, 0 to 1.
    using Progress = std::function<void(double fraction)>;

    // A save under way. After cancel() (on the main thread) neither progress nor completion is
    // called, and nothing of the copy stays on disk.
    class Saving {
    public:
        void cancel() { _cancelled = true; }
        bool isCancelled() const { return _cancelled.load(); }

    private:
        std::atomic<bool> _cancelled{false};
    };

    // Copies the movie at `path` into the album as "Taluvex YYYY-MM-DD HH-MM-SS.mov" (local
    // time now), adding " (2)", " (3)"… rather than replacing a movie already there.
    static std::shared_ptr<Saving> writeVideoAtPathToSavedPhotosAlbum(const std::string& path,
                                                                      Completion completion,
                                                                      Progress progress = {});
    // Whether a save has not ended yet; quitting asks first while one runs.
    static bool isSaving();
    // Stops every save and waits for its copy to end (at quit).
    static void cancelAllSaves();
    // Removes working files that saves of processes that have ended left in the album (where
    // the file system has no unnamed files, the working file has a name that carries its pid).
    static void removeAbandonedWorkingFiles();

    // The album's file name for a movie saved at `when` (without the " (n)" suffix).
    static std::string movieNameForDate(std::chrono::system_clock::time_point when);
    // A path as the user reads it: the home folder written as "~".
    static std::string pathForDisplay(const std::string& path);
    // Whether an error of this album means the disk (or the user's quota) is full.
    static bool isDiskFull(const Error& error);

    // Makes copies fail as on a full disk once this many bytes are written (tests); a negative
    // value lifts the limit.
    static void setWriteLimitForTesting(long long bytes);
    // Pauses this long after each copied mebibyte, so that tests can catch a save under way.
    static void setCopyPauseForTesting(double seconds);
};

} // namespace tx
