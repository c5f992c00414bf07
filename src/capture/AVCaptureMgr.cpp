#include "AVCaptureMgr.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"

#include <atomic>
#include <cmath>

namespace tx {

namespace {

// The one orientation last reported to a delegate, shared by every manager.
std::atomic<int> gLastReportedOrientation{0};

constexpr double kAccelerometerIntervalSeconds = 0.5;
// The report period is the single-precision 0.1 (0.100000001490116 s).
constexpr float kUpdateIntervalSeconds = 0.1f;
// Below this on both axes the device lies flat and tells nothing.
constexpr double kFlatThresholdG = 0.01;
constexpr float kPortraitLow = -2.25f;
constexpr float kLandscapeLow = -0.75f;
constexpr float kLandscapeHigh = 0.75f;
constexpr float kPortraitHigh = 2.25f;

} // namespace

std::shared_ptr<AVCaptureMgr> AVCaptureMgr::initWithPreview(const LayerPtr& parentLayer,
                                                            const std::string& preset) {
    auto mgr = std::make_shared<AVCaptureMgr>();
    mgr->debugPrintDevices();
    Accelerometer& accelerometer = Accelerometer::sharedAccelerometer();
    accelerometer.setDelegate(mgr.get());
    accelerometer.setUpdateInterval(kAccelerometerIntervalSeconds);
    mgr->videoOrientation_ = kCaptureVideoOrientationPortrait;

    mgr->_captureSession = CaptureSession::create();
    mgr->_captureVideoPreviewLayer = VideoPreviewLayer::create(mgr->_captureSession);
    if (parentLayer) {
        mgr->_captureVideoPreviewLayer->setFrame(parentLayer->frame());
    }
    mgr->_captureVideoPreviewLayer->setVideoGravity(kLayerVideoGravityResizeAspectFill);
    if (parentLayer) {
        parentLayer->addSublayer(mgr->_captureVideoPreviewLayer);
    }

    // Inputs and outputs that cannot be made or added are left out without a report.
    if (auto microphone = CaptureDeviceInput::deviceInputWithDevice(
            CaptureDevice::defaultDeviceWithMediaType(kMediaTypeAudio));
        microphone && mgr->_captureSession->canAddInput(microphone)) {
        mgr->_captureSession->addInput(microphone);
    }
    if (auto camera = CaptureDeviceInput::deviceInputWithDevice(
            cameraWithPosition(CaptureDevicePosition::Back));
        camera && mgr->_captureSession->canAddInput(camera)) {
        mgr->_captureSession->addInput(camera);
    }
    mgr->_videoFileOuput = MovieFileOutput::create();
    if (mgr->_captureSession->canAddOutput(mgr->_videoFileOuput)) {
        mgr->_captureSession->addOutput(mgr->_videoFileOuput);
    }
    if (mgr->_captureSession->canSetSessionPreset(preset)) {
        mgr->_captureSession->setSessionPreset(preset);
    }
    return mgr;
}

AVCaptureMgr::~AVCaptureMgr() {
    Accelerometer& accelerometer = Accelerometer::sharedAccelerometer();
    if (accelerometer.delegate() == this) {
        accelerometer.setDelegate(nullptr);
    }
    NotificationCenter::defaultCenter().removeObserver(this);
    if (_updateTimer) {
        _updateTimer->invalidate();
    }
    if (_captureSession) {
        _captureSession->stopRunning();
    }
    if (_captureVideoPreviewLayer) {
        _captureVideoPreviewLayer->removeFromSuperlayer();
    }
}

void AVCaptureMgr::startup() {
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, kCaptureSessionDidStartRunningNotification,
                       [this](const Notification& n) { didStartRunningNotification(n); });
    center.addObserver(this, kCaptureSessionDidStopRunningNotification,
                       [this](const Notification& n) { didStopRunningNotification(n); });
    center.addObserver(this, kCaptureSessionWasInterruptedNotification,
                       [this](const Notification& n) { interruptedNotification(n); });
    center.addObserver(this, kCaptureSessionInterruptionEndedNotification,
                       [this](const Notification& n) { interruptedEndedNotification(n); });
}

void AVCaptureMgr::shutdown() {
    auto& center = NotificationCenter::defaultCenter();
    center.removeObserver(this, kCaptureSessionDidStartRunningNotification);
    center.removeObserver(this, kCaptureSessionDidStopRunningNotification);
    center.removeObserver(this, kCaptureSessionWasInterruptedNotification);
    center.removeObserver(this, kCaptureSessionInterruptionEndedNotification);
}

