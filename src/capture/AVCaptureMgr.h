// The camera of the main screen: one capture session with the back (or front) camera and the
// microphone, a live preview, recording to a movie file with a maximum length, elapsed-time
// reports ten times a second, and the device orientation read from the accelerometer.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Timer.h"
#include "platform/media/capture/CaptureSession.h"
#include "platform/media/capture/Layer.h"
#include "platform/media/capture/MovieFileOutput.h"
#include "platform/media/capture/VideoPreviewLayer.h"
#include "platform/sensors/Accelerometer.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace tx {

class AVCaptureMgr;

// Every report arrives on the main thread.
class AVCaptureMgrDelegate {
public:
    virtual ~AVCaptureMgrDelegate() = default;
    virtual void avCaptureMgrDidUpdate(AVCaptureMgr& mgr, float seconds) = 0;
    virtual void avCaptureMgrDidFinish(AVCaptureMgr& mgr, const std::string& fileURL) = 0;
    virtual void avCaptureMgrDidError(AVCaptureMgr& mgr, const ErrorPtr& error) = 0;
    virtual void avCaptureMgrDidChangeOrientation(AVCaptureMgr& mgr, int orientation) = 0;
};

class AVCaptureMgr : public Object,
                     public CaptureFileOutputRecordingDelegate,
                     public AccelerometerDelegate {
public:
    // Builds the session with the microphone, the back camera and the movie output, and puts the
    // preview inside `parentLayer` (which may be empty); the session does not run yet.
    static std::shared_ptr<AVCaptureMgr> initWithPreview(const LayerPtr& parentLayer,
                                                         const std::string& preset);
    ~AVCaptureMgr() override;

    void startup();
    void shutdown();
    void start();
    void stop();
    bool running() const;

    bool startCaptureWithPath(const std::string& path);
    void stopCapture();
    bool isCapture() const;

    void setMaxRecordedDuration(std::int64_t seconds);
    float getMaxRecordedDuration() const;
    float getRecordedDuration() const;
    VideoPreviewLayerPtr getVideoLayer() const { return _captureVideoPreviewLayer; }
    void setPreset(const std::string& preset);

    void swapFrontAndBackCameras();
    void showCameras(bool front);
    int getCurDevicePosition() const;
    void debugPrintDevices();

    static CaptureDevicePtr cameraWithPosition(CaptureDevicePosition position);
    static bool canCamera(bool front);

    // Properties. The delegate is not retained; it must derive from AVCaptureMgrDelegate to be
    // told anything.
    const std::string& outputPath() const { return _outputPath; }
    void setOutputPath(const std::string& path) { _outputPath = path; }
    std::shared_ptr<Object> delegate() const { return _delegate.lock(); }
    void setDelegate(const std::shared_ptr<Object>& delegate) { _delegate = delegate; }
    int videoOrientation() const { return videoOrientation_; }
    const CaptureSessionPtr& captureSession() const { return _captureSession; }
    const MovieFileOutputPtr& movieFileOutput() const { return _videoFileOuput; }
    bool hasUpdateTimer() const { return static_cast<bool>(_updateTimer); }

    // The orientation a sample gives, 0 for a device lying flat; and the classification of an
    // angle (radians) with inclusive bounds, the earlier range winning.
    static int orientationForAcceleration(float x, float y);
    static int orientationForAngle(float angle);
    // The orientation last reported to any manager's delegate (0 before the first).
    static int lastReportedOrientation();
    static void resetLastReportedOrientation();

    // Callbacks.
    void update(Timer& timer);
    void didUpdate();
    void didFinish(const std::string& fileURL);
    void didError(const ErrorPtr& error);
    void
    captureOutputDidStartRecording(MovieFileOutput& output, const std::string& fileURL,
                                   const std::vector<CaptureConnectionPtr>& connections) override;
    void captureOutputDidFinishRecording(MovieFileOutput& output, const std::string& fileURL,
                                         const std::vector<CaptureConnectionPtr>& connections,
                                         const ErrorPtr& error) override;
    void accelerometerDidAccelerate(Accelerometer& accelerometer,
                                    const Acceleration& acceleration) override;
    void didStartRunningNotification(const Notification& notification);
    void didStopRunningNotification(const Notification& notification);
    void interruptedNotification(const Notification& notification);
    void interruptedEndedNotification(const Notification& notification);

    AVCaptureMgr() = default;

private:
    std::shared_ptr<AVCaptureMgrDelegate> conformingDelegate() const;
    CaptureDeviceInputPtr currentVideoInput() const;
    void switchCamera(const CaptureDeviceInputPtr& current, CaptureDevicePosition target);

    CaptureSessionPtr _captureSession;
    VideoPreviewLayerPtr _captureVideoPreviewLayer;
    MovieFileOutputPtr _videoFileOuput;
    TimerPtr _updateTimer;
    int videoOrientation_ = kCaptureVideoOrientationPortrait;
    std::string _outputPath;
    std::weak_ptr<Object> _delegate;
    std::mutex _lock;
};

using AVCaptureMgrPtr = std::shared_ptr<AVCaptureMgr>;

} // namespace tx
