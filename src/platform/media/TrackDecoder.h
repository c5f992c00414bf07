// Internal to the media layer. Decodes one track of a movie forwards, from the keyframe at or
// before a stretch (or a little before it, for sound) to its end, and hands out the stretch's
// pictures as NV12 and its sound as signed 16-bit PCM.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"
#include "platform/media/SampleBuffer.h"

#include "FFmpeg.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>

namespace tx {

// The keyframe at or before `ts` (stream ticks), from the packet scan; null when none.
const AssetTrack::PacketInfo* keyframeAtOrBefore(const AssetTrack& track, std::int64_t ts);

// A picture sample of `frame` (NV12), timed in stream ticks of `timeBase`.
SampleBufferPtr pictureSample(OwnedFrame frame, AVRational timeBase);

class TrackDecoder {
public:
    // What becomes of a picture decoded before the end of the stretch: `beforeStart` when it
    // lies before its start too.
    enum class Taken { No, Yes, Failed };
    using EarlyPictures =
        std::function<Taken(AVFrame* frame, std::int64_t pts, bool beforeStart, ErrorPtr& error)>;

    // `decoderSlot` lends its decoder for the reading and gets it back, flushed, at the end, so
    // that stretches read one after another do not each build a decoder. Abandoned (see
    // setAbandoned), the reading gives nothing back and counts nothing: the track may be gone.
    TrackDecoder(std::string path, const AssetTrack& track, int maxChannels,
                 ff::CodecContextPtr* decoderSlot);
    ~TrackDecoder();
    TrackDecoder(const TrackDecoder&) = delete;
    TrackDecoder& operator=(const TrackDecoder&) = delete;

    // Opens the file and goes to the pictures (or sound) of [startTs, endTs) in stream ticks.
    bool open(std::int64_t startTs, std::int64_t endTs, ErrorPtr* error);
    // The stretch handed out, changed after open() without going elsewhere in the file.
    void setStretch(std::int64_t startTs, std::int64_t endTs) {
        _startTs = startTs;
        _endTs = endTs;
    }
    // The keyframe the pictures are decoded from; null for sound or when the track has none.
    const AssetTrack::PacketInfo* keyframe() const { return _keyframe; }

    // The next picture or sound of the stretch; nothing at its end, on a failure (`error` set),
    // when abandoned, or when the deadline passed (timedOut()).
    SampleBufferPtr next(ErrorPtr& error);
    // The picture as a sample, counted by `onPicture` when that is set; null on failure.
    SampleBufferPtr makePicture(AVFrame* frame, ErrorPtr* error);
    // The picture as NV12, taking over `frame`'s data; null on failure.
    OwnedFrame toNV12(AVFrame* frame, ErrorPtr* error);

    // Offered every picture before the end of the stretch before it is dropped or handed out.
    void setEarlyPictures(EarlyPictures early) { _early = std::move(early); }
    // Called with every picture handed out, before it becomes a sample.
    void setOnPicture(std::function<void(AVFrame*)> onPicture) {
        _onPicture = std::move(onPicture);
    }
    // Set from another thread when the pictures are no longer wanted.
    void setAbandoned(const std::atomic<bool>* abandoned) { _abandoned = abandoned; }
    void setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline) {
        _deadline = deadline;
    }
    bool timedOut() const { return _timedOut; }
    // For tests: called on the decoding thread before each frame is decoded (null: nothing).
    static void setFrameHookForTesting(void (*hook)());
    void clearTimedOut() { _timedOut = false; }
    AVRational timeBase() const { return _stream->time_base; }
    bool isVideo() const { return _video; }

private:
    // 0: a frame, AVERROR_EOF: end of the file, other negative: failure.
    int nextFrame(AVFrame* frame);
    SampleBufferPtr makeSound(AVFrame* frame, ErrorPtr* error);

    std::string _path;
    const AssetTrack& _track;
    ff::CodecContextPtr* _decoderSlot = nullptr;
    bool _video = false;
    ff::FormatInputPtr _format;
    ff::CodecContextPtr _decoder;
    AVStream* _stream = nullptr;
    ff::PacketPtr _packet = ff::makePacket();
    bool _sentEndOfInput = false;
    // After a seek to a keyframe, packets before it (by decoding time) are not decoded: some
    // containers land a whole group of pictures early.
    std::int64_t _firstDts = AV_NOPTS_VALUE;
    const AssetTrack::PacketInfo* _keyframe = nullptr;
    std::int64_t _startTs = 0;
    std::int64_t _endTs = std::numeric_limits<std::int64_t>::max();
    // Pictures out of the decoder, counted into the track's read counts at the end.
    int _picturesDecoded = 0;
    ff::SwsPtr _sws;
    ff::SwrPtr _swr;
    AudioFormatDescriptionPtr _soundFormat;
    int _swrSourceChannels = 0;
    // Sound with more channels is folded down to this many (0: as many as the source has).
    int _maxChannels = 0;
    EarlyPictures _early;
    std::function<void(AVFrame*)> _onPicture;
    const std::atomic<bool>* _abandoned = nullptr;
    std::optional<std::chrono::steady_clock::time_point> _deadline;
    bool _timedOut = false;
};

} // namespace tx
