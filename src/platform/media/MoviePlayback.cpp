#include "platform/media/MoviePlayback.h"

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Translation.h"
#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"
#include "platform/media/FFmpeg.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tx {

namespace {

const char* const kPlaybackDomain = "MoviePlayback";
// Pictures decoded ahead of the clock: enough to ride out a slow one, little memory.
constexpr std::size_t kQueuedPictures = 4;
// A seek decodes from this much before its time, so the picture showing at that time (which
// began earlier) is among those read.
constexpr double kSeekLeadSeconds = 0.5;
// The display turn while playing: twice a 60 Hz screen, so no picture is shown late by more
// than a few milliseconds.
constexpr double kTickSeconds = 1.0 / 120.0;
// A picture due within this much of the clock counts as due.
constexpr double kDueToleranceSeconds = 0.002;

AssetTrackPtr firstTrack(const AssetPtr& asset, const std::string& type) {
    auto tracks = asset->tracksWithMediaType(type);
    return tracks.empty() ? nullptr : tracks.front();
}

} // namespace

// The decoding thread and what it shares with the main thread (everything under `mutex`).
struct MoviePlayback::Worker {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<PlaybackPicturePtr> queue;
    // Grows with every seek; pictures and reports of an older one are dropped.
    std::uint64_t generation = 0;
    double startSeconds = 0;
    bool quit = false;
    bool endOfMovie = false;
    ErrorPtr error;

    std::string path;
    int maxWidth = 0;
    int maxHeight = 0;
    int quarterTurns = 0;
    // Asks the main loop for a display turn.
    std::function<void()> wake;
    std::thread thread;

    ff::SwsPtr sws;

    void run();
    void decodeFrom(double startSeconds, std::uint64_t generation, const AssetPtr& asset);
    bool push(const SampleBufferPtr& buffer, std::uint64_t generation);
    PlaybackPicturePtr convert(const SampleBuffer& buffer);
    bool stale(std::uint64_t generation) {
        std::lock_guard lock(mutex);
        return quit || generation != this->generation;
    }
};

void MoviePlayback::Worker::run() {
    ErrorPtr openError;
    // An asset of the thread's own: the main thread's is never touched from here.
    AssetPtr asset = Asset::urlAsset(path, false, &openError);
    std::uint64_t done = 0;
    bool first = true;
    for (;;) {
        std::uint64_t generation = 0;
        double start = 0;
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return quit || first || this->generation != done; });
            if (quit) {
                return;
            }
            first = false;
            generation = this->generation;
            start = startSeconds;
        }
        if (!asset) {
            std::lock_guard lock(mutex);
            error = openError;
            wake();
            return;
        }
        decodeFrom(start, generation, asset);
        done = generation;
    }
}

void MoviePlayback::Worker::decodeFrom(double start, std::uint64_t generation,
                                       const AssetPtr& asset) {
    ErrorPtr readError;
    AssetReaderPtr reader = AssetReader::create(asset, &readError);
    auto output =
        reader ? AssetReaderTrackOutput::create(firstTrack(asset, kMediaTypeVideo), MediaSettings())
               : nullptr;
    if (reader) {
        reader->addOutput(output);
        const double from = std::max(0.0, start - kSeekLeadSeconds);
        reader->setTimeRange(
            TimeRange::make(MediaTime::makeWithSeconds(from, kMicrosecondTimescale),
                            MediaTime::positiveInfinity()));
        if (!reader->startReading()) {
            readError = reader->error();
        }
    }
    // The latest picture at or before the start: the one on show at that time.
    SampleBufferPtr held;
    while (!readError && !stale(generation)) {
        SampleBufferPtr buffer = output->copyNextSampleBuffer();
        if (!buffer) {
            if (reader->status() == AssetReaderStatus::Failed) {
                readError = reader->error();
            }
            break;
        }
        if (buffer->presentationTime().seconds() <= start) {
            held = std::move(buffer);
            continue;
        }
        if (held && !push(std::exchange(held, nullptr), generation)) {
            return;
        }
        if (!push(buffer, generation)) {
            return;
        }
    }
    if (held && !push(held, generation)) {
        return;
    }
    std::lock_guard lock(mutex);
    if (generation == this->generation) {
        endOfMovie = true;
        if (readError) {
            error = readError;
        }
        wake();
    }
}

bool MoviePlayback::Worker::push(const SampleBufferPtr& buffer, std::uint64_t generation) {
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] {
            return quit || generation != this->generation || queue.size() < kQueuedPictures;
        });
        if (quit || generation != this->generation) {
            return false;
        }
    }
    PlaybackPicturePtr picture = convert(*buffer);
    std::lock_guard lock(mutex);
    if (quit || generation != this->generation) {
        return false;
    }
    if (picture) {
        queue.push_back(std::move(picture));
        wake();
    }
    return true;
}

