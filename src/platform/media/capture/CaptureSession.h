// A capture session: camera and microphone inputs feeding the movie output and the preview
// while it runs, at the size its preset names.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/media/capture/CaptureDeviceInput.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tx {

class CaptureSource;
class MovieFileOutput;
class VideoPreviewLayer;

inline const std::string kCaptureSessionPresetHigh = "AVCaptureSessionPresetHigh";
inline const std::string kCaptureSessionPresetMedium = "AVCaptureSessionPresetMedium";
inline const std::string kCaptureSessionPreset640x480 = "AVCaptureSessionPreset640x480";

// Posted on the main thread with the session as object.
inline const std::string kCaptureSessionDidStartRunningNotification =
    "AVCaptureSessionDidStartRunningNotification";
inline const std::string kCaptureSessionDidStopRunningNotification =
    "AVCaptureSessionDidStopRunningNotification";
inline const std::string kCaptureSessionWasInterruptedNotification =
    "AVCaptureSessionWasInterruptedNotification";
inline const std::string kCaptureSessionInterruptionEndedNotification =
    "AVCaptureSessionInterruptionEndedNotification";
// Posted with the error as object when a device fails while the session runs.
inline const std::string kCaptureSessionRuntimeErrorNotification =
    "AVCaptureSessionRuntimeErrorNotification";

struct CapturePictureSize {
    int width = 0;
    int height = 0;
};

class CaptureSession : public Object {
public:
    static std::shared_ptr<CaptureSession> create();
    ~CaptureSession() override;

    // One input per media type; a device is in at most one input of the session.
    bool canAddInput(const CaptureDeviceInputPtr& input) const;
    void addInput(const CaptureDeviceInputPtr& input);
    void removeInput(const CaptureDeviceInputPtr& input);
    const std::vector<CaptureDeviceInputPtr>& inputs() const { return _inputs; }

    // One movie output per session.
    bool canAddOutput(const std::shared_ptr<MovieFileOutput>& output) const;
    void addOutput(const std::shared_ptr<MovieFileOutput>& output);
    void removeOutput(const std::shared_ptr<MovieFileOutput>& output);
    const std::vector<std::shared_ptr<MovieFileOutput>>& outputs() const { return _outputs; }

    // Medium is 480x360, 640x480 is 640x480, High (the first preset) is 640x480.
    bool canSetSessionPreset(const std::string& preset) const;
    void setSessionPreset(const std::string& preset);
    const std::string& sessionPreset() const { return _sessionPreset; }
    static CapturePictureSize pictureSizeForPreset(const std::string& preset);

    // Opens the devices and starts the flow of pictures and sound; a device that does not open
    // is reported with kCaptureSessionRuntimeErrorNotification and left out.
    void startRunning();
    // Stops every device; a recording in progress ends with an error.
    void stopRunning();
    bool isRunning() const { return _running; }

    // Changes between these two calls take effect together at the commit.
    void beginConfiguration();
    void commitConfiguration();

    // How many changes (inputs, outputs, preset) the session has applied; a request that changes
    // nothing does not count.
    std::uint64_t changeCount() const { return _changeCount; }

    // Capture layer internals.
    void attachPreviewLayer(const std::shared_ptr<VideoPreviewLayer>& layer);
    // Whether the input's device is delivering (the session runs and its device opened).
    bool isInputLive(const CaptureDeviceInputPtr& input) const;
    // The error with which the input's device failed, if it did.
    ErrorPtr inputError(const CaptureDeviceInputPtr& input) const;
    // Nominal pictures per second of the live camera, 0 without one.
    double videoFrameRate() const;
    // Reopens or closes devices after inputs changed (no effect while not running or while
    // configuring).
    void applyConfiguration();

    // Deliveries from the sources' threads; shared so a source outliving a callback is safe.
    struct Hub;

private:
    void startSources();
    void stopSources();
    void inputDidFail(const CaptureDeviceInputPtr& input, const ErrorPtr& error);

    std::vector<CaptureDeviceInputPtr> _inputs;
    std::vector<std::shared_ptr<MovieFileOutput>> _outputs;
    std::string _sessionPreset = kCaptureSessionPresetHigh;
    bool _running = false;
    int _configurationDepth = 0;
    bool _configurationChanged = false;
    std::uint64_t _changeCount = 0;
    std::map<const CaptureDeviceInput*, std::unique_ptr<CaptureSource>> _sources;
    std::map<const CaptureDeviceInput*, ErrorPtr> _inputErrors;
    std::shared_ptr<Hub> _hub;
};

using CaptureSessionPtr = std::shared_ptr<CaptureSession>;

} // namespace tx
