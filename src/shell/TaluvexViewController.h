// The main recording screen: the live camera picture, recording, picking a movie, the render
// backwards with the chosen sound and speed under a progress overlay, then the share screen on
// the new movie. It carries the settings panel and opens the movie library.
#pragma once

#include "app/FileRenderProgressView.h"
#include "platform/foundation/Translation.h"
#include "app/MainScreen.h"
#include "capture/AVCaptureMgr.h"
#include "platform/foundation/RunLoop.h"
#include "platform/system/ImagePickerController.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"
#include "platform/ui/CameraPreviewView.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ViewController.h"
#include "render/AVFileRenderMgr.h"
#include "settings/SettingViewController.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tx {

// Names of the notifications posted around every render.
inline const std::string kConvertingWillStart = "convertingWillStart";
inline const std::string kConvertingWillStop = "convertingWillStop";
// The settings panel's slide notifications (kSettingWillAppear…) come with its header.

class TaluvexViewController : public ViewController,
                              public MainScreen,
                              public AVCaptureMgrDelegate,
                              public AVFileRenderMgrDelegate,
                              public FileRenderProgressViewDelegate,
                              public ImagePickerControllerDelegate,
                              public AlertViewDelegate {
public:
    static constexpr double kBottomBarHeight = 98;
    static constexpr std::int64_t kMaxRecordedSeconds = 900;
    // The record sound plays before a recording starts and after it stops.
    static constexpr double kRecordSoundDelaySeconds = 0.1;
    // A camera render starts once its overlay has faded in.
    static constexpr double kRenderStartDelaySeconds = 0.5;
    static constexpr const char* kRatingMessage =
        N_("If you like this app, please rate it 5 stars!");
    static constexpr const char* kCaptureFileName = "capture.mov";

    TaluvexViewController();
    ~TaluvexViewController() override;

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    void viewDidUnload() override;
    bool keyPressed(const KeyEvent& event) override;
    void addKeyBindings(KeyTable& table) override;
    View* keyboardContainer() override;
    bool filesDropped(const std::vector<std::string>& paths) override;

    // User actions.
    void onCaptureAndStop();
    void onLoadVideo();
    void onMovies();
    void onSwitchCameraPosition();

    // MainScreen: a recording runs, or is about to start.
    bool isRecording() const override;
    void cancelRecording() override;
    std::shared_ptr<AVCaptureMgr> avCaptureMgr() const override { return _avCaptureMgr; }
    ViewController& mainViewController() override { return *this; }
    bool isBusy() const override;
    void stopForQuit() override;

    // The thumbnail of the newest movie in Documents, empty when there is none; writes missing
    // thumbnails on the way.
    std::string lastVideoPath();
    void setNewSwitchPosition(int code);
    void setNewStatusPosition(int code);
    // Shows the elapsed time of a recording, as "hh:mm:ss".
    static std::string recordTimeText(float seconds);
    // The speed handed to the engine: the stored one when it is one the panel offers, else 100.
    static std::int32_t renderTempo(std::int32_t storedSpeed);
    // Where the camera records.
    static std::string capturePath();

    // AVCaptureMgrDelegate
    void avCaptureMgrDidUpdate(AVCaptureMgr& mgr, float seconds) override;
    void avCaptureMgrDidFinish(AVCaptureMgr& mgr, const std::string& fileURL) override;
    void avCaptureMgrDidError(AVCaptureMgr& mgr, const ErrorPtr& error) override;
    void avCaptureMgrDidChangeOrientation(AVCaptureMgr& mgr, int orientation) override;
    // AVFileRenderMgrDelegate
    void avFileRenderMgrDidUpdate(AVFileRenderMgr* mgr, float progress) override;
    void avFileRenderMgrDidFinish(AVFileRenderMgr* mgr, bool finished) override;
    void avFileRenderMgrDidError(AVFileRenderMgr* mgr, const ErrorPtr& error) override;
    // FileRenderProgressViewDelegate
    void fileRenderProgressViewCanceled(FileRenderProgressView& view, bool canceled) override;
    // ImagePickerControllerDelegate
    void
    imagePickerControllerDidFinishPickingMediaWithInfo(ImagePickerController& picker,
                                                       const ImagePickerMediaInfo& info) override;
    void imagePickerControllerDidCancel(ImagePickerController& picker) override;
    // AlertViewDelegate (the rating prompt)
    void alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) override;

    // Properties and views, for the application and tests.
    const std::shared_ptr<AVFileRenderMgr>& avRenderMgr() const { return _avRenderMgr; }
    const std::shared_ptr<FileRenderProgressView>& fileRenderProgressView() const {
        return _fileRenderProgressView;
    }
    const std::shared_ptr<SettingViewController>& settingViewController() const {
        return _settingViewController;
    }
    int currentOrientation() const { return _currentOrientation; }
    bool isSupportedFrontCamera() const { return _isSupportedFrontCamera; }
    Rect screenFrame() const { return _screenFrame; }
    const ViewPtr& bottomBarView() const { return _bottomBarView; }
    const std::shared_ptr<CameraPreviewView>& captureView() const { return _captureView; }
    const ViewPtr& statusRecordTime() const { return _statusRecordTime; }
    const std::shared_ptr<Label>& labelRecordTime() const { return _labelRecordTime; }
    // Which camera is in use, shown for a few seconds on start and after a swap.
    const std::shared_ptr<Label>& cameraNameLabel() const { return _cameraName; }
    static constexpr double kCameraNameSeconds = 3.0;
    void showCameraName();
    const std::shared_ptr<ImageView>& ivLastThumb() const { return _ivLastThumb; }
    const std::shared_ptr<Button>& switchCameraPosition() const { return _switchCameraPosition; }
    const std::shared_ptr<Button>& moviesButton() const { return _moviesButton; }
    const std::shared_ptr<Button>& recordButton() const { return _recordButton; }
    const std::shared_ptr<Button>& loadVideoButton() const { return _loadVideoButton; }
    const std::shared_ptr<AlertView>& ratingAlert() const { return _ratingAlert; }
    // The last alert this screen showed (failures and the rating prompt).
    const std::shared_ptr<AlertView>& lastAlert() const { return _lastAlert; }
    // The render waits for its delayed start.
    bool isRenderStartPending() const { return _renderStartCall != 0; }
    // The desktop's screensaver is held off while recording and rendering.
    bool isHoldingScreensaver() const { return _holdingScreensaver; }

    // The two arrangements of the controls: while recording, and otherwise.
    void recordingLayout();
    void idleLayout();

