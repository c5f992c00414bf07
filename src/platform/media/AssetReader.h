// Reads decoded pictures or sound from a track of an asset, over a time range.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/media/Asset.h"
#include "platform/media/SampleBuffer.h"

#include <chrono>
#include <memory>
#include <vector>

namespace tx {

class AssetReader;

enum class AssetReaderStatus { Unknown = 0, Reading = 1, Completed = 2, Failed = 3, Cancelled = 4 };

// One track's decoded samples. Pictures come as '420v' (NV12); sound as interleaved signed
// 16-bit linear PCM at the track's own rate and channel count, or folded down (by FFmpeg's
// matrix) to at most kNumberOfChannelsKey channels when the settings give that key.
class AssetReaderTrackOutput : public Object {
public:
    static std::shared_ptr<AssetReaderTrackOutput> create(AssetTrackPtr track,
                                                          MediaSettings outputSettings);
    ~AssetReaderTrackOutput() override;

    const AssetTrackPtr& track() const { return _track; }
    const std::string& mediaType() const { return _track->mediaType(); }
    // The next sample of the range, or nothing at its end, on an error, or after a cancel.
    SampleBufferPtr copyNextSampleBuffer();
    // The same, but decoding gives up at `deadline` (checked between decoded pictures): then
    // nothing comes back, timedOut() is true and the next call goes on where this one stopped.
    // A caller on the main loop reads a long stretch in turns this way and stays responsive.
    SampleBufferPtr copyNextSampleBuffer(std::chrono::steady_clock::time_point deadline);
    // Whether the last call came back empty because its deadline passed, not at the end.
    bool timedOut() const;

    struct Impl;

private:
    friend class AssetReader;
    AssetTrackPtr _track;
    MediaSettings _settings;
    std::weak_ptr<AssetReader> _reader;
    std::unique_ptr<Impl> _impl;
};

using AssetReaderTrackOutputPtr = std::shared_ptr<AssetReaderTrackOutput>;

class AssetReader : public Object {
public:
    static std::shared_ptr<AssetReader> create(AssetPtr asset, ErrorPtr* error = nullptr);

    const AssetPtr& asset() const { return _asset; }
    bool canAddOutput(const AssetReaderTrackOutputPtr& output) const;
    void addOutput(const AssetReaderTrackOutputPtr& output);
    const std::vector<AssetReaderTrackOutputPtr>& outputs() const { return _outputs; }

    // A ranged read starts at the keyframe at or before the range start and delivers pictures
    // whose time lies in the range, and sound buffers that overlap it.
    // Pictures: a time lies in the range when start <= time < end, so ranges that meet share
    // no picture.
    void setTimeRange(const TimeRange& range) { _timeRange = range; }
    TimeRange timeRange() const { return _timeRange; }
    // The range the next reader of the same track will ask for. A read that ends where the
    // one before it began reads backwards: the pictures it decodes on the way may be kept, or
    // the following range decoded ahead, so that the next read finds them ready.
    void setFollowingTimeRange(const TimeRange& range) { _followingRange = range; }

    bool startReading();
    void cancelReading();
    AssetReaderStatus status() const { return _status; }
    const ErrorPtr& error() const { return _error; }

private:
    friend class AssetReaderTrackOutput;
    void outputFinished(const ErrorPtr& error);

    AssetPtr _asset;
    std::vector<AssetReaderTrackOutputPtr> _outputs;
    TimeRange _timeRange{MediaTime::zero(), MediaTime::positiveInfinity()};
    TimeRange _followingRange{MediaTime::invalid(), MediaTime::invalid()};
    AssetReaderStatus _status = AssetReaderStatus::Unknown;
    ErrorPtr _error;
    std::size_t _finishedOutputs = 0;
};

using AssetReaderPtr = std::shared_ptr<AssetReader>;

} // namespace tx
