// Internal to the media layer. The pictures of one read of a track, for a reader that goes
// backwards window by window: each window is decoded from its keyframe, unless the pictures
// decoded on the way to the window after it were carried over or kept (PictureSpill), or it was
// decoded ahead on a thread of its own while that window was used. A budget holds the pictures
// alive to about one window however fast the decoding ahead runs.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/media/Asset.h"
#include "platform/media/SampleBuffer.h"

#include "FFmpeg.h"
#include "PictureSpill.h"
#include "TrackDecoder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tx {

// The pictures handed out by the reads of one track and still alive, against how many they may
// be. A window decoded ahead waits for room, so that it grows only as fast as the window before
// it is used up: memory stays at about one window however fast the decoder is. Reads on the
// caller's thread never wait; they only count.
struct PictureBudget {
    std::mutex mutex;
    std::condition_variable freed;
    int live = 0;
    int peak = 0;
    int capacity = std::numeric_limits<int>::max();
    // Lifted while the caller waits for the window decoded ahead: it must never wait for
    // pictures the caller itself still holds.
    bool lifted = false;

    void take(bool wait);
    int mostHeld();
    void give();
    void setCapacity(int pictures);
    void lift();
};

class BackwardPictureSource;

// A window, or a group of pictures to keep, decoded on a thread of its own. Abandoned, it is
// left to end on its own at its next picture: nobody waits for it, and it touches nothing of the
// track's any more.
struct PictureReadAhead {
    // First: whatever is destroyed on the way out may still look at it.
    std::atomic<bool> abandoned{false};
    std::int64_t startTs = 0;
    std::int64_t endTs = 0;
    std::unique_ptr<BackwardPictureSource> source;
    // A window's pictures; or, for a group kept ahead, the pictures kept in [startTs, endTs).
    std::vector<SampleBufferPtr> samples;
    std::shared_ptr<PictureSpill> kept;
    bool keptAll = false;
    ErrorPtr error;
    std::thread worker;
    // Guard `samples` and `done` while the worker runs.
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;

    ~PictureReadAhead();
    // Waits until the worker has ended or the deadline (when there is one) has passed; whether
    // it has ended.
    bool waitUntilDone(const std::optional<std::chrono::steady_clock::time_point>& deadline);
    // The window's picture at `index` as soon as it is decoded; nothing once the window is
    // complete, or when the deadline passes first (`timedOut` set).
    SampleBufferPtr take(std::size_t index,
                         const std::optional<std::chrono::steady_clock::time_point>& deadline,
                         bool& timedOut);
    // Called by the worker at its end.
    void markDone();
    // Waits for the window; the budget is lifted so that it completes whatever is still held.
    void finish();
    // Gives up on the window without waiting for it.
    void abandon();
};

struct BackwardReadState {
    // The decoder of the previous read, flushed, for the next one to take over.
    ff::CodecContextPtr idleDecoder;
    // Pictures decoded on the way to a window and kept for the windows before it.
    std::shared_ptr<PictureSpill> keptPictures;
    std::shared_ptr<PictureBudget> budget = std::make_shared<PictureBudget>();
    // The window before the last one read, or the group of pictures before the kept ones,
    // being decoded ahead on a thread of its own. Declared last: it is stopped first, and its
    // decoder handed back to the slot above.
    std::shared_ptr<PictureReadAhead> ahead;

    ~BackwardReadState();
    // Starts `next` decoding ahead in place of what was, which is abandoned.
    void replaceAhead(std::shared_ptr<PictureReadAhead> next);
};

class BackwardPictureSource {
public:
    BackwardPictureSource(std::string path, const AssetTrack& track);
    ~BackwardPictureSource();
    BackwardPictureSource(const BackwardPictureSource&) = delete;
    BackwardPictureSource& operator=(const BackwardPictureSource&) = delete;

    // Reads the pictures of `range`; `following` is the range the next read of the track will
    // ask for (invalid when not known).
    bool open(const TimeRange& range, const TimeRange& following, ErrorPtr* error);
    // The next picture; nothing at the end, on a failure (`error` set), or when the deadline
    // passed (timedOut()).
    SampleBufferPtr next(ErrorPtr& error);
    // The read came to its end without a failure: start on what the next read will want.
    void finished();

