// Internal to the media layer. Reading a movie backwards a window at a time means decoding each
// window from the keyframe before it; with keyframes far apart the same pictures would be
// decoded again and again. Instead, the pictures decoded on the way to a window are kept in an
// unlinked file in the user's cache folder ($XDG_CACHE_HOME/taluvex, on disk where the
// temporary folder may be memory), so the windows before it are read back from there: memory
// stays at one window, each picture is decoded once, and nothing is left on disk.
#pragma once

#include "FFmpeg.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tx {

struct PictureSpill {
    // At most this much is kept; older pictures of a very long group are decoded again.
    static constexpr std::int64_t kBudgetBytes = 2LL * 1024 * 1024 * 1024;
    // Shorter stretches are cheaper to decode again than to keep.
    static constexpr double kMinimumSeconds = 0.5;

    // An unlinked file of pictures; closed when no kept picture is in it any more.
    struct File {
        int fd = -1;
        ~File();
    };

    // Starts over with pictures from `start` (stream ticks), in a new file; false when no file
    // can be made.
    bool reset(std::int64_t start);
    // Keeps an NV12 picture; pictures come in increasing time. False (and the spill is dropped)
    // when the disk refuses.
    bool append(const AVFrame* picture);
    // Everything from the reset up to `end` has been kept.
    void markCoveredUntil(std::int64_t end) { coveredEnd = end; }
    bool covers(std::int64_t start, std::int64_t end) const {
        return !entries.empty() && coveredStart <= start && end <= coveredEnd;
    }
    // Takes over the pictures `earlier` kept, which end where these begin, and forgets those at
    // or after `end`: reads go backwards and will not ask for them again.
    void prepend(PictureSpill& earlier, std::int64_t end);
    // Index of the first kept picture at or after `ts`.
    std::size_t firstAtOrAfter(std::int64_t ts) const;
    // Bytes of one kept picture.
    std::int64_t pictureBytes() const;
    // A fresh NV12 frame with the picture at `index`; null when it cannot be read back.
    OwnedFrame load(std::size_t index) const;

    struct Entry {
        std::int64_t pts;
        std::int64_t duration;
        std::int64_t offset;
        std::shared_ptr<File> file;
    };
    std::vector<Entry> entries;
    std::shared_ptr<File> file; // the one being written
    int width = 0;
    int height = 0;
    std::int64_t coveredStart = 0;
    std::int64_t coveredEnd = 0;
    std::int64_t writeOffset = 0;
};

} // namespace tx
