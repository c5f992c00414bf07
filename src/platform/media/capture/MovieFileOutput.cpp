#include "MovieFileOutput.h"

#include "platform/foundation/RunLoop.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/capture/CaptureSession.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tx {

namespace {

// Pictures or sound buffers waiting for the main thread beyond these are dropped, so a busy
// main thread costs pictures, not memory.
constexpr int kMaxPicturesInFlight = 15;
constexpr int kMaxSoundsInFlight = 50;
// A recording's sound: one microphone channel as AAC at 44.1 kHz.
constexpr int kSoundSampleRate = 44100;
constexpr int kSoundChannels = 1;
constexpr int kSoundBitRateBps = 64000;
// Bits per picture pixel each second: about 0.7 Mbit/s at 480x360, 1.2 Mbit/s at 640x480.
constexpr double kVideoBitsPerPixel = 4.0;

ErrorPtr captureError(CaptureErrorCode code, const std::string& description,
                      const std::string& suggestion) {
    return Error::make(kCaptureErrorDomain, code, description, suggestion);
}

// A writer's failure, told as the user needs to hear it.
ErrorPtr writingError(const ErrorPtr& writerError, const std::string& path) {
    const std::string detail =
        writerError ? writerError->localizedDescription() : "unknown failure";
    if (detail.find(std::strerror(ENOSPC)) != std::string::npos) {
        return captureError(kCaptureErrorDiskFull, "The disk is full: " + detail,
                            "Free some space on the disk, then record again.");
    }
    return captureError(kCaptureErrorFileWriteFailed,
                        "The movie cannot be written to " + path + ": " + detail,
                        "Check that the folder exists and can be written to, then record again.");
}

} // namespace

// Reports to recording delegates in order, on one thread that outlives nothing it needs.
class MovieFileOutput::CallbackThread {
public:
    CallbackThread() : _state(std::make_shared<State>()) {
        _thread = std::thread([state = _state] { loop(*state); });
    }
    ~CallbackThread() {
        {
            std::lock_guard lock(_state->mutex);
            _state->quit = true;
        }
        _state->condition.notify_all();
        // A delegate may drop the last reference to the output from a report.
        if (_thread.get_id() == std::this_thread::get_id()) {
            _thread.detach();
        } else {
            _thread.join();
        }
    }
    void post(std::function<void()> task) {
        {
            std::lock_guard lock(_state->mutex);
            _state->tasks.push_back(std::move(task));
        }
        _state->condition.notify_all();
    }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable condition;
        std::deque<std::function<void()>> tasks;
        bool quit = false;
    };
    static void loop(State& state) {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock lock(state.mutex);
                state.condition.wait(lock, [&] { return state.quit || !state.tasks.empty(); });
                if (state.tasks.empty()) {
                    return;
                }
                task = std::move(state.tasks.front());
                state.tasks.pop_front();
            }
            task();
        }
    }
    std::shared_ptr<State> _state;
    std::thread _thread;
};

struct MovieFileOutput::Recording {
    std::uint64_t generation = 0;
    std::string url;
    std::weak_ptr<CaptureFileOutputRecordingDelegate> delegate;
    std::vector<CaptureConnectionPtr> connections;
    AssetWriterPtr writer;
    AssetWriterInputPtr videoInput;
    AssetWriterInputPtr soundInput;
    PixelBufferAdaptorPtr adaptor;
    MediaSettings videoInputSettings;
    std::weak_ptr<CapturePictureTap> tap;
    double frameSeconds = 1.0 / 30;
    bool started = false;
    double startSeconds = 0;    // host time of the movie's first picture (or sound)
    double recordedSeconds = 0; // length of what is in the movie so far
};

bool CaptureConnection::isVideoOrientationSupported() const {
    return std::any_of(_inputPorts.begin(), _inputPorts.end(),
                       [](const auto& port) { return port->mediaType() == kMediaTypeVideo; });
}

std::shared_ptr<MovieFileOutput> MovieFileOutput::create() {
    auto output = std::make_shared<MovieFileOutput>();
    output->_callbacks = std::make_unique<CallbackThread>();
    return output;
}

MovieFileOutput::~MovieFileOutput() {
    if (_current && _current->writer) {
        _current->writer->cancelWriting();
    }
    _current.reset();
    _callbacks.reset();
}

