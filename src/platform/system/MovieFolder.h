// The movies the picker offers: the files of a folder that open as movies, with their name,
// length, date and a small still, newest first; and stills taken from a movie as pictures of
// the interface kit. Everything here may run on a worker thread.
#pragma once

#include "platform/media/ImageGenerator.h"
#include "platform/ui/Image.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tx {

struct MovieEntry {
    std::string path;
    std::string name;
    double durationSeconds = 0;
    // Seconds since the epoch of the file's last change.
    std::int64_t modifiedSeconds = 0;
    ImagePtr thumbnail;
};

// Whether a file name has the extension of a movie container we list.
bool isMovieFileName(const std::string& path);

// The movies in `folder` and its subfolders (hidden ones left out), newest first. Files that do
// not open as a movie with pictures are skipped. `cancelled` is looked at between files;
// `found` hears of each movie as soon as it has been read, in the same order.
std::vector<MovieEntry> scanMovieFolder(const std::string& folder, Size thumbnailPoints,
                                        const std::atomic<bool>* cancelled = nullptr,
                                        const std::function<void(const MovieEntry&)>& found = {});

// A length as the picker shows it: "0:07", "12:05", "1:02:03".
std::string formatMovieLength(double seconds);
// A position with tenths, for the trim screen: "0:03.4", "1:02:03.0".
std::string formatMoviePosition(double seconds);

// The still at `seconds`, fitted into `maxPoints` at two pixels a point; null when the movie
// gives no picture there.
ImagePtr movieStill(ImageGenerator& generator, double seconds, Size maxPoints);

} // namespace tx