    void setDeadline(std::optional<std::chrono::steady_clock::time_point> deadline);
    bool timedOut() const { return _waitTimedOut || (_decoder && _decoder->timedOut()); }
    void clearTimedOut();

private:
    friend struct PictureReadAhead;
    // The part of open() after the group of pictures kept ahead has been joined to the kept ones.
    bool openFromWhatIsReady(const TimeRange& range, ErrorPtr* error);
    // Joins the group of pictures kept ahead, once it is complete, and opens. False while it is
    // not complete by the deadline, or on a failure (`error` set).
    bool joinKeptGroup(ErrorPtr& error);
    // Opens the file for the pictures of `range` (stream ticks from its times).
    bool openDecoder(const TimeRange& range, ErrorPtr* error);
    // The next picture of the window decoded ahead, as soon as it is there.
    SampleBufferPtr nextAhead(ErrorPtr& error);
    SampleBufferPtr nextDecoded(ErrorPtr& error);
    // What becomes of a picture decoded before the window: carried, kept, or dropped.
    TrackDecoder::Taken takeEarlyPicture(AVFrame* frame, std::int64_t pts, bool before,
                                         ErrorPtr& error);
    void charge(AVFrame* picture) const;
    // Keeps the pictures decoded on the way to this window, from `keyPts` on, for the window
    // before it, as many as the budget allows.
    void planCarry(std::int64_t keyPts);
    void planSpill(std::int64_t keyPts);
    SampleBufferPtr nextFromSpill();
    // Starts decoding the window before this one on a thread of its own, when that pays.
    void readAheadNextWindow();
    // Starts decoding and keeping the group of pictures before the kept ones on a thread of its
    // own, when the windows there are far from their keyframe.
    void keepEarlierGroupAhead();

    std::string _path;
    const AssetTrack& _track;
    // Set when this reads ahead for a job that may be abandoned: then it leaves the track alone.
    const std::atomic<bool>* _abandoned = nullptr;
    BackwardReadState& _state;
    AVRational _timeBase{1, 1};
    std::unique_ptr<TrackDecoder> _decoder;
    std::int64_t _startTs = 0;
    std::int64_t _endTs = std::numeric_limits<std::int64_t>::max();
    // The next read of the track ends where this one begins, at _followingStartTs.
    bool _backwards = false;
    std::int64_t _followingStartTs = 0;
    // What the pictures handed out count against; waited for when reading ahead.
    std::shared_ptr<PictureBudget> _budget;
    bool _waitsForRoom = false;

    // This very window, being decoded ahead: its pictures are handed out as they come.
    struct Ahead {
        std::shared_ptr<PictureReadAhead> job;
        std::size_t index = 0;
    } _ahead;
    // The group of pictures kept ahead that this window reaches into, until it is complete, and
    // the range that is opened then.
    std::shared_ptr<PictureReadAhead> _awaitedGroup;
    TimeRange _range;
    // Waits for work on other threads give up then, and say so.
    std::optional<std::chrono::steady_clock::time_point> _deadline;
    bool _waitTimedOut = false;

    // Keeping the pictures decoded on the way in the track's spill, from `from` on; or, when
    // `reading`, handing out kept pictures from `index` on.
    struct Keep {
        std::shared_ptr<PictureSpill> spill;
        bool keeping = false;
        std::int64_t from = 0;
        bool reading = false;
        std::size_t index = 0;
    } _keep;

    // The pictures in [from, _startTs), decoded on the way to this window, are kept for the
    // window before it (carried out) ... which, given them (carried in), decodes only up to
    // where they begin.
    struct Carry {
        bool on = false;
        std::int64_t from = 0;
        std::vector<SampleBufferPtr> out;
        std::vector<SampleBufferPtr> in;
        std::size_t inIndex = 0;
        std::int64_t decodeEndTs = std::numeric_limits<std::int64_t>::max();
        bool decodeDone = false;
    } _carry;
};

} // namespace tx