PlaybackPicturePtr MoviePlayback::Worker::convert(const SampleBuffer& buffer) {
    const PixelBufferPtr& pixels = buffer.imageBuffer();
    const AVFrame* frame = pixels ? pixels->frame() : nullptr;
    if (frame == nullptr || frame->width <= 0 || frame->height <= 0) {
        return nullptr;
    }
    // Scaled down (never up) to fit the screen as it will be shown, turned or not.
    const bool sideways = quarterTurns % 2 != 0;
    const double shownWidth = sideways ? frame->height : frame->width;
    const double shownHeight = sideways ? frame->width : frame->height;
    const double factor = std::min({1.0, maxWidth / shownWidth, maxHeight / shownHeight});
    auto picture = std::make_shared<PlaybackPicture>();
    picture->width = std::max(1, static_cast<int>(frame->width * factor + 0.5));
    picture->height = std::max(1, static_cast<int>(frame->height * factor + 0.5));
    picture->seconds = buffer.presentationTime().seconds();
    picture->quarterTurns = quarterTurns;
    picture->pixels.resize(static_cast<std::size_t>(picture->bytesPerRow()) * picture->height);
    std::uint8_t* planes[4] = {picture->pixels.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {picture->bytesPerRow(), 0, 0, 0};
    if (ff::scalePicture(sws, ff::pictureOf(frame), planes, strides, picture->width,
                         picture->height, AV_PIX_FMT_BGRA, SWS_BILINEAR) < 0) {
        return nullptr;
    }
    return picture;
}

std::shared_ptr<MoviePlayback> MoviePlayback::create(const std::string& path, ErrorPtr* error,
                                                     int maxPictureWidth, int maxPictureHeight) {
    AssetPtr asset = Asset::urlAsset(path, false, error);
    if (!asset) {
        return nullptr;
    }
    AssetTrackPtr video = firstTrack(asset, kMediaTypeVideo);
    if (!video) {
        if (error != nullptr) {
            *error = Error::make(kPlaybackDomain, 0,
                                 withArguments(_("%1 has no pictures to show"), {path}));
        }
        return nullptr;
    }
    auto playback = std::shared_ptr<MoviePlayback>(new MoviePlayback());
    playback->_path = path;
    playback->_durationSeconds =
        std::max(asset->duration().seconds(), video->timeRange().end().seconds());
    // The sound is opened and decoded when playing starts, after the first picture.
    playback->_hasSound = firstTrack(asset, kMediaTypeAudio) != nullptr;
    auto worker = std::make_unique<Worker>();
    worker->path = path;
    worker->maxWidth = std::max(1, maxPictureWidth);
    worker->maxHeight = std::max(1, maxPictureHeight);
    const int turns = video->preferredTransform().quarterTurns();
    worker->quarterTurns = turns < 0 ? 0 : turns;
    std::weak_ptr<MoviePlayback> weak = playback;
    worker->wake = [weak]() {
        RunLoop::post([weak]() {
            if (auto self = weak.lock()) {
                self->tick();
            }
        });
    };
    playback->_worker = std::move(worker);
    playback->_worker->thread = std::thread([w = playback->_worker.get()]() { w->run(); });
    return playback;
}

MoviePlayback::~MoviePlayback() {
    if (_timer) {
        _timer->invalidate();
    }
    if (_worker) {
        {
            std::lock_guard lock(_worker->mutex);
            _worker->quit = true;
        }
        _worker->changed.notify_all();
        _worker->thread.join();
    }
}

void MoviePlayback::setClock(Clock clock) {
    _clock = std::move(clock);
}

double MoviePlayback::rawTime() const {
    if (_clock) {
        return _clock();
    }
    if (!_playing || _clockWaitsForPicture) {
        return _positionSeconds;
    }
    if (_audioRunning) {
        return _audio->currentTime();
    }
    return _positionSeconds +
           std::chrono::duration<double>(std::chrono::steady_clock::now() - _anchor).count();
}

double MoviePlayback::currentTime() const {
    return std::clamp(rawTime(), 0.0, _durationSeconds);
}

void MoviePlayback::play() {
    if (_playing || _finished) {
        return;
    }
    if (currentTime() >= _durationSeconds) {
        seekToTime(0);
    }
    _playing = true;
    startClock();
    std::weak_ptr<MoviePlayback> weak = sharedAs<MoviePlayback>();
    _timer = Timer::scheduled(kTickSeconds, true, [weak](Timer&) {
        if (auto self = weak.lock()) {
            self->tick();
        }
    });
}

void MoviePlayback::startClock() {
    _anchor = std::chrono::steady_clock::now();
    _audioRunning = false;
    if (!_hasSound || _clock) {
        return;
    }
    if (!_audioPrepared && _serial == 0) {
        // Decoding the sound takes a moment: show the first picture before, and start the
        // clock once it is on screen.
        _clockWaitsForPicture = true;
        return;
    }
    _clockWaitsForPicture = false;
    if (!_audioPrepared) {
        _audioPrepared = true;
        _audio = AudioPlayer::create(_path);
        if (!_audio || !_audio->prepareToPlay()) {
            // The sound cannot be decoded: the pictures still play, on the wall clock.
            _audio.reset();
            _hasSound = false;
            return;
        }
        _audio->setDelegate(sharedAs<AudioPlayerDelegate>());
    }
    if (_positionSeconds < _audio->duration()) {
        _audioRunning = _audio->playAtTime(_positionSeconds);
    }
}

void MoviePlayback::pause() {
    if (!_playing) {
        return;
    }
    _positionSeconds = currentTime();
    _playing = false;
    _audioRunning = false;
    _clockWaitsForPicture = false;
    if (_audio) {
        _audio->pause();
    }
    if (_timer) {
        _timer->invalidate();
        _timer.reset();
    }
}

void MoviePlayback::stop() {
    pause();
    _finished = true;
    if (_audio) {
        _audio->stop();
    }
}

void MoviePlayback::seekToTime(double seconds) {
    if (_finished) {
        return;
    }
    _positionSeconds = std::clamp(seconds, 0.0, _durationSeconds);
    restartDecoding(_positionSeconds);
    if (_playing) {
        if (_audio) {
            _audio->pause();
        }
        startClock();
    }
}

void MoviePlayback::restartDecoding(double seconds) {
    {
        std::lock_guard lock(_worker->mutex);
        ++_worker->generation;
        _worker->startSeconds = seconds;
        _worker->queue.clear();
        _worker->endOfMovie = false;
        _worker->error.reset();
    }
    _worker->changed.notify_all();
    _showNextAtOnce = true;
}

void MoviePlayback::tick() {
    if (_finished) {
        return;
    }
    const double now = currentTime();
    PlaybackPicturePtr due;
    bool endOfMovie = false;
    bool queueEmpty = false;
    ErrorPtr error;
    {
        std::lock_guard lock(_worker->mutex);
        auto& queue = _worker->queue;
        if (_showNextAtOnce && !queue.empty()) {
            due = queue.front();
            queue.pop_front();
            _showNextAtOnce = false;
        }
        while (!queue.empty() && queue.front()->seconds <= now + kDueToleranceSeconds) {
            if (due) {
                ++_dropped;
            }
            due = queue.front();
            queue.pop_front();
        }
        endOfMovie = _worker->endOfMovie;
        queueEmpty = queue.empty();
        error = _worker->error;
    }
    _worker->changed.notify_all();
    if (due) {
        _current = std::move(due);
        ++_serial;
        if (_clockWaitsForPicture && _playing) {
            startClock();
        }
    }
    if (auto delegate = _delegate.lock(); delegate && (_playing || _serial > 0)) {
        delegate->moviePlaybackDidChange(*this);
    }
    if (error) {
        finish(error);
    } else if (_playing && endOfMovie && queueEmpty && now >= _durationSeconds - 1e-6) {
        finish(nullptr);
    } else if (_playing && endOfMovie && queueEmpty && _clock == nullptr && !_audioRunning &&
               rawTime() >= _durationSeconds) {
        finish(nullptr);
    }
}

void MoviePlayback::finish(const ErrorPtr& error) {
    pause();
    _finished = true;
    _positionSeconds = error ? _positionSeconds : _durationSeconds;
    auto keep = sharedAs<MoviePlayback>();
    if (auto delegate = _delegate.lock()) {
        delegate->moviePlaybackDidFinish(*this, error);
    }
}

void MoviePlayback::audioPlayerDidFinishPlaying(AudioPlayer& player, bool) {
    if (!_playing || !_audioRunning) {
        return;
    }
    // The sound has ended (or its output failed): the wall clock carries on from there.
    _positionSeconds = std::min(player.duration(), _durationSeconds);
    _anchor = std::chrono::steady_clock::now();
    _audioRunning = false;
}

} // namespace tx