private:
    void setButtonsEnabled(bool enabled);
    void observeNotifications();
    void startCapture();
    // Output name, converting-will-start, and the engine set up on `sourcePath` with the chosen
    // sound and speed; it does not start yet.
    // `stretch`: the part of the source to render, an invalid range for all of it.
    void prepareRender(const std::string& sourcePath,
                       const TimeRange& stretch = {MediaTime::invalid(), MediaTime::invalid()});
    void showProgressOverlay();
    void startPreparedRender();
    // A render that failed to start, failed or was cancelled: back to idle.
    void endRender();
    void renderDidNotStart(const ErrorPtr& cause);
    // The alert for a movie that could not be made from `input`, keeping a recording first.
    void showRenderFailure(const std::string& input, const std::string& message);
    void showAlert(const std::string& message);
    void turnSimulatedDevice(int steps);
    void updateScreensaverHold();
    void applyOrientation(int code);
    std::shared_ptr<TaluvexViewController> self() {
        return std::static_pointer_cast<TaluvexViewController>(shared_from_this());
    }

    bool _isSupportedFrontCamera = false;
    ViewPtr _bottomBarView;
    Rect _screenFrame;
    std::shared_ptr<AVCaptureMgr> _avCaptureMgr;
    std::shared_ptr<AVFileRenderMgr> _avRenderMgr;
    // The recording in progress, reversed as it is made; handed to its render.
    ReverseAheadRecorderPtr _reverseAhead;
    std::shared_ptr<SettingViewController> _settingViewController;
    std::shared_ptr<FileRenderProgressView> _fileRenderProgressView;
    std::shared_ptr<CameraPreviewView> _captureView;
    LayerPtr _captureLayer;
    ViewPtr _statusRecordTime;
    std::shared_ptr<Label> _labelRecordTime;
    std::shared_ptr<Label> _cameraName;
    int _cameraNameSerial = 0;
    bool _cameraNameShownOnce = false;
    std::shared_ptr<ImageView> _ivLastThumb;
    std::string _lastThumbPath;
    int _thumbnailObserver = 0;
    std::shared_ptr<Button> _switchCameraPosition;
    std::shared_ptr<Button> _moviesButton;
    std::shared_ptr<Button> _recordButton;
    std::shared_ptr<Button> _loadVideoButton;
    int _currentOrientation = 1;

    std::shared_ptr<AlertView> _ratingAlert;
    std::shared_ptr<AlertView> _lastAlert;
    std::shared_ptr<ImagePickerController> _picker;
    // The recording starts 0.1 s after the press; a second press before that calls it off.
    RunLoop::DelayedCallId _captureStartCall = 0;
    // Stopped, its file not reported yet: a new recording would overwrite it.
    bool _awaitingRecordingEnd = false;
    RunLoop::DelayedCallId _renderStartCall = 0;
    bool _quitting = false;
    bool _holdingScreensaver = false;
    std::shared_ptr<void> _screensaverToken;
    int _simulatedTurn = 0;
};

} // namespace tx
