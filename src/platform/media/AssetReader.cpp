#include "AssetReader.h"

#include "platform/foundation/Translation.h"

#include "FFmpeg.h"
#include "PictureSpill.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>

namespace tx {

namespace {

// AAC decodes its first frame after a seek wrongly: start this much earlier and drop it.
constexpr double kSoundPrerollSeconds = 0.1;
// A window is decoded ahead, while the one after it is used, when its keyframe is at most this
// far before it.
constexpr double kReadAheadKeyframeSeconds = 2.0;
// Pictures a window decoded ahead may hold beyond its own count, while the window before it is
// still being used.
constexpr int kReadAheadSlackPictures = 4;
// Reading backwards, the pictures decoded on the way to a window are carried over to the window
// before it, up to this much, so that they are not decoded again.
constexpr double kCarryBudgetBytes = 64.0 * 1024 * 1024;

// The keyframe at or before `ts` (stream ticks), from the packet scan; null when none.
const AssetTrack::PacketInfo* keyframeAtOrBefore(const AssetTrack& track, std::int64_t ts) {
    const AssetTrack::PacketInfo* key = nullptr;
    for (const auto& p : track.packets()) {
        if (p.keyframe && p.pts <= ts && (key == nullptr || p.pts > key->pts)) {
            key = &p;
        }
    }
    return key;
}

// Bytes of one second of the track's pictures as NV12.
double pictureBytesPerSecond(const AssetTrack& track) {
    const double rate = track.nominalFrameRate() > 0 ? track.nominalFrameRate() : 30.0;
    return 1.5 * track.naturalSize().width * track.naturalSize().height * rate;
}

bool isFullRange(const AVFrame* frame) {
    return frame->color_range == AVCOL_RANGE_JPEG || frame->format == AV_PIX_FMT_YUVJ420P ||
           frame->format == AV_PIX_FMT_YUVJ422P || frame->format == AV_PIX_FMT_YUVJ444P;
}

// Whether the pictures in [startTs, endTs) are best decoded ahead on a thread of their own: their
// keyframe is near enough that decoding from it costs little more than the window itself.
// Windows further from their keyframe go through the kept pictures instead.
bool readsAhead(const AssetTrack& track, std::int64_t startTs, std::int64_t endTs) {
    const AVRational tb{track.timeBaseNum(), track.timeBaseDen()};
    if (endTs <= startTs) {
        return false;
    }
    const AssetTrack::PacketInfo* key = keyframeAtOrBefore(track, startTs);
    return key != nullptr &&
           static_cast<double>(startTs - key->pts) * av_q2d(tb) <= kReadAheadKeyframeSeconds;
}

// Where the latest pictures before `endTs` that fit in `budgetBytes` begin, from the keyframe at
// `keyPts` on.
std::int64_t latestWithin(const AssetTrack& track, std::int64_t keyPts, std::int64_t endTs,
                          double budgetBytes) {
    const AVRational tb{track.timeBaseNum(), track.timeBaseDen()};
    const double seconds = budgetBytes / pictureBytesPerSecond(track);
    return std::max(keyPts, endTs - static_cast<std::int64_t>(seconds / av_q2d(tb)));
}

int picturesIn(const AssetTrack& track, std::int64_t startTs, std::int64_t endTs) {
    return static_cast<int>(
        std::count_if(track.packets().begin(), track.packets().end(),
                      [&](const auto& p) { return p.pts >= startTs && p.pts < endTs; }));
}

} // namespace

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

    void take(bool wait) {
        std::unique_lock lock(mutex);
        if (wait) {
            freed.wait(lock, [this] { return lifted || live < capacity; });
        }
        peak = std::max(peak, ++live);
    }
    int mostHeld() {
        std::lock_guard lock(mutex);
        return peak;
    }
    void give() {
        {
            std::lock_guard lock(mutex);
            --live;
        }
        freed.notify_all();
    }
    void setCapacity(int pictures) {
        std::lock_guard lock(mutex);
        capacity = pictures;
        lifted = false;
    }
    void lift() {
        {
            std::lock_guard lock(mutex);
            lifted = true;
        }
        freed.notify_all();
    }
};

