#include "BackwardPictureSource.h"

#include "LeftBehind.h"

#include <algorithm>

namespace tx {

namespace {

// A window is decoded ahead, while the one after it is used, when its keyframe is at most this
// far before it.
constexpr double kReadAheadKeyframeSeconds = 2.0;
// Pictures a window decoded ahead may hold beyond its own count, while the window before it is
// still being used.
constexpr int kReadAheadSlackPictures = 4;
// Reading backwards, the pictures decoded on the way to a window are carried over to the window
// before it, up to this much, so that they are not decoded again.
constexpr double kCarryBudgetBytes = 64.0 * 1024 * 1024;

// Bytes of one second of the track's pictures as NV12.
double pictureBytesPerSecond(const AssetTrack& track) {
    const double rate = track.nominalFrameRate() > 0 ? track.nominalFrameRate() : 30.0;
    return 1.5 * track.naturalSize().width * track.naturalSize().height * rate;
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

const TimeRange kNoRange{MediaTime::invalid(), MediaTime::invalid()};

} // namespace

// ---- PictureBudget ---------------------------------------------------------------------------

void PictureBudget::take(bool wait) {
    std::unique_lock lock(mutex);
    if (wait) {
        freed.wait(lock, [this] { return lifted || live < capacity; });
    }
    peak = std::max(peak, ++live);
}

int PictureBudget::mostHeld() {
    std::lock_guard lock(mutex);
    return peak;
}

void PictureBudget::give() {
    {
        std::lock_guard lock(mutex);
        --live;
    }
    freed.notify_all();
}

void PictureBudget::setCapacity(int pictures) {
    std::lock_guard lock(mutex);
    capacity = pictures;
    lifted = false;
}

void PictureBudget::lift() {
    {
        std::lock_guard lock(mutex);
        lifted = true;
    }
    freed.notify_all();
}

// ---- PictureReadAhead ------------------------------------------------------------------------

PictureReadAhead::~PictureReadAhead() {
    // Only reached with the worker done, joined or handed over: it holds the job while it runs.
    if (worker.joinable()) {
        abandoned = true;
        leftBehind::join(std::move(worker));
    }
}

bool PictureReadAhead::waitUntilDone(
    const std::optional<std::chrono::steady_clock::time_point>& deadline) {
    std::unique_lock lock(mutex);
    if (deadline) {
        return changed.wait_until(lock, *deadline, [this] { return done; });
    }
    changed.wait(lock, [this] { return done; });
    return true;
}

SampleBufferPtr
PictureReadAhead::take(std::size_t index,
                       const std::optional<std::chrono::steady_clock::time_point>& deadline,
                       bool& timedOut) {
    std::unique_lock lock(mutex);
    const auto ready = [&] { return index < samples.size() || done; };
    if (deadline) {
        if (!changed.wait_until(lock, *deadline, ready)) {
            timedOut = true;
            return nullptr;
        }
    } else {
        changed.wait(lock, ready);
    }
    return index < samples.size() ? std::move(samples[index]) : nullptr;
}

void PictureReadAhead::markDone() {
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    changed.notify_all();
}

void PictureReadAhead::abandon() {
    abandoned = true;
    if (source && source->_budget) {
        source->_budget->lift();
    }
    if (worker.joinable()) {
        leftBehind::join(std::move(worker));
    }
}

void PictureReadAhead::finish() {
    if (source && source->_budget) {
        source->_budget->lift();
    }
    if (worker.joinable()) {
        worker.join();
    }
}

BackwardReadState::~BackwardReadState() {
    if (ahead) {
        ahead->abandon();
    }
}

void BackwardReadState::replaceAhead(std::shared_ptr<PictureReadAhead> next) {
    if (ahead) {
        ahead->abandon();
    }
    ahead = std::move(next);
}

BackwardReadState& AssetTrack::backwardReadState() const {
    if (!_backwardReadState) {
        _backwardReadState = std::make_shared<BackwardReadState>();
    }
    return *_backwardReadState;
}

// ---- BackwardPictureSource -------------------------------------------------------------------

BackwardPictureSource::BackwardPictureSource(std::string path, const AssetTrack& track)
    : _path(std::move(path)), _track(track),
      _state(track.backwardReadState()), _timeBase{track.timeBaseNum(), track.timeBaseDen()} {}

BackwardPictureSource::~BackwardPictureSource() {
    // A read given up before its end gives up the decoding it was waiting for, too.
    for (const std::shared_ptr<PictureReadAhead>& job : {_awaitedGroup, _ahead.job}) {
        if (job && job->worker.joinable()) {
            job->abandon();
        }
    }
    if (_budget && !(_abandoned != nullptr && *_abandoned)) {
        int& most = _track.readCounts().mostPicturesHeld;
        most = std::max(most, _budget->mostHeld());
    }
}

void BackwardPictureSource::setDeadline(
    std::optional<std::chrono::steady_clock::time_point> deadline) {
    _deadline = deadline;
    if (_decoder) {
        _decoder->setDeadline(deadline);
    }
}

void BackwardPictureSource::clearTimedOut() {
    _waitTimedOut = false;
    if (_decoder) {
        _decoder->clearTimedOut();
    }
}

bool BackwardPictureSource::open(const TimeRange& range, const TimeRange& following,
                                 ErrorPtr* error) {
    // Pictures whose time lies in [start, end): ranges that meet share no picture.
    _startTs = ff::streamTickAtOrAfter(range.start, _timeBase);
    if (range.duration.isNumeric()) {
        _endTs = ff::streamTickAtOrAfter(range.end(), _timeBase);
    }
    if (following.isValid() && following.duration.isNumeric() &&
        ff::streamTickAtOrAfter(following.end(), _timeBase) == _startTs) {
        _backwards = true;
        _followingStartTs = ff::streamTickAtOrAfter(following.start, _timeBase);
    }
    _budget = _state.budget;
    const std::shared_ptr<PictureReadAhead>& pending = _state.ahead;
    const std::shared_ptr<PictureSpill>& kept = _state.keptPictures;
    if (pending && pending->kept && kept && !kept->covers(_startTs, _endTs)) {
        // The window reaches into the group kept ahead: it is joined to the kept pictures once
        // complete, and the reading waits for that in turns, not here.
        _awaitedGroup = std::move(_state.ahead);
        _range = range;
        return true;
    }
    return openFromWhatIsReady(range, error);
}

bool BackwardPictureSource::joinKeptGroup(ErrorPtr& error) {
    if (!_awaitedGroup->waitUntilDone(_deadline)) {
        _waitTimedOut = true;
        return false;
    }
    const std::shared_ptr<PictureReadAhead> group = std::move(_awaitedGroup);
    group->finish();
    const std::shared_ptr<PictureSpill>& kept = _state.keptPictures;
    if (group->keptAll && kept && group->endTs == kept->coveredStart) {
        kept->prepend(*group->kept, _endTs);
        ++_track.readCounts().groupsKeptAhead;
    }
    return openFromWhatIsReady(_range, &error);
}

bool BackwardPictureSource::openFromWhatIsReady(const TimeRange& range, ErrorPtr* error) {
    if (_state.ahead && !_state.ahead->kept) {
        const std::shared_ptr<PictureReadAhead> ready = std::move(_state.ahead);
        if (ready->startTs == _startTs && ready->endTs == _endTs) {
            // This very window: its pictures are handed out as they come; whatever the caller
            // still holds, it completes.
            if (_budget) {
                _budget->lift();
            }
            _ahead.job = ready;
            ++_track.readCounts().decodedAhead;
            return true;
        }
        ready->abandon(); // not this window: nobody waits for it
    }
    const std::shared_ptr<PictureSpill>& kept = _state.keptPictures;
    if (kept && kept->covers(_startTs, _endTs)) {
        _keep.spill = kept;
        _keep.reading = true;
        _keep.index = _keep.spill->firstAtOrAfter(_startTs);
        ++_track.readCounts().fromKeptPictures;
        keepEarlierGroupAhead();
        return true;
    }
    if (!openDecoder(range, error)) {
        return false;
    }
    ++_track.readCounts().decodedFromKeyframe;
    const AssetTrack::PacketInfo* key = _decoder->keyframe();
    if (key != nullptr && _backwards && !readsAhead(_track, _followingStartTs, _startTs)) {
        planSpill(key->pts);
    } else if (key != nullptr && _backwards) {
        planCarry(key->pts);
    }
    return true;
}

bool BackwardPictureSource::openDecoder(const TimeRange& range, ErrorPtr* error) {
    const std::int64_t startTs = ff::streamTickAtOrAfter(range.start, _timeBase);
    const std::int64_t endTs = range.duration.isNumeric()
                                   ? ff::streamTickAtOrAfter(range.end(), _timeBase)
                                   : std::numeric_limits<std::int64_t>::max();
    _decoder = std::make_unique<TrackDecoder>(_path, _track, 0, &_state.idleDecoder);
    _decoder->setEarlyPictures(
        [this](AVFrame* frame, std::int64_t pts, bool before, ErrorPtr& error) {
            return takeEarlyPicture(frame, pts, before, error);
        });
    _decoder->setOnPicture([this](AVFrame* picture) { charge(picture); });
    return _decoder->open(startTs, endTs, error);
}

void BackwardPictureSource::charge(AVFrame* picture) const {
    if (_budget) {
        chargePicture(picture, _budget, _waitsForRoom);
    }
}

TrackDecoder::Taken BackwardPictureSource::takeEarlyPicture(AVFrame* frame, std::int64_t pts,
                                                            bool before, ErrorPtr& error) {
    if (before && _carry.on && pts >= _carry.from) {
        SampleBufferPtr picture = _decoder->makePicture(frame, &error);
        if (!picture) {
            return TrackDecoder::Taken::Failed;
        }
        _carry.out.push_back(std::move(picture));
        return TrackDecoder::Taken::Yes;
    }
    if (_keep.keeping && !before) {
        _keep.spill->markCoveredUntil(_startTs);
        _keep.keeping = false;
    }
    if (_keep.keeping && before && pts >= _keep.from) {
        ErrorPtr ignored;
        const OwnedFrame picture = _decoder->toNV12(frame, &ignored);
        if (!picture || !_keep.spill->append(picture.get())) {
            // No room to keep them: the earlier windows are decoded again instead.
            _keep.keeping = false;
            _keep.spill->entries.clear();
        }
        av_frame_unref(frame);
        return TrackDecoder::Taken::Yes;
    }
    return TrackDecoder::Taken::No;
}

SampleBufferPtr BackwardPictureSource::next(ErrorPtr& error) {
    if (_awaitedGroup && !joinKeptGroup(error)) {
        return nullptr;
    }
    if (_keep.reading) {
        return nextFromSpill();
    }
    if (_ahead.job) {
        return nextAhead(error);
    }
    return nextDecoded(error);
}

SampleBufferPtr BackwardPictureSource::nextAhead(ErrorPtr& error) {
    PictureReadAhead& job = *_ahead.job;
    if (SampleBufferPtr sample = job.take(_ahead.index, _deadline, _waitTimedOut)) {
        ++_ahead.index;
        return sample;
    }
    if (_waitTimedOut) {
        return nullptr;
    }
    // The window is complete; what its decoding carried is this read's.
    job.finish();
    error = job.error;
    _carry.on = job.source->_carry.on;
    _carry.from = job.source->_carry.from;
    _carry.out = std::move(job.source->_carry.out);
    return nullptr;
}

void BackwardPictureSource::finished() {
    if (!_keep.reading) {
        readAheadNextWindow();
    }
}

SampleBufferPtr BackwardPictureSource::nextDecoded(ErrorPtr& error) {
    if (!_carry.decodeDone) {
        SampleBufferPtr sample = _decoder->next(error);
        if (sample || error || _decoder->timedOut()) {
            return sample;
        }
        _carry.decodeDone = true;
    }
    // After the decoded pictures, those carried in from the read after this one.
    if (_carry.inIndex < _carry.in.size()) {
        return std::move(_carry.in[_carry.inIndex++]);
    }
    return nullptr;
}

void BackwardPictureSource::planSpill(std::int64_t keyPts) {
    if ((_startTs - keyPts) * av_q2d(_timeBase) < PictureSpill::kMinimumSeconds) {
        return;
    }
    _keep.spill = _state.keptPictures;
    if (!_keep.spill) {
        _keep.spill = _state.keptPictures = std::make_shared<PictureSpill>();
    }
    // Keep the latest pictures before the window that fit the budget.
    _keep.from = latestWithin(_track, keyPts, _startTs, PictureSpill::kBudgetBytes);
    _keep.keeping = _keep.spill->reset(_keep.from);
}

SampleBufferPtr BackwardPictureSource::nextFromSpill() {
    const PictureSpill& spill = *_keep.spill;
    if (_keep.index >= spill.entries.size() || spill.entries[_keep.index].pts >= _endTs) {
        return nullptr;
    }
    OwnedFrame frame = spill.load(_keep.index++);
    if (!frame) {
        return nullptr;
    }
    charge(frame.get());
    return pictureSample(std::move(frame), _timeBase);
}

void BackwardPictureSource::planCarry(std::int64_t keyPts) {
    _carry.on = true;
    _carry.from = latestWithin(_track, keyPts, _startTs, kCarryBudgetBytes);
}

void BackwardPictureSource::readAheadNextWindow() {
    if (!_backwards || _followingStartTs >= _startTs ||
        !readsAhead(_track, _followingStartTs, _startTs)) {
        return;
    }
    auto ahead = std::make_shared<PictureReadAhead>();
    ahead->source = std::make_unique<BackwardPictureSource>(_path, _track);
    BackwardPictureSource& reader = *ahead->source;
    reader._abandoned = &ahead->abandoned;
    // What this read carries covers [carry.from, startTs): the window before it decodes only
    // up to there, and what lies before that window is carried on again.
    const bool carried = _carry.on && !_carry.out.empty();
    const std::int64_t decodeEnd = carried ? _carry.from : _startTs;
    if (carried) {
        for (SampleBufferPtr& sample : _carry.out) {
            const std::int64_t pts = ff::streamTickAtOrAfter(sample->presentationTime(), _timeBase);
            (pts < _followingStartTs ? reader._carry.out : reader._carry.in)
                .push_back(std::move(sample));
        }
        _carry.out.clear();
    }
    const AssetTrack::PacketInfo* key = keyframeAtOrBefore(_track, _followingStartTs);
    reader._startTs = _followingStartTs;
    if (decodeEnd > _followingStartTs) {
        const MediaTime from = ff::timeFromStream(_followingStartTs, _timeBase);
        ErrorPtr error;
        if (!reader.openDecoder(
                TimeRange::make(from, ff::timeFromStream(decodeEnd, _timeBase) - from), &error)) {
            return;
        }
        if (key != nullptr) {
            reader.planCarry(key->pts);
        }
    } else {
        // Everything of the window was carried: nothing to decode, and what lies before it
        // is carried on.
        reader._carry.decodeDone = true;
        reader._carry.on = true;
        reader._carry.from = _carry.from;
    }
    reader._endTs = _startTs;
    reader._carry.decodeEndTs = decodeEnd;
    if (reader._decoder) {
        reader._decoder->setStretch(reader._startTs, std::min(reader._endTs, decodeEnd));
        reader._decoder->setAbandoned(&ahead->abandoned);
    }
    reader._budget = _budget;
    reader._waitsForRoom = true;
    ahead->startTs = _followingStartTs;
    ahead->endTs = _startTs;
    if (_budget) {
        const std::int64_t from =
            key != nullptr ? std::min(key->pts, _followingStartTs) : _followingStartTs;
        _budget->setCapacity(picturesIn(_track, from, _startTs) + kReadAheadSlackPictures);
    }
    // The worker holds the job: abandoned, it ends on its own, and the job with it.
    ahead->worker = std::thread([job = ahead]() {
        while (SampleBufferPtr sample = job->source->next(job->error)) {
            {
                std::lock_guard lock(job->mutex);
                job->samples.push_back(std::move(sample));
            }
            job->changed.notify_all();
            if (job->abandoned) {
                break;
            }
        }
        job->markDone();
    });
    _state.replaceAhead(std::move(ahead));
}

void BackwardPictureSource::keepEarlierGroupAhead() {
    if (!_backwards || _state.ahead || !_keep.spill) {
        return;
    }
    const std::int64_t until = _keep.spill->coveredStart;
    const AssetTrack::PacketInfo* key = keyframeAtOrBefore(_track, until - 1);
    if (key == nullptr ||
        static_cast<double>(until - key->pts) * av_q2d(_timeBase) <= kReadAheadKeyframeSeconds) {
        return; // nothing before, or windows there are decoded ahead from their keyframe
    }
    auto group = std::make_shared<PictureReadAhead>();
    group->source = std::make_unique<BackwardPictureSource>(_path, _track);
    BackwardPictureSource& reader = *group->source;
    reader._abandoned = &group->abandoned;
    // Opened for the tick before the kept pictures, so that it starts at that tick's keyframe;
    // then it keeps everything up to them and hands out nothing.
    const MediaTime last = ff::timeFromStream(until - 1, _timeBase);
    ErrorPtr error;
    if (!reader.openDecoder(TimeRange::make(last, ff::timeFromStream(until, _timeBase) - last),
                            &error)) {
        return;
    }
    reader._startTs = until;
    reader._endTs = until;
    reader._decoder->setStretch(until, until);
    reader._decoder->setAbandoned(&group->abandoned);
    reader._keep.spill = group->kept = std::make_shared<PictureSpill>();
    reader._keep.from = latestWithin(_track, key->pts, until, PictureSpill::kBudgetBytes);
    reader._keep.keeping = reader._keep.spill->reset(reader._keep.from);
    if (!reader._keep.keeping) {
        return;
    }
    group->startTs = reader._keep.from;
    group->endTs = until;
    group->worker = std::thread([job = group]() {
        BackwardPictureSource& r = *job->source;
        while (r.next(job->error)) {
        }
        if (!job->error && !job->abandoned && r._keep.keeping) {
            r._keep.spill->markCoveredUntil(job->endTs);
            job->keptAll = true;
        }
        job->markDone();
    });
    _state.replaceAhead(std::move(group));
}

} // namespace tx