int MovieFileOutput::keyFrameInterval(double frameRate) {
    return std::max(1, static_cast<int>(std::lround(frameRate > 0 ? frameRate : 30.0)));
}

int MovieFileOutput::quarterTurnsForOrientation(int orientation) {
    switch (orientation) {
    case kCaptureVideoOrientationPortraitUpsideDown:
        return 2;
    case kCaptureVideoOrientationLandscapeRight: // top of the device to the left
        return 3;
    case kCaptureVideoOrientationLandscapeLeft:
        return 1;
    default:
        return 0;
    }
}

void MovieFileOutput::setSession(const std::shared_ptr<CaptureSession>& session) {
    _session = session;
}

void MovieFileOutput::updateConnections(const std::vector<CaptureDeviceInputPtr>& inputs) {
    std::vector<CaptureConnectionPtr> connections;
    for (const auto& input : inputs) {
        // Keep a connection (and its orientation) whose input stays.
        auto existing = std::find_if(_connections.begin(), _connections.end(), [&](const auto& c) {
            return !c->inputPorts().empty() && c->inputPorts().front()->input() == input;
        });
        if (existing != _connections.end()) {
            connections.push_back(*existing);
        } else {
            connections.push_back(
                std::make_shared<CaptureConnection>(std::vector<CaptureInputPortPtr>{
                    std::make_shared<CaptureInputPort>(input->device()->mediaType(), input)}));
        }
    }
    _connections = std::move(connections);
}

MediaTime MovieFileOutput::recordedDuration() const {
    const double seconds = _current ? _current->recordedSeconds : _lastRecordedSeconds;
    return MediaTime::makeWithSeconds(seconds, kMicrosecondTimescale);
}

void MovieFileOutput::startRecordingToOutputFileURL(
    const std::string& fileURL,
    const std::shared_ptr<CaptureFileOutputRecordingDelegate>& delegate) {
    if (_current) {
        return; // one recording at a time
    }
    _url = fileURL;
    _lastRecordedSeconds = 0;
    auto recording = std::make_unique<Recording>();
    recording->generation = ++_generation;
    recording->url = fileURL;
    recording->delegate = delegate;

    auto refuse = [&](const ErrorPtr& error) { report(fileURL, {}, recording->delegate, error); };
    auto session = _session.lock();
    if (!session || !session->isRunning()) {
        refuse(captureError(kCaptureErrorSessionNotRunning,
                            "Recording cannot start while the camera is off.",
                            "Start the camera, then record again."));
        return;
    }
    CaptureConnectionPtr videoConnection;
    bool soundConnection = false;
    for (const auto& connection : _connections) {
        const auto& input = connection->inputPorts().front()->input();
        if (ErrorPtr error = session->inputError(input)) {
            refuse(captureError(
                kCaptureErrorDeviceNotConnected, error->localizedDescription(),
                error->recoverySuggestion().value_or("Check the camera, then record again.")));
            return;
        }
        if (!session->isInputLive(input)) {
            continue;
        }
        recording->connections.push_back(connection);
        if (input->device()->hasMediaType(kMediaTypeVideo)) {
            videoConnection = connection;
        } else {
            soundConnection = true;
        }
    }
    if (recording->connections.empty()) {
        refuse(captureError(kCaptureErrorDeviceNotConnected,
                            "There is no camera or microphone to record from.",
                            "Connect a camera or microphone, then record again."));
        return;
    }

    ErrorPtr error;
    recording->writer = AssetWriter::create(fileURL, kFileTypeQuickTimeMovie, &error);
    if (recording->writer && videoConnection) {
        const CapturePictureSize size =
            CaptureSession::pictureSizeForPreset(session->sessionPreset());
        const double frameRate = session->videoFrameRate() > 0 ? session->videoFrameRate() : 30.0;
        recording->frameSeconds = 1.0 / frameRate;
        MediaSettings compression = PlistValue::dictionary();
        compression.set(kVideoAverageBitRateKey,
                        PlistValue::real(kVideoBitsPerPixel * size.width * size.height));
        compression.set(kVideoMaxKeyFrameIntervalKey,
                        PlistValue::integer(keyFrameInterval(frameRate)));
        MediaSettings settings = PlistValue::dictionary();
        settings.set(kVideoCodecKey, PlistValue::string(kVideoCodecH264));
        settings.set(kVideoWidthKey, PlistValue::integer(size.width));
        settings.set(kVideoHeightKey, PlistValue::integer(size.height));
        settings.set(kVideoCompressionPropertiesKey, compression);
        recording->videoInputSettings = settings;
        recording->videoInput = AssetWriterInput::create(kMediaTypeVideo, settings, &error);
        if (recording->videoInput) {
            const int turns = quarterTurnsForOrientation(videoConnection->videoOrientation());
            recording->videoInput->setTransform(
                MediaTransform::rotation(turns, size.width, size.height));
            recording->writer->addInput(recording->videoInput);
            recording->adaptor = PixelBufferAdaptor::create(recording->videoInput);
        }
    }
    if (recording->writer && soundConnection && !error) {
        MediaSettings settings = PlistValue::dictionary();
        settings.set(kFormatIDKey, PlistValue::integer(kAudioFormatMPEG4AAC));
        settings.set(kNumberOfChannelsKey, PlistValue::integer(kSoundChannels));
        settings.set(kSampleRateKey, PlistValue::real(kSoundSampleRate));
        settings.set(kEncoderBitRateKey, PlistValue::integer(kSoundBitRateBps));
        recording->soundInput = AssetWriterInput::create(kMediaTypeAudio, settings, &error);
        if (recording->soundInput) {
            recording->writer->addInput(recording->soundInput);
        }
    }
    if (error || !recording->writer->startWriting()) {
        refuse(writingError(error ? error : recording->writer->error(), fileURL));
        return;
    }
    if (recording->adaptor) {
        recording->tap = _tap;
        if (auto tap = recording->tap.lock()) {
            MediaSettings settings = recording->videoInputSettings;
            tap->recordingBegan(fileURL, settings, 1.0 / recording->frameSeconds);
        }
    }
    _current = std::move(recording);
    _recording = true;
    auto connections = _current->connections;
    auto weakDelegate = _current->delegate;
    std::weak_ptr<Object> weakSelf = weak_from_this();
    _callbacks->post([weakSelf, weakDelegate, fileURL, connections]() {
        auto self = std::static_pointer_cast<MovieFileOutput>(weakSelf.lock());
        auto delegate = weakDelegate.lock();
        if (self && delegate) {
            delegate->captureOutputDidStartRecording(*self, fileURL, connections);
        }
    });
}