namespace {

// Counts `picture` against `budget` until the picture is freed, wherever that happens.
void chargePicture(AVFrame* picture, const std::shared_ptr<PictureBudget>& budget, bool wait) {
    budget->take(wait);
    auto* holder = new std::shared_ptr<PictureBudget>(budget);
    av_buffer_unref(&picture->opaque_ref);
    picture->opaque_ref = av_buffer_create(
        reinterpret_cast<std::uint8_t*>(holder), sizeof *holder,
        [](void*, std::uint8_t* data) {
            auto* owner = reinterpret_cast<std::shared_ptr<PictureBudget>*>(data);
            (*owner)->give();
            delete owner;
        },
        nullptr, 0);
    if (picture->opaque_ref == nullptr) {
        budget->give();
        delete holder;
    }
}

} // namespace

struct AssetReaderTrackOutput::Impl {
    ff::FormatInputPtr format;
    ff::CodecContextPtr decoder;
    AVStream* stream = nullptr;
    bool video = false;
    std::int64_t startTs = 0;
    std::int64_t endTs = std::numeric_limits<std::int64_t>::max();
    bool sentEndOfInput = false;
    bool done = false;
    ff::PacketPtr packet = ff::makePacket();
    ff::SwsPtr sws;
    ff::SwrPtr swr;
    AudioFormatDescriptionPtr soundFormat;
    int swrSourceChannels = 0;
    // Sound with more channels is folded down to this many (0: as many as the source has).
    int maxChannels = 0;
    std::string path;
    // Pictures kept from an earlier read (see PictureSpill).
    std::shared_ptr<PictureSpill> spill;
    bool fromSpill = false;
    std::size_t spillIndex = 0;
    bool spilling = false;
    std::int64_t spillFrom = 0;
    AVRational spillTimeBase{1, 1};
    const AssetTrack* track = nullptr;
    BackwardReadState* state = nullptr;
    // The next read of the track ends where this one begins, at followingStartTs.
    bool backwards = false;
    std::int64_t followingStartTs = 0;
    // What the pictures handed out count against; waited for when reading ahead.
    std::shared_ptr<PictureBudget> budget;
    bool waitsForRoom = false;
    // Set from the caller's thread when what is decoded ahead is no longer wanted.
    const std::atomic<bool>* abandoned = nullptr;
    // When the caller wants its thread back, if it asked; whether the last read ran out of time.
    std::optional<std::chrono::steady_clock::time_point> deadline;
    bool timedOut = false;
    // Pictures decoded ahead for this very window.
    std::vector<SampleBufferPtr> ahead;
    std::size_t aheadIndex = 0;
    bool fromAhead = false;
    // After a seek to a keyframe, packets before it (by decoding time) are not decoded: some
    // containers land a whole group of pictures early.
    std::int64_t firstDts = AV_NOPTS_VALUE;
    // Pictures this read had decoded, counted into the track's read counts at its end.
    int picturesDecoded = 0;
    // Reading backwards: the pictures in [carryFrom, startTs), decoded on the way to this
    // window, are kept for the window before it (carried out) ...
    bool carrying = false;
    std::int64_t carryFrom = 0;
    std::vector<SampleBufferPtr> carryOut;
    // ... which, given them (carried in), decodes only up to where they begin.
    std::vector<SampleBufferPtr> carryIn;
    std::size_t carryInIndex = 0;
    std::int64_t decodeEndTs = std::numeric_limits<std::int64_t>::max();
    bool decodeDone = false;

    ~Impl();

    // With `readingAhead` the read touches no state shared with the main thread's reads.
    bool open(const AssetTrack& track, const TimeRange& range, const TimeRange& following,
              ErrorPtr* error, bool readingAhead = false);
    // The next sample of the range; nothing at its end (`error` set on a failure).
    SampleBufferPtr next(ErrorPtr& error);
    SampleBufferPtr nextDecoded(ErrorPtr& error);
    // Keeps the pictures decoded on the way to this window, from `keyPts` on, for the window
    // before it, as many as the budget allows.
    void planCarry(const AssetTrack& track, std::int64_t keyPts);
    // Starts decoding the window before this one on a thread of its own, when that pays.
    void readAheadNextWindow();
    // Starts decoding and keeping the group of pictures before the kept ones on a thread of its
    // own, when the windows there are far from their keyframe.
    void keepEarlierGroupAhead();
    // 0: a frame, AVERROR_EOF: end of range, other negative: failure.
    int nextFrame(AVFrame* frame);
    SampleBufferPtr makePicture(AVFrame* frame, ErrorPtr* error);
    // The picture as NV12, taking over `frame`'s data; null on failure.
    OwnedFrame toNV12(AVFrame* frame, ErrorPtr* error);
    void planSpill(const AssetTrack& track, std::int64_t keyPts);
    SampleBufferPtr nextFromSpill();
    SampleBufferPtr makeSound(AVFrame* frame, ErrorPtr* error);
};

