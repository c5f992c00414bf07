#include "ReverseAheadRecorder.h"

#include "platform/foundation/Paths.h"
#include "platform/media/EncodedPictureGroup.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace tx {

namespace {

// Pictures waiting for the thread, in seconds of recording: past that it has fallen behind.
constexpr int kQueueSeconds = 2;

} // namespace

std::shared_ptr<ReverseAheadRecorder>
ReverseAheadRecorder::create(std::int32_t tempo, const std::string& folder, long long maxBytes) {
    return std::make_shared<ReverseAheadRecorder>(tempo, folder, maxBytes);
}

ReverseAheadRecorder::ReverseAheadRecorder(std::int32_t tempo, std::string folder,
                                           long long maxBytes)
    : _tempo(tempo), _parentFolder(folder.empty() ? privateTemporaryDirectory() : std::move(folder)),
      _maxBytes(maxBytes) {}

ReverseAheadRecorder::~ReverseAheadRecorder() {
    discard();
}

void ReverseAheadRecorder::recordingBegan(const std::string& fileURL,
                                          const MediaSettings& videoSettings,
                                          double framesPerSecond) {
    std::unique_lock lock(_mutex);
    if (_state != State::Waiting) {
        return; // one recording per recorder
    }
    if (_tempo <= 0 || !(framesPerSecond > 0)) {
        _state = State::Unusable;
        _changed.notify_all();
        return;
    }
    _url = fileURL;
    _videoSettings = videoSettings;
    _framesPerSecond = framesPerSecond;
    _groupPictures = std::max(1, static_cast<int>(std::lround(framesPerSecond)));
    _queueLimit = static_cast<std::size_t>(kQueueSeconds * _groupPictures);
    _folder = pathByAppending(_parentFolder, "ahead-" + uniqueString());
    std::error_code ec;
    std::filesystem::create_directories(_folder, ec);
    if (ec) {
        _state = State::Unusable;
        _changed.notify_all();
        return;
    }
    _state = State::Recording;
    _thread = std::thread([this] { run(); });
}

void ReverseAheadRecorder::recordingKeptPicture(const PixelBufferPtr& picture,
                                                double movieSeconds) {
    std::unique_lock lock(_mutex);
    if (_state != State::Recording || !picture) {
        return;
    }
    if (_queue.size() >= _queueLimit) {
        // Fallen behind: the capture goes on, and this recording is rendered the ordinary way.
        ++_missed;
        becomeUnusable(lock);
        return;
    }
    _queue.push_back({picture, movieSeconds});
    _changed.notify_all();
}

void ReverseAheadRecorder::recordingEnded(bool kept) {
    std::unique_lock lock(_mutex);
    if (_state != State::Recording) {
        return;
    }
    if (!kept) {
        becomeUnusable(lock);
        return;
    }
    _queue.push_back({nullptr, 0});
    _state = State::Finishing;
    _changed.notify_all();
}

void ReverseAheadRecorder::becomeUnusable(std::unique_lock<std::mutex>&) {
    _state = State::Unusable;
    _cancelled = true;
    _queue.clear();
    _changed.notify_all();
}

void ReverseAheadRecorder::run() {
    std::vector<PixelBufferPtr> pictures;
    std::vector<double> seconds;
    pictures.reserve(static_cast<std::size_t>(_groupPictures));
    for (;;) {
        std::unique_lock lock(_mutex);
        _changed.wait(lock, [&] { return _cancelled.load() || !_queue.empty(); });
        if (_cancelled) {
            break;
        }
        Item item = std::move(_queue.front());
        _queue.pop_front();
        lock.unlock();
        const bool ended = !item.picture;
        if (!ended) {
            pictures.push_back(std::move(item.picture));
            seconds.push_back(item.seconds);
            if (static_cast<int>(pictures.size()) < _groupPictures) {
                continue;
            }
        }
        // A completed second, or the rest at the end of the recording.
        const bool encoded = pictures.empty() || encodeGroup(pictures, seconds);
        lock.lock();
        if (_cancelled) {
            break; // discarded meanwhile: it stays unusable
        }
        if (!encoded) {
            becomeUnusable(lock);
            break;
        }
        if (ended) {
            _state = _groups.empty() ? State::Unusable : State::Ready;
            _changed.notify_all();
            break;
        }
    }
    pictures.clear();
    std::unique_lock lock(_mutex);
    if (_state == State::Unusable) {
        lock.unlock();
        removeGroups(); // what is left would never be used
    }
}

bool ReverseAheadRecorder::encodeGroup(std::vector<PixelBufferPtr>& pictures,
                                       std::vector<double>& seconds) {
    char name[32];
    std::snprintf(name, sizeof name, "group-%06zu.mov", _groups.size());
    const std::string path = pathByAppending(_folder, name);
    std::reverse(pictures.begin(), pictures.end());
    // The engine shows its pictures this far apart: the encoder spends its data rate the same way.
    const double spacing =
        1.0 / (_framesPerSecond * static_cast<double>(_tempo) / 100.0);
    const ErrorPtr error =
        EncodedPictureGroup::write(path, _videoSettings, spacing, _groupPictures, pictures,
                                   &_cancelled);
    pictures.clear();
    if (error) {
        return false;
    }
    // Read back: a group that cannot be copied, or not beside the others, is no use.
    const long long bytes = fileSize(path);
    const auto group = EncodedPictureGroup::open(path);
    if (!group || group->pictureCount() != static_cast<int>(seconds.size()) ||
        (_firstGroup && !group->sameFormatAs(*_firstGroup))) {
        removeFile(path);
        return false;
    }
    if (!_firstGroup) {
        _firstGroup = group;
    }
    std::lock_guard lock(_mutex);
    _groups.push_back({path, seconds, group->decodeDelay()});
    seconds.clear();
    _bytes += std::max(0LL, bytes);
    _peakBytes = std::max(_peakBytes, _bytes);
    return _bytes <= _maxBytes;
}

void ReverseAheadRecorder::discard() {
    {
        std::unique_lock lock(_mutex);
        becomeUnusable(lock);
    }
    if (_thread.joinable() && _thread.get_id() != std::this_thread::get_id()) {
        _thread.join();
    }
    removeGroups();
}

void ReverseAheadRecorder::removeGroups() {
    std::vector<Group> groups;
    {
        std::lock_guard lock(_mutex);
        groups.swap(_groups);
        _bytes = 0;
    }
    for (const Group& group : groups) {
        removeFile(group.path);
    }
    if (!_folder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(_folder, ec);
    }
}

ReverseAheadRecorder::State ReverseAheadRecorder::waitUntilSettled(double timeoutSeconds) {
    std::unique_lock lock(_mutex);
    _changed.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] {
        return _state != State::Recording && _state != State::Finishing;
    });
    return _state;
}

ReverseAheadRecorder::State ReverseAheadRecorder::state() const {
    std::lock_guard lock(_mutex);
    return _state;
}

std::vector<ReverseAheadRecorder::Group> ReverseAheadRecorder::groups() const {
    std::lock_guard lock(_mutex);
    return _state == State::Ready ? _groups : std::vector<Group>{};
}

int ReverseAheadRecorder::pictureCount() const {
    std::lock_guard lock(_mutex);
    int count = 0;
    for (const Group& group : _groups) {
        count += static_cast<int>(group.pictureSeconds.size());
    }
    return count;
}

long long ReverseAheadRecorder::peakBytes() const {
    std::lock_guard lock(_mutex);
    return _peakBytes;
}

int ReverseAheadRecorder::picturesMissed() const {
    std::lock_guard lock(_mutex);
    return _missed;
}

} // namespace tx