// The session's notifications are observed and, by design, ignored.
void AVCaptureMgr::didStartRunningNotification(const Notification&) {}
void AVCaptureMgr::didStopRunningNotification(const Notification&) {}
void AVCaptureMgr::interruptedNotification(const Notification&) {}
void AVCaptureMgr::interruptedEndedNotification(const Notification&) {}

void AVCaptureMgr::start() {
    _captureVideoPreviewLayer->setHidden(false);
    if (!_captureSession->isRunning()) {
        _captureSession->startRunning();
    }
}

void AVCaptureMgr::stop() {
    if (_captureSession->isRunning()) {
        _captureSession->stopRunning();
    }
    _captureVideoPreviewLayer->setHidden(true);
}

bool AVCaptureMgr::running() const {
    return _captureSession->isRunning();
}

bool AVCaptureMgr::startCaptureWithPath(const std::string& path) {
    if (fileExists(path)) {
        removeFile(path);
    }
    for (const auto& connection : _videoFileOuput->connections()) {
        for (const auto& port : connection->inputPorts()) {
            if (port->mediaType() == kMediaTypeVideo && connection->isVideoOrientationSupported()) {
                connection->setVideoOrientation(videoOrientation_);
            }
        }
    }
    _videoFileOuput->startRecordingToOutputFileURL(
        path, std::static_pointer_cast<AVCaptureMgr>(shared_from_this()));
    if (!_updateTimer) {
        std::weak_ptr<Object> weak = weak_from_this();
        _updateTimer = Timer::scheduled(
            kUpdateIntervalSeconds, true,
            [weak](Timer& timer) {
                if (auto self = std::static_pointer_cast<AVCaptureMgr>(weak.lock())) {
                    self->update(timer);
                }
            },
            true);
    }
    return true;
}

void AVCaptureMgr::stopCapture() {
    if (_updateTimer) {
        _updateTimer->invalidate();
        _updateTimer.reset();
    }
    std::lock_guard lock(_lock);
    if (_videoFileOuput->isRecording()) {
        _videoFileOuput->stopRecording();
    }
}

bool AVCaptureMgr::isCapture() const {
    return _videoFileOuput->isRecording();
}

void AVCaptureMgr::setMaxRecordedDuration(std::int64_t seconds) {
    _videoFileOuput->setMaxRecordedDuration(MediaTime::make(seconds * 1000, 1000));
}

float AVCaptureMgr::getMaxRecordedDuration() const {
    return static_cast<float>(_videoFileOuput->maxRecordedDuration().seconds());
}

float AVCaptureMgr::getRecordedDuration() const {
    return static_cast<float>(_videoFileOuput->recordedDuration().seconds());
}

void AVCaptureMgr::setPreset(const std::string& preset) {
    if (_captureSession->canSetSessionPreset(preset) &&
        _captureSession->sessionPreset() != preset) {
        _captureSession->setSessionPreset(preset);
    }
}

CaptureDeviceInputPtr AVCaptureMgr::currentVideoInput() const {
    for (const auto& input : _captureSession->inputs()) {
        if (input->device()->hasMediaType(kMediaTypeVideo)) {
            return input;
        }
    }
    return nullptr;
}

void AVCaptureMgr::switchCamera(const CaptureDeviceInputPtr& current,
                                CaptureDevicePosition target) {
    ErrorPtr ignored;
    auto replacement =
        CaptureDeviceInput::deviceInputWithDevice(cameraWithPosition(target), &ignored);
    if (!replacement) {
        return; // no camera there: keep the one in use rather than end up with none
    }
    const bool wasRunning = _captureSession->isRunning();
    if (wasRunning) {
        _captureSession->stopRunning();
    }
    _captureSession->beginConfiguration();
    _captureSession->removeInput(current);
    _captureSession->addInput(replacement);
    _captureSession->commitConfiguration();
    if (wasRunning) {
        _captureSession->startRunning();
    }
}

void AVCaptureMgr::swapFrontAndBackCameras() {
    auto current = currentVideoInput();
    if (!current) {
        return;
    }
    const auto target = current->device()->position() == CaptureDevicePosition::Front
                            ? CaptureDevicePosition::Back
                            : CaptureDevicePosition::Front;
    switchCamera(current, target);
}

void AVCaptureMgr::showCameras(bool front) {
    auto current = currentVideoInput();
    const auto target = front ? CaptureDevicePosition::Front : CaptureDevicePosition::Back;
    if (!current || current->device()->position() == target) {
        return;
    }
    switchCamera(current, target);
}