struct PictureReadAhead {
    std::int64_t startTs = 0;
    std::int64_t endTs = 0;
    std::unique_ptr<AssetReaderTrackOutput::Impl> impl;
    // A window's pictures; or, for a group kept ahead, the pictures kept in [startTs, endTs).
    std::vector<SampleBufferPtr> samples;
    std::shared_ptr<PictureSpill> kept;
    bool keptAll = false;
    ErrorPtr error;
    std::atomic<bool> abandoned{false};
    std::thread worker;

    ~PictureReadAhead() {
        abandoned = true;
        finish();
    }
    // Waits for the window; the budget is lifted so that it completes whatever is still held.
    void finish() {
        if (impl && impl->budget) {
            impl->budget->lift();
        }
        if (worker.joinable()) {
            worker.join();
        }
    }
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
};

BackwardReadState& AssetTrack::backwardReadState() const {
    if (!_backwardReadState) {
        _backwardReadState = std::make_shared<BackwardReadState>();
    }
    return *_backwardReadState;
}

AssetReaderTrackOutput::Impl::~Impl() {
    if (track != nullptr) {
        track->readCounts().picturesDecoded += picturesDecoded;
        if (budget) {
            int& most = track->readCounts().mostPicturesHeld;
            most = std::max(most, budget->mostHeld());
        }
    }
    // Windows are read one after another with a fresh reader each: hand the decoder on instead
    // of building a new one (and all its picture memory) every time.
    if (decoder && state != nullptr) {
        avcodec_flush_buffers(decoder.get());
        state->idleDecoder = std::move(decoder);
    }
}

void AssetReaderTrackOutput::Impl::planSpill(const AssetTrack& track, std::int64_t keyPts) {
    const AVRational tb{track.timeBaseNum(), track.timeBaseDen()};
    if ((startTs - keyPts) * av_q2d(tb) < PictureSpill::kMinimumSeconds) {
        return;
    }
    spill = state->keptPictures;
    if (!spill) {
        spill = state->keptPictures = std::make_shared<PictureSpill>();
    }
    // Keep the latest pictures before the window that fit the budget.
    spillFrom = latestWithin(track, keyPts, startTs, PictureSpill::kBudgetBytes);
    spilling = spill->reset(spillFrom);
}

SampleBufferPtr AssetReaderTrackOutput::Impl::nextFromSpill() {
    if (spillIndex >= spill->entries.size() || spill->entries[spillIndex].pts >= endTs) {
        return nullptr;
    }
    OwnedFrame frame = spill->load(spillIndex++);
    if (!frame) {
        return nullptr;
    }
    if (budget) {
        chargePicture(frame.get(), budget, false);
    }
    const AVRational tb = {spillTimeBase.num, spillTimeBase.den};
    const MediaTime time = ff::timeFromStream(frame->best_effort_timestamp, tb);
    const MediaTime duration = frame->pkt_duration > 0 ? ff::timeFromStream(frame->pkt_duration, tb)
                                                       : MediaTime::invalid();
    return SampleBuffer::createPicture(PixelBuffer::wrap(std::move(frame), kPixelFormat420v), time,
                                       duration);
}

void AssetReaderTrackOutput::Impl::planCarry(const AssetTrack& t, std::int64_t keyPts) {
    carrying = true;
    carryFrom = latestWithin(t, keyPts, startTs, kCarryBudgetBytes);
}

