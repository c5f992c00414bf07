// Records what a capture session delivers to a QuickTime movie: H.264 pictures with a keyframe
// every second (so a recording reverses cheaply) and AAC sound, tagged with the orientation of
// the video connection. The end of every recording is reported on a thread of its own.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/media/MediaTime.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/capture/CaptureDeviceInput.h"
#include "platform/media/capture/CapturePictureTap.h"

#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class AssetWriter;
class AssetWriterInput;
class CaptureSession;
class MovieFileOutput;
class PixelBufferAdaptor;

// Errors with which a recording ends (domain kCaptureErrorDomain). Each carries a description
// and a recovery suggestion for the user.
inline const std::string kCaptureErrorDomain = "CaptureErrorDomain";
enum CaptureErrorCode : long {
    kCaptureErrorUnknown = -11800,
    kCaptureErrorSessionNotRunning = -11803,
    kCaptureErrorNoDataCaptured = -11805,
    kCaptureErrorDiskFull = -11807,
    kCaptureErrorMaximumDurationReached = -11810,
    kCaptureErrorDeviceNotConnected = -11814,
    kCaptureErrorFileWriteFailed = -11823,
};

// Video orientations of a connection.
enum CaptureVideoOrientation : int {
    kCaptureVideoOrientationPortrait = 1,
    kCaptureVideoOrientationPortraitUpsideDown = 2,
    kCaptureVideoOrientationLandscapeRight = 3,
    kCaptureVideoOrientationLandscapeLeft = 4,
};

class CaptureInputPort : public Object {
public:
    CaptureInputPort(std::string mediaType, CaptureDeviceInputPtr input)
        : _mediaType(std::move(mediaType)), _input(std::move(input)) {}
    const std::string& mediaType() const { return _mediaType; }
    const CaptureDeviceInputPtr& input() const { return _input; }

private:
    std::string _mediaType;
    CaptureDeviceInputPtr _input;
};

using CaptureInputPortPtr = std::shared_ptr<CaptureInputPort>;

// The path from one session input to the output.
class CaptureConnection : public Object {
public:
    explicit CaptureConnection(std::vector<CaptureInputPortPtr> ports)
        : _inputPorts(std::move(ports)) {}
    const std::vector<CaptureInputPortPtr>& inputPorts() const { return _inputPorts; }
    bool isVideoOrientationSupported() const;
    int videoOrientation() const { return _videoOrientation; }
    void setVideoOrientation(int orientation) { _videoOrientation = orientation; }

private:
    std::vector<CaptureInputPortPtr> _inputPorts;
    int _videoOrientation = kCaptureVideoOrientationPortrait;
};

using CaptureConnectionPtr = std::shared_ptr<CaptureConnection>;

class CaptureFileOutputRecordingDelegate {
public:
    virtual ~CaptureFileOutputRecordingDelegate() = default;
    // Called on the output's callback thread once writing has begun.
    virtual void
    captureOutputDidStartRecording(MovieFileOutput& output, const std::string& fileURL,
                                   const std::vector<CaptureConnectionPtr>& connections) {
        (void)output, (void)fileURL, (void)connections;
    }
    // Called on the output's callback thread when the recording has ended; `error` is empty when
    // it ended as asked. After kCaptureErrorMaximumDurationReached the movie is complete at
    // `fileURL`.
    virtual void
    captureOutputDidFinishRecording(MovieFileOutput& output, const std::string& fileURL,
                                    const std::vector<CaptureConnectionPtr>& connections,
                                    const ErrorPtr& error) = 0;
};

class MovieFileOutput : public Object {
public:
    static std::shared_ptr<MovieFileOutput> create();
    ~MovieFileOutput() override;

    // One connection per session input (empty outside a session).
    const std::vector<CaptureConnectionPtr>& connections() const { return _connections; }

    // Starts recording to a file path (main thread). Whatever goes wrong, including at once,
    // reaches the delegate's didFinish with an error. The delegate is not retained.
    void startRecordingToOutputFileURL(
        const std::string& fileURL,
        const std::shared_ptr<CaptureFileOutputRecordingDelegate>& delegate);
    // Ends the recording and completes the movie; the report follows on the callback thread.
    void stopRecording();
    bool isRecording() const { return _recording; }
    const std::string& outputFileURL() const { return _url; }

    // Shown every picture of the recordings started from now on; not retained.
    void setPictureTap(std::weak_ptr<CapturePictureTap> tap) { _tap = std::move(tap); }

    // An invalid time means no limit (the default).
    void setMaxRecordedDuration(const MediaTime& duration) { _maxRecordedDuration = duration; }
    const MediaTime& maxRecordedDuration() const { return _maxRecordedDuration; }
    // Of the recording in progress or the last one.
    MediaTime recordedDuration() const;

    // Pictures of the keyframe distance in the movie: one second's worth.
    static int keyFrameInterval(double frameRate);
    // The display-matrix turn (clockwise quarter turns) for a connection's orientation: our
    // cameras deliver upright pictures when the device is held in portrait.
    static int quarterTurnsForOrientation(int orientation);

    // Capture layer internals: the session wires the output and hands it what it captures
    // (from the sources' threads).
    void setSession(const std::shared_ptr<CaptureSession>& session);
    void updateConnections(const std::vector<CaptureDeviceInputPtr>& inputs);
    void capturePicture(const PixelBufferPtr& picture, double hostSeconds);
    void captureSound(const SampleBufferPtr& sample);
    void inputDidFail(const CaptureDeviceInputPtr& input, const ErrorPtr& error);
    void sessionDidStop();

private:
    struct Recording;
    void appendPicture(std::uint64_t generation, const PixelBufferPtr& picture, double hostSeconds);
    void appendSound(std::uint64_t generation, const SampleBufferPtr& sample);
    bool beginAt(double hostSeconds);
    bool reachedLimit(double hostSeconds);
    void finish(ErrorPtr error, bool keepMovie);
    void failWriting();
    void report(const std::string& url, const std::vector<CaptureConnectionPtr>& connections,
                const std::weak_ptr<CaptureFileOutputRecordingDelegate>& delegate,
                const ErrorPtr& error);

    std::weak_ptr<CaptureSession> _session;
    std::weak_ptr<CapturePictureTap> _tap;
    std::vector<CaptureConnectionPtr> _connections;
    MediaTime _maxRecordedDuration = MediaTime::invalid();
    std::string _url;
    std::unique_ptr<Recording> _current;
    std::atomic<bool> _recording{false};
    std::atomic<std::uint64_t> _generation{0};
    std::atomic<int> _picturesInFlight{0};
    std::atomic<int> _soundsInFlight{0};
    double _lastRecordedSeconds = 0;

    // The thread that reports to recording delegates.
    class CallbackThread;
    std::unique_ptr<CallbackThread> _callbacks;
};

using MovieFileOutputPtr = std::shared_ptr<MovieFileOutput>;

} // namespace tx
