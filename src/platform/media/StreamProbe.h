// Internal to the media layer. What a full probe of a movie's streams found, kept per track so
// that reading the track window after window opens the file without probing it again.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"

#include "FFmpeg.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tx {

// Which file a probe was of: a file written again or put in its place differs in one of these.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t sizeBytes = -1;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of the file at `path`; sizeBytes -1 when it cannot be read.
FileStamp fileStampOf(const std::string& path);

struct CodecParametersDeleter {
    void operator()(AVCodecParameters* par) const { avcodec_parameters_free(&par); }
};
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersDeleter>;

// A file opened but not yet probed: what its header alone gave, to tell afterwards whether the
// probe added anything the packets depend on.
struct UnprobedShape {
    unsigned streamCount = 0;
    std::vector<int> indexEntries;
};
UnprobedShape unprobedShapeOf(const AVFormatContext* ctx);

class StreamProbe {
public:
    // Keeps what the probe of `ctx` (of the file stamped `stamp`, whose header alone gave
    // `before`) found for stream `streamIndex`.
    void remember(const FileStamp& stamp, const AVFormatContext* ctx, int streamIndex,
                  const UnprobedShape& before);
    // Gives the unprobed `ctx`'s stream `streamIndex` what the kept probe found; false, and
    // `ctx` untouched, when it is not known for this very file and this layout.
    bool applyTo(const FileStamp& stamp, AVFormatContext* ctx, int streamIndex) const;
    // Whether a probe was kept and the file it was of differs from `stamp`.
    bool changedSince(const FileStamp& stamp) const;
    // How many full probes were kept: the asset's own and the readers'.
    int fullProbes() const;

private:
    mutable std::mutex _mutex;
    bool _known = false;
    int _fullProbes = 0;
    // The container's header gives every packet and its timing, and the probe changed neither.
    bool _reusable = false;
    FileStamp _stamp;
    unsigned _streamCount = 0;
    int _indexEntries = 0;
    CodecParametersPtr _parameters;
    AVRational _timeBase{0, 1};
    AVRational _realFrameRate{0, 1};
    AVRational _averageFrameRate{0, 1};
    AVRational _sampleAspectRatio{0, 1};
    std::int64_t _startTime = AV_NOPTS_VALUE;
    std::int64_t _duration = AV_NOPTS_VALUE;
    std::int64_t _frameCount = 0;
};

// Opens `track`'s file for reading its packets: probed in full the first time and whenever the
// file changed (`changed` then tells whether it did since the last probe), and otherwise given
// what that probe found, where the container allows it.
ff::FormatInputPtr openForTrack(const std::string& path, const AssetTrack& track, bool& changed,
                                ErrorPtr* error);

} // namespace tx