void AssetReaderTrackOutput::Impl::readAheadNextWindow() {
    if (!video || !backwards || track == nullptr || followingStartTs >= startTs ||
        !readsAhead(*track, followingStartTs, startTs)) {
        return;
    }
    const AssetTrack& t = *track;
    const AVRational tb{t.timeBaseNum(), t.timeBaseDen()};
    auto ahead = std::make_shared<PictureReadAhead>();
    ahead->impl = std::make_unique<Impl>();
    Impl& reader = *ahead->impl;
    reader.path = path;
    // What this read carries covers [carryFrom, startTs): the window before it decodes only
    // up to there, and what lies before that window is carried on again.
    const bool carried = carrying && !carryOut.empty();
    const std::int64_t decodeEnd = carried ? carryFrom : startTs;
    if (carried) {
        for (SampleBufferPtr& sample : carryOut) {
            const std::int64_t pts = ff::streamTickAtOrAfter(sample->presentationTime(), tb);
            (pts < followingStartTs ? reader.carryOut : reader.carryIn)
                .push_back(std::move(sample));
        }
        carryOut.clear();
    }
    const AssetTrack::PacketInfo* key = keyframeAtOrBefore(t, followingStartTs);
    reader.startTs = followingStartTs;
    if (decodeEnd > followingStartTs) {
        const MediaTime from = ff::timeFromStream(followingStartTs, tb);
        ErrorPtr error;
        if (!reader.open(t, TimeRange::make(from, ff::timeFromStream(decodeEnd, tb) - from),
                         TimeRange{MediaTime::invalid(), MediaTime::invalid()}, &error, true)) {
            return;
        }
        reader.startTs = followingStartTs; // open() set it from the range
        if (key != nullptr) {
            reader.planCarry(t, key->pts);
        }
    } else {
        // Everything of the window was carried: nothing to decode, and what lies before it
        // is carried on.
        reader.video = true;
        reader.track = &t;
        reader.state = state;
        reader.decodeDone = true;
        reader.carrying = true;
        reader.carryFrom = carryFrom;
    }
    reader.endTs = startTs;
    reader.decodeEndTs = decodeEnd;
    reader.budget = budget;
    reader.waitsForRoom = true;
    ahead->startTs = followingStartTs;
    ahead->endTs = startTs;
    if (budget) {
        const std::int64_t from =
            key != nullptr ? std::min(key->pts, followingStartTs) : followingStartTs;
        budget->setCapacity(picturesIn(t, from, startTs) + kReadAheadSlackPictures);
    }
    PictureReadAhead* job = ahead.get();
    job->worker = std::thread([job]() {
        while (SampleBufferPtr sample = job->impl->next(job->error)) {
            job->samples.push_back(std::move(sample));
            if (job->abandoned) {
                break;
            }
        }
    });
    state->ahead = std::move(ahead);
}

void AssetReaderTrackOutput::Impl::keepEarlierGroupAhead() {
    if (!backwards || state == nullptr || state->ahead || !spill) {
        return;
    }
    const AssetTrack& t = *track;
    const AVRational tb{t.timeBaseNum(), t.timeBaseDen()};
    const std::int64_t until = spill->coveredStart;
    const AssetTrack::PacketInfo* key = keyframeAtOrBefore(t, until - 1);
    if (key == nullptr ||
        static_cast<double>(until - key->pts) * av_q2d(tb) <= kReadAheadKeyframeSeconds) {
        return; // nothing before, or windows there are decoded ahead from their keyframe
    }
    auto group = std::make_shared<PictureReadAhead>();
    group->impl = std::make_unique<Impl>();
    Impl& reader = *group->impl;
    reader.path = path;
    // Opened for the tick before the kept pictures, so that it starts at that tick's keyframe;
    // then it keeps everything up to them and hands out nothing.
    const MediaTime last = ff::timeFromStream(until - 1, tb);
    ErrorPtr error;
    if (!reader.open(t, TimeRange::make(last, ff::timeFromStream(until, tb) - last),
                     TimeRange{MediaTime::invalid(), MediaTime::invalid()}, &error, true)) {
        return;
    }
    reader.startTs = until;
    reader.endTs = until;
    reader.abandoned = &group->abandoned;
    reader.spill = group->kept = std::make_shared<PictureSpill>();
    reader.spillFrom = latestWithin(t, key->pts, until, PictureSpill::kBudgetBytes);
    reader.spilling = reader.spill->reset(reader.spillFrom);
    if (!reader.spilling) {
        return;
    }
    group->startTs = reader.spillFrom;
    group->endTs = until;
    PictureReadAhead* job = group.get();
    job->worker = std::thread([job]() {
        Impl& r = *job->impl;
        while (r.next(job->error)) {
        }
        if (!job->error && !job->abandoned && r.spilling) {
            r.spill->markCoveredUntil(job->endTs);
            job->keptAll = true;
        }
    });
    state->ahead = std::move(group);
}