void MovieFileOutput::stopRecording() {
    if (_current) {
        finish(nullptr, true);
    }
}

void MovieFileOutput::capturePicture(const PixelBufferPtr& picture, double hostSeconds) {
    if (!_recording || _picturesInFlight.load() >= kMaxPicturesInFlight) {
        return;
    }
    ++_picturesInFlight;
    const std::uint64_t generation = _generation.load();
    std::weak_ptr<Object> weakSelf = weak_from_this();
    RunLoop::post([weakSelf, generation, picture, hostSeconds]() {
        if (auto self = std::static_pointer_cast<MovieFileOutput>(weakSelf.lock())) {
            --self->_picturesInFlight;
            self->appendPicture(generation, picture, hostSeconds);
        }
    });
}

void MovieFileOutput::captureSound(const SampleBufferPtr& sample) {
    if (!_recording || _soundsInFlight.load() >= kMaxSoundsInFlight) {
        return;
    }
    ++_soundsInFlight;
    const std::uint64_t generation = _generation.load();
    std::weak_ptr<Object> weakSelf = weak_from_this();
    RunLoop::post([weakSelf, generation, sample]() {
        if (auto self = std::static_pointer_cast<MovieFileOutput>(weakSelf.lock())) {
            --self->_soundsInFlight;
            self->appendSound(generation, sample);
        }
    });
}

bool MovieFileOutput::beginAt(double hostSeconds) {
    if (!_current->started) {
        _current->started = true;
        _current->startSeconds = hostSeconds;
        _current->writer->startSessionAtSourceTime(
            MediaTime::makeWithSeconds(hostSeconds, kMicrosecondTimescale));
    }
    return true;
}

bool MovieFileOutput::reachedLimit(double hostSeconds) {
    if (!_maxRecordedDuration.isNumeric() ||
        hostSeconds - _current->startSeconds < _maxRecordedDuration.seconds()) {
        return false;
    }
    finish(captureError(kCaptureErrorMaximumDurationReached, "Recording Stopped",
                        "The recording reached the maximum allowable length."),
           true);
    return true;
}