int AVCaptureMgr::getCurDevicePosition() const {
    auto current = currentVideoInput();
    return current ? static_cast<int>(current->device()->position()) : 0;
}

void AVCaptureMgr::debugPrintDevices() {
    // Reads each camera's position and nothing more; no diagnostics are written.
    for (const auto& device : CaptureDevice::devices()) {
        if (device->hasMediaType(kMediaTypeVideo)) {
            [[maybe_unused]] const CaptureDevicePosition position = device->position();
        }
    }
}

CaptureDevicePtr AVCaptureMgr::cameraWithPosition(CaptureDevicePosition position) {
    for (const auto& device : CaptureDevice::devicesWithMediaType(kMediaTypeVideo)) {
        if (device->position() == position) {
            return device;
        }
    }
    return nullptr;
}

bool AVCaptureMgr::canCamera(bool front) {
    return cameraWithPosition(front ? CaptureDevicePosition::Front : CaptureDevicePosition::Back) !=
           nullptr;
}

std::shared_ptr<AVCaptureMgrDelegate> AVCaptureMgr::conformingDelegate() const {
    return std::dynamic_pointer_cast<AVCaptureMgrDelegate>(_delegate.lock());
}

void AVCaptureMgr::update(Timer&) {
    auto self = std::static_pointer_cast<AVCaptureMgr>(shared_from_this());
    RunLoop::performOnMain([self]() { self->didUpdate(); }, false);
}

void AVCaptureMgr::didUpdate() {
    if (auto delegate = conformingDelegate()) {
        delegate->avCaptureMgrDidUpdate(*this, getRecordedDuration());
    }
}

void AVCaptureMgr::didFinish(const std::string& fileURL) {
    if (auto delegate = conformingDelegate()) {
        delegate->avCaptureMgrDidFinish(*this, fileURL);
    }
}

void AVCaptureMgr::didError(const ErrorPtr& error) {
    if (auto delegate = conformingDelegate()) {
        delegate->avCaptureMgrDidError(*this, error);
    }
}

void AVCaptureMgr::captureOutputDidStartRecording(MovieFileOutput&, const std::string&,
                                                  const std::vector<CaptureConnectionPtr>&) {}

void AVCaptureMgr::captureOutputDidFinishRecording(MovieFileOutput&, const std::string& fileURL,
                                                   const std::vector<CaptureConnectionPtr>&,
                                                   const ErrorPtr& error) {
    // Arrives on the output's own thread: forward to the main thread without waiting.
    auto self = std::static_pointer_cast<AVCaptureMgr>(shared_from_this());
    if (error) {
        RunLoop::performOnMain([self, error]() { self->didError(error); }, false);
    } else {
        RunLoop::performOnMain([self, fileURL]() { self->didFinish(fileURL); }, false);
    }
}

int AVCaptureMgr::orientationForAngle(float angle) {
    if (angle >= kPortraitLow && angle <= kLandscapeLow) {
        return kCaptureVideoOrientationPortrait;
    }
    if (angle >= kLandscapeLow && angle <= kLandscapeHigh) {
        return kCaptureVideoOrientationLandscapeRight;
    }
    // The upside-down range also gives portrait.
    if (angle >= kLandscapeHigh && angle <= kPortraitHigh) {
        return kCaptureVideoOrientationPortrait;
    }
    return kCaptureVideoOrientationLandscapeLeft;
}

int AVCaptureMgr::orientationForAcceleration(float x, float y) {
    if (std::fabs(x) < kFlatThresholdG && std::fabs(y) < kFlatThresholdG) {
        return 0;
    }
    // Single precision on purpose: the thresholds were tuned on these values.
    const float angle = std::atan2(y, -x);
    return orientationForAngle(angle);
}

int AVCaptureMgr::lastReportedOrientation() {
    return gLastReportedOrientation.load();
}

void AVCaptureMgr::resetLastReportedOrientation() {
    gLastReportedOrientation = 0;
}

void AVCaptureMgr::accelerometerDidAccelerate(Accelerometer&, const Acceleration& acceleration) {
    const int orientation = orientationForAcceleration(static_cast<float>(acceleration.x),
                                                       static_cast<float>(acceleration.y));
    if (orientation == 0) {
        return;
    }
    videoOrientation_ = orientation;
    if (orientation == gLastReportedOrientation.load()) {
        return;
    }
    gLastReportedOrientation = orientation;
    if (auto delegate = conformingDelegate()) {
        delegate->avCaptureMgrDidChangeOrientation(*this, orientation);
    }
}

} // namespace tx