bool AssetReaderTrackOutput::Impl::open(const AssetTrack& track, const TimeRange& range,
                                        const TimeRange& following, ErrorPtr* error,
                                        bool readingAhead) {
    video = track.mediaType() == kMediaTypeVideo;
    const AVRational tb{track.timeBaseNum(), track.timeBaseDen()};
    spillTimeBase = tb;
    if (video) {
        // Pictures whose time lies in [start, end): ranges that meet share no picture.
        startTs = ff::streamTickAtOrAfter(range.start, tb);
        if (range.duration.isNumeric()) {
            endTs = ff::streamTickAtOrAfter(range.end(), tb);
        }
    } else {
        // Sound buffers that overlap the range.
        startTs = ff::streamFromTime(range.start, tb);
        if (range.duration.isNumeric()) {
            endTs = ff::streamTickAtOrAfter(range.end(), tb);
        }
    }
    if (video && following.isValid() && following.duration.isNumeric() &&
        ff::streamTickAtOrAfter(following.end(), tb) == startTs) {
        backwards = true;
        followingStartTs = ff::streamTickAtOrAfter(following.start, tb);
    }
    this->track = &track;
    state = &track.backwardReadState();
    if (video && !readingAhead) {
        budget = state->budget;
        std::shared_ptr<PictureReadAhead>& pending = state->ahead;
        std::shared_ptr<PictureSpill>& kept = state->keptPictures;
        if (pending && pending->kept && kept && !kept->covers(startTs, endTs)) {
            // The window reaches into the group kept ahead: join it to the kept pictures.
            const std::shared_ptr<PictureReadAhead> group = std::move(pending);
            group->finish();
            if (group->keptAll && group->endTs == kept->coveredStart) {
                kept->prepend(*group->kept, endTs);
                ++track.readCounts().groupsKeptAhead;
            }
        }
        if (pending && !pending->kept) {
            const std::shared_ptr<PictureReadAhead> ready = std::move(pending);
            ready->finish();
            if (ready->startTs == startTs && ready->endTs == endTs && !ready->error) {
                ahead = std::move(ready->samples);
                fromAhead = true;
                carrying = ready->impl->carrying;
                carryFrom = ready->impl->carryFrom;
                carryOut = std::move(ready->impl->carryOut);
                ++track.readCounts().decodedAhead;
                return true;
            }
        }
        if (kept && kept->covers(startTs, endTs)) {
            spill = kept;
            fromSpill = true;
            spillIndex = spill->firstAtOrAfter(startTs);
            ++track.readCounts().fromKeptPictures;
            keepEarlierGroupAhead();
            return true;
        }
    }
    format = ff::openInput(path, error);
    if (!format) {
        return false;
    }
    if (track.streamIndex() < 0 ||
        static_cast<unsigned>(track.streamIndex()) >= format->nb_streams) {
        *error = Error::make(kMediaErrorDomain, 0, path + ": the track is gone");
        return false;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        if (static_cast<int>(i) != track.streamIndex()) {
            format->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    stream = format->streams[track.streamIndex()];
    if (state->idleDecoder) {
        decoder = std::move(state->idleDecoder);
    }
    if (!decoder) {
        decoder = ff::openDecoder(stream, error, path);
    }
    if (!decoder) {
        return false;
    }
    std::int64_t seekTo = AV_NOPTS_VALUE;
    if (video) {
        // The keyframe at or before the range start, from the packet scan where there is one.
        const auto& packets = track.packets();
        const AssetTrack::PacketInfo* key = keyframeAtOrBefore(track, startTs);
        if (key != nullptr && key != &packets.front()) {
            seekTo = key->dts;
            firstDts = key->dts;
        } else if (packets.empty() && startTs > 0) {
            seekTo = startTs;
        }
        if (!readingAhead) {
            ++track.readCounts().decodedFromKeyframe;
            if (key != nullptr && backwards && !readsAhead(track, followingStartTs, startTs)) {
                planSpill(track, key->pts);
            } else if (key != nullptr && backwards) {
                planCarry(track, key->pts);
            }
        }
    } else {
        const std::int64_t preroll = av_rescale_q(
            static_cast<std::int64_t>(kSoundPrerollSeconds * 1000000), AVRational{1, 1000000}, tb);
        if (startTs - preroll > 0) {
            seekTo = startTs - preroll;
        }
    }
    if (seekTo != AV_NOPTS_VALUE) {
        const int ret = av_seek_frame(format.get(), stream->index, seekTo, AVSEEK_FLAG_BACKWARD);
        if (ret < 0) {
            *error = ff::makeError(kMediaErrorDomain, "cannot seek", path, ret);
            return false;
        }
    }
    return true;
}

int AssetReaderTrackOutput::Impl::nextFrame(AVFrame* frame) {
    for (;;) {
        int ret = avcodec_receive_frame(decoder.get(), frame);
        if (ret == 0) {
            return 0;
        }
        if (ret == AVERROR_EOF) {
            return AVERROR_EOF;
        }
        if (ret != AVERROR(EAGAIN)) {
            return ret;
        }
        if (sentEndOfInput) {
            return AVERROR_EOF;
        }
        // Feed the decoder the next packet of our stream.
        for (;;) {
            ret = av_read_frame(format.get(), packet.get());
            if (ret < 0) {
                // End of file, or a cut-off file: drain what the decoder holds.
                avcodec_send_packet(decoder.get(), nullptr);
                sentEndOfInput = true;
                break;
            }
            if (packet->stream_index != stream->index) {
                av_packet_unref(packet.get());
                continue;
            }
            if (firstDts != AV_NOPTS_VALUE) {
                // QuickTime seeks by a time that is not the decoding time when pictures are
                // reordered, and lands one keyframe too early: skip up to the one wanted.
                if (packet->dts != AV_NOPTS_VALUE && packet->dts < firstDts) {
                    av_packet_unref(packet.get());
                    continue;
                }
                firstDts = AV_NOPTS_VALUE;
            }
            ret = avcodec_send_packet(decoder.get(), packet.get());
            av_packet_unref(packet.get());
            if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_INVALIDDATA) {
                return ret;
            }
            break;
        }
    }
}

SampleBufferPtr AssetReaderTrackOutput::Impl::makePicture(AVFrame* frame, ErrorPtr* error) {
    const AVRational tb = stream->time_base;
    const MediaTime time = ff::timeFromStream(frame->best_effort_timestamp, tb);
    const MediaTime duration = frame->pkt_duration > 0 ? ff::timeFromStream(frame->pkt_duration, tb)
                                                       : MediaTime::invalid();
    OwnedFrame picture = toNV12(frame, error);
    if (!picture) {
        return nullptr;
    }
    if (budget) {
        chargePicture(picture.get(), budget, waitsForRoom);
    }
    return SampleBuffer::createPicture(PixelBuffer::wrap(std::move(picture), kPixelFormat420v),
                                       time, duration);
}

OwnedFrame AssetReaderTrackOutput::Impl::toNV12(AVFrame* frame, ErrorPtr* error) {
    if (frame->format == AV_PIX_FMT_NV12) {
        OwnedFrame owned(av_frame_alloc());
        av_frame_move_ref(owned.get(), frame);
        return owned;
    }
    // The values keep their range; the movie written from them says which it is.
    OwnedFrame converted = ff::allocNV12(frame->width, frame->height);
    const int ret = converted ? ff::scalePicture(sws, ff::pictureOf(frame), converted->data,
                                                 converted->linesize, frame->width, frame->height,
                                                 AV_PIX_FMT_NV12, SWS_BILINEAR, isFullRange(frame))
                              : AVERROR(ENOMEM);
    if (ret < 0) {
        *error = ff::makeError(kMediaErrorDomain, "cannot convert a picture to NV12", path, ret);
        return nullptr;
    }
    av_frame_copy_props(converted.get(), frame);
    av_frame_unref(frame);
    return converted;
}

SampleBufferPtr AssetReaderTrackOutput::Impl::makeSound(AVFrame* frame, ErrorPtr* error) {
    const int sourceChannels = frame->ch_layout.nb_channels;
    const int rate = frame->sample_rate;
    if (sourceChannels <= 0 || rate <= 0) {
        *error = Error::make(kMediaErrorDomain, 0, path + ": sound without channels or rate");
        return nullptr;
    }
    const int channels = maxChannels > 0 ? std::min(sourceChannels, maxChannels) : sourceChannels;
    if (!soundFormat ||
        soundFormat->streamDescription().channelsPerFrame != static_cast<std::uint32_t>(channels) ||
        soundFormat->streamDescription().sampleRate != rate ||
        swrSourceChannels != sourceChannels) {
        const auto count = static_cast<std::uint32_t>(channels);
        soundFormat = AudioFormatDescription::create(linearPCM16Description(rate, count),
                                                     layoutTagForChannels(count));
        AVChannelLayout outLayout{};
        if (channels == sourceChannels) {
            av_channel_layout_copy(&outLayout, &frame->ch_layout);
        } else {
            av_channel_layout_default(&outLayout, channels);
        }
        int ret = 0;
        swr = ff::makeResampler(outLayout, AV_SAMPLE_FMT_S16, rate, frame->ch_layout,
                                static_cast<AVSampleFormat>(frame->format), rate, ret);
        av_channel_layout_uninit(&outLayout);
        swrSourceChannels = sourceChannels;
        if (ret < 0) {
            *error = ff::makeError(kMediaErrorDomain, "cannot convert the sound", path, ret);
            return nullptr;
        }
    }
    const std::size_t bytes = static_cast<std::size_t>(frame->nb_samples) * 2 * channels;
    auto* memory = static_cast<std::uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
    std::uint8_t* out[1] = {memory};
    const int got =
        swr_convert(swr.get(), out, frame->nb_samples,
                    const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (got < 0) {
        std::free(memory);
        *error = ff::makeError(kMediaErrorDomain, "cannot convert the sound", path, got);
        return nullptr;
    }
    const MediaTime time = ff::timeFromStream(frame->best_effort_timestamp, stream->time_base);
    auto block = DataBlock::createWithMemory(memory, static_cast<std::size_t>(got) * 2 * channels);
    return SampleBuffer::createAudio(block, true, soundFormat, got, time);
}

std::shared_ptr<AssetReaderTrackOutput>
AssetReaderTrackOutput::create(AssetTrackPtr track, MediaSettings outputSettings) {
    if (!track) {
        return nullptr;
    }
    auto output = std::make_shared<AssetReaderTrackOutput>();
    output->_track = std::move(track);
    output->_settings = std::move(outputSettings);
    return output;
}

AssetReaderTrackOutput::~AssetReaderTrackOutput() = default;

SampleBufferPtr
AssetReaderTrackOutput::copyNextSampleBuffer(std::chrono::steady_clock::time_point deadline) {
    if (!_impl) {
        return copyNextSampleBuffer();
    }
    _impl->deadline = deadline;
    SampleBufferPtr sample = copyNextSampleBuffer();
    _impl->deadline.reset();
    return sample;
}

bool AssetReaderTrackOutput::timedOut() const {
    return _impl && _impl->timedOut;
}

SampleBufferPtr AssetReaderTrackOutput::copyNextSampleBuffer() {
    auto reader = _reader.lock();
    if (_impl) {
        _impl->timedOut = false;
    }
    if (!reader || reader->status() != AssetReaderStatus::Reading || !_impl || _impl->done) {
        return nullptr;
    }
    Impl& impl = *_impl;
    if (impl.fromSpill) {
        SampleBufferPtr sample = impl.nextFromSpill();
        if (!sample) {
            impl.done = true;
            reader->outputFinished(nullptr);
        }
        return sample;
    }
    if (impl.fromAhead) {
        if (impl.aheadIndex < impl.ahead.size()) {
            return std::move(impl.ahead[impl.aheadIndex++]);
        }
        impl.done = true;
        reader->outputFinished(nullptr);
        impl.readAheadNextWindow();
        return nullptr;
    }
    ErrorPtr error;
    SampleBufferPtr sample = impl.next(error);
    if (!sample && impl.timedOut) {
        return nullptr; // on from here at the next call
    }
    if (!sample) {
        impl.done = true;
        reader->outputFinished(error);
        if (!error) {
            impl.readAheadNextWindow();
        }
    }
    return sample;
}

SampleBufferPtr AssetReaderTrackOutput::Impl::next(ErrorPtr& error) {
    if (!decodeDone) {
        SampleBufferPtr sample = nextDecoded(error);
        if (sample || error || timedOut) {
            return sample;
        }
        decodeDone = true;
    }
    // After the decoded pictures, those carried in from the read after this one.
    if (carryInIndex < carryIn.size()) {
        return std::move(carryIn[carryInIndex++]);
    }
    return nullptr;
}

SampleBufferPtr AssetReaderTrackOutput::Impl::nextDecoded(ErrorPtr& error) {
    Impl& impl = *this;
    ff::UniqueFramePtr frame(av_frame_alloc());
    // Every call decodes at least one picture before it looks at the deadline: a caller whose
    // turns are short still gets on.
    for (bool first = true;; first = false) {
        if (impl.abandoned != nullptr && *impl.abandoned) {
            return nullptr;
        }
        if (!first && impl.deadline && std::chrono::steady_clock::now() >= *impl.deadline) {
            impl.timedOut = true;
            return nullptr;
        }
        const int ret = impl.nextFrame(frame.get());
        if (ret == AVERROR_EOF) {
            return nullptr;
        }
        if (ret < 0) {
            error = ff::makeError(kMediaErrorDomain, _("cannot decode"), impl.path, ret);
            return nullptr;
        }
        if (impl.video) {
            ++impl.picturesDecoded;
        }
        std::int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) {
            pts = frame->pts;
        }
        frame->best_effort_timestamp = pts;
        if (pts == AV_NOPTS_VALUE) {
            av_frame_unref(frame.get());
            continue;
        }
        if (pts >= impl.endTs || pts >= impl.decodeEndTs) {
            return nullptr;
        }
        bool before = pts < impl.startTs;
        if (before && impl.carrying && pts >= impl.carryFrom) {
            SampleBufferPtr picture = impl.makePicture(frame.get(), &error);
            if (!picture) {
                return nullptr;
            }
            impl.carryOut.push_back(std::move(picture));
            continue;
        }
        if (impl.spilling && !before) {
            impl.spill->markCoveredUntil(impl.startTs);
            impl.spilling = false;
        }
        if (impl.spilling && before && pts >= impl.spillFrom) {
            ErrorPtr ignored;
            const OwnedFrame picture = impl.toNV12(frame.get(), &ignored);
            if (!picture || !impl.spill->append(picture.get())) {
                // No room to keep them: the earlier windows are decoded again instead.
                impl.spilling = false;
                impl.spill->entries.clear();
            }
            av_frame_unref(frame.get());
            continue;
        }
        if (!impl.video && before) {
            // A sound buffer that reaches into the range is delivered whole.
            const std::int64_t length = av_rescale_q(
                frame->nb_samples, AVRational{1, frame->sample_rate}, impl.stream->time_base);
            before = pts + length <= impl.startTs;
        }
        if (before) {
            av_frame_unref(frame.get());
            continue;
        }
        return impl.video ? impl.makePicture(frame.get(), &error)
                          : impl.makeSound(frame.get(), &error);
    }
}

std::shared_ptr<AssetReader> AssetReader::create(AssetPtr asset, ErrorPtr* error) {
    if (!asset) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, "no asset to read");
        }
        return nullptr;
    }
    auto reader = std::make_shared<AssetReader>();
    reader->_asset = std::move(asset);
    return reader;
}

