// The desktop's photo album for movies: a "Taluvex" folder in the user's Videos folder. Saving
// copies the movie there under a dated name, off the main thread, through a hidden working file
// that is renamed only once the copy is complete.
#pragma once

#include "platform/foundation/Error.h"

#include <chrono>
#include <functional>
#include <string>

namespace tx {

class PhotoAlbum {
public:
    // Where the album's movies are: $XDG_VIDEOS_DIR/Taluvex.
    static std::string albumDirectory();

    // Told on the main thread: the saved movie's path, or an error (a code of errno: ENOSPC for a
    // full disk, EACCES for a folder that cannot be written, ENOENT for a movie that is gone).
    using Completion = std::function<void(const std::string& savedPath, const ErrorPtr& error)>;
    // Copies the movie at `path` into the album as "Taluvex YYYY-MM-DD HH-MM-SS.mov" (local
    // time now), adding " (2)", " (3)"… rather than replacing a movie already there.
    static void writeVideoAtPathToSavedPhotosAlbum(const std::string& path, Completion completion);

    // The album's file name for a movie saved at `when` (without the " (n)" suffix).
    static std::string movieNameForDate(std::chrono::system_clock::time_point when);
    // A path as the user reads it: the home folder written as "~".
    static std::string pathForDisplay(const std::string& path);
    // Whether an error of this album means the disk (or the user's quota) is full.
    static bool isDiskFull(const Error& error);

    // Makes copies fail as on a full disk once this many bytes are written (tests); a negative
    // value lifts the limit.
    static void setWriteLimitForTesting(long long bytes);
};

} // namespace tx