void MovieFileOutput::appendPicture(std::uint64_t generation, const PixelBufferPtr& picture,
                                    double hostSeconds) {
    if (!_current || _current->generation != generation || !_current->adaptor) {
        return;
    }
    if (!_current->started) {
        beginAt(hostSeconds);
    }
    if (hostSeconds < _current->startSeconds || reachedLimit(hostSeconds)) {
        return;
    }
    if (!_current->adaptor->appendPixelBuffer(
            picture, MediaTime::makeWithSeconds(hostSeconds, kMicrosecondTimescale))) {
        if (_current->writer->status() == AssetWriterStatus::Failed) {
            failWriting();
        }
        return; // a picture out of order is dropped
    }
    _current->recordedSeconds = std::max(
        _current->recordedSeconds, hostSeconds - _current->startSeconds + _current->frameSeconds);
    if (auto tap = _current->tap.lock()) {
        tap->recordingKeptPicture(picture, hostSeconds - _current->startSeconds);
    }
}

void MovieFileOutput::appendSound(std::uint64_t generation, const SampleBufferPtr& sample) {
    if (!_current || _current->generation != generation || !_current->soundInput) {
        return;
    }
    const double seconds = sample->presentationTime().seconds();
    if (!_current->started) {
        if (_current->adaptor) {
            return; // the movie starts with its first picture
        }
        beginAt(seconds);
    }
    if (reachedLimit(seconds)) {
        return;
    }
    if (!_current->soundInput->appendSampleBuffer(sample)) {
        if (_current->writer->status() == AssetWriterStatus::Failed) {
            failWriting();
        }
        return;
    }
    if (!_current->adaptor) {
        const double rate = sample->formatDescription()->streamDescription().sampleRate;
        _current->recordedSeconds =
            std::max(_current->recordedSeconds,
                     seconds - _current->startSeconds + sample->numSamples() / rate);
    }
}

void MovieFileOutput::failWriting() {
    finish(writingError(_current->writer->error(), _current->url), false);
}

void MovieFileOutput::inputDidFail(const CaptureDeviceInputPtr& input, const ErrorPtr& error) {
    if (!_current) {
        return;
    }
    const bool used =
        std::any_of(_current->connections.begin(), _current->connections.end(),
                    [&](const auto& c) { return c->inputPorts().front()->input() == input; });
    if (used) {
        finish(captureError(
                   kCaptureErrorDeviceNotConnected, error->localizedDescription(),
                   error->recoverySuggestion().value_or("Check the camera, then record again.")),
               true);
    }
}

void MovieFileOutput::sessionDidStop() {
    if (_current) {
        finish(captureError(kCaptureErrorSessionNotRunning,
                            "The recording stopped because the camera was turned off.",
                            "Keep the camera on while recording."),
               true);
    }
}

void MovieFileOutput::finish(ErrorPtr error, bool keepMovie) {
    std::unique_ptr<Recording> recording = std::move(_current);
    _recording = false;
    if (keepMovie && recording->started) {
        if (!recording->writer->finishWriting()) {
            error = writingError(recording->writer->error(), recording->url);
        }
    } else {
        recording->writer->cancelWriting();
        if (!error) {
            error = captureError(kCaptureErrorNoDataCaptured, "Nothing was recorded.",
                                 "Record for a little longer.");
        }
    }
    _lastRecordedSeconds = recording->recordedSeconds;
    if (auto tap = recording->tap.lock()) {
        const bool kept = keepMovie && recording->started &&
                          recording->writer->status() == AssetWriterStatus::Completed;
        tap->recordingEnded(kept);
    }
    report(recording->url, recording->connections, recording->delegate, error);
}

void MovieFileOutput::report(const std::string& url,
                             const std::vector<CaptureConnectionPtr>& connections,
                             const std::weak_ptr<CaptureFileOutputRecordingDelegate>& weakDelegate,
                             const ErrorPtr& error) {
    std::weak_ptr<Object> weakSelf = weak_from_this();
    _callbacks->post([weakSelf, weakDelegate, url, connections, error]() {
        auto self = std::static_pointer_cast<MovieFileOutput>(weakSelf.lock());
        auto delegate = weakDelegate.lock();
        if (self && delegate) {
            delegate->captureOutputDidFinishRecording(*self, url, connections, error);
        }
    });
}

} // namespace tx