bool AssetReader::canAddOutput(const AssetReaderTrackOutputPtr& output) const {
    if (!output || _status != AssetReaderStatus::Unknown || !output->_reader.expired()) {
        return false;
    }
    const auto owner = output->track()->asset();
    return owner == _asset;
}

void AssetReader::addOutput(const AssetReaderTrackOutputPtr& output) {
    if (!canAddOutput(output)) {
        return;
    }
    output->_reader = std::static_pointer_cast<AssetReader>(shared_from_this());
    _outputs.push_back(output);
}

bool AssetReader::startReading() {
    if (_status != AssetReaderStatus::Unknown) {
        return false;
    }
    if (_outputs.empty()) {
        _status = AssetReaderStatus::Failed;
        _error = Error::make(kMediaErrorDomain, 0, _asset->path() + ": nothing to read");
        return false;
    }
    for (const auto& output : _outputs) {
        output->_impl = std::make_unique<AssetReaderTrackOutput::Impl>();
        output->_impl->path = _asset->path();
        if (const PlistValue* channels = output->_settings.find(kNumberOfChannelsKey);
            channels != nullptr && channels->type() == PlistValue::Type::Integer) {
            output->_impl->maxChannels = static_cast<int>(channels->asInteger());
        }
        ErrorPtr error;
        if (!output->_impl->open(*output->track(), _timeRange, _followingRange, &error)) {
            output->_impl.reset();
            _status = AssetReaderStatus::Failed;
            _error = error;
            return false;
        }
    }
    _status = AssetReaderStatus::Reading;
    return true;
}

void AssetReader::cancelReading() {
    if (_status == AssetReaderStatus::Reading || _status == AssetReaderStatus::Unknown) {
        _status = AssetReaderStatus::Cancelled;
    }
    for (const auto& output : _outputs) {
        output->_impl.reset();
    }
}

void AssetReader::outputFinished(const ErrorPtr& error) {
    if (_status != AssetReaderStatus::Reading) {
        return;
    }
    if (error) {
        _status = AssetReaderStatus::Failed;
        _error = error;
        return;
    }
    if (++_finishedOutputs >= _outputs.size()) {
        _status = AssetReaderStatus::Completed;
    }
}

} // namespace tx
