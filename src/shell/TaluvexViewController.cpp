#include "shell/TaluvexViewController.h"
#include "platform/foundation/Translation.h"

#include "platform/ui/KeyTable.h"

#include "app/AppConfigureInfo.h"
#include "app/CustomEffectSound.h"
#include "app/FileInfo.h"
#include "app/TaluvexAppDelegate.h"
#include "app/ThumbnailQueue.h"
#include "library/MoviesViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Paths.h"
#include "platform/sensors/Accelerometer.h"
#include "platform/system/PhotoAlbum.h"
#include "platform/ui/Application.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"
#include "share/ShareViewController.h"

// The desktop's screensaver inhibit comes with the desktop services; built without them, the
// screen only keeps its own count.
#if __has_include("platform/system/IdleInhibitor.h")
#include "platform/system/IdleInhibitor.h"
#define TX_HAVE_IDLE_INHIBITOR 1
#endif

#include <cmath>
#include <cstdio>

namespace tx {

namespace {

constexpr double kScreenWidth = 320;
constexpr double kOrientationFadeSeconds = 0.2;
// What the desktop may show as the reason it stays awake.
const char* const kScreensaverReason = N_("Recording or rendering a movie");
// The settings panel's card is centred above a 54-point strip.
constexpr double kSettingsStripHeight = 54;
const Rect kSwitchCameraFrame(10, 10, 50, 30);
const Rect kTimeHolderFrame(217, 10, 93, 28);
const Rect kRecordFrame(125, 14, 70, 70);
const Rect kThumbFrame(22, 24, 50, 50);
const Rect kLoadVideoFrame(248, 24, 50, 50);

// The orientation codes of the device, in the order a clockwise turn goes through them, with
// the acceleration the simulated device feels in each.
struct DevicePose {
    double x;
    double y;
};
constexpr DevicePose kPoses[] = {{0, -1}, {-1, 0}, {0, 1}, {1, 0}};

std::shared_ptr<Button> makeButton(const std::string& picture, const Rect& frame) {
    auto button = std::make_shared<Button>(frame);
    button->setImage(Image::imageNamed(picture + "_" + std::to_string(int(frame.width() * 2)) +
                                       "_" + std::to_string(int(frame.height() * 2))),
                     ControlStateNormal);
    button->setImage(Image::imageNamed(picture + "_P_" + std::to_string(int(frame.width() * 2)) +
                                       "_" + std::to_string(int(frame.height() * 2))),
                     ControlStateHighlighted);
    return button;
}

void playEffect(const std::string& effect) {
    CustomEffectSound::share()->playEffectSound(effect);
}

void playEffectLater(const std::string& effect, double seconds) {
    RunLoop::postAfter(seconds, [effect] { playEffect(effect); });
}

TaluvexAppDelegate* appDelegate() {
    return TaluvexAppDelegate::sharedDelegate();
}

} // namespace

TaluvexViewController::TaluvexViewController() = default;

TaluvexViewController::~TaluvexViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    if (_thumbnailObserver != 0) {
        ThumbnailQueue::shared().removeObserver(_thumbnailObserver);
    }
    if (_captureStartCall != 0) {
        RunLoop::cancel(_captureStartCall);
    }
    if (_renderStartCall != 0) {
        RunLoop::cancel(_renderStartCall);
    }
    if (_avRenderMgr) {
        _avRenderMgr->stop();
    }
    if (_avCaptureMgr) {
        _avCaptureMgr->stopCapture();
        _avCaptureMgr->stop();
        _avCaptureMgr->shutdown();
    }
}

std::string TaluvexViewController::capturePath() {
    return privateTemporaryDirectory() + kCaptureFileName;
}

void TaluvexViewController::loadView() {
    const Rect bounds = Screen::mainScreen().bounds();
    const double h = bounds.height();
    auto root = std::make_shared<View>(bounds);
    root->setBackgroundColor(Color::black());

    _captureView = std::make_shared<CameraPreviewView>(Rect(0, 0, kScreenWidth, h));
    _captureView->setAccessibilityLabel(_("Camera picture"));
    root->addSubview(_captureView);

    _bottomBarView =
        std::make_shared<View>(Rect(0, h - kBottomBarHeight, kScreenWidth, kBottomBarHeight));
    auto bar = std::make_shared<ImageView>(Rect(0, 0, kScreenWidth, kBottomBarHeight));
    bar->setImage(Image::imageNamed("main_bottom_bar_640_196"));
    _bottomBarView->addSubview(bar);

    // The movies button shows its own picture until there is a newest movie, whose thumbnail
    // then lies over it in a frame; touches pass through both to the button.
    _moviesButton = makeButton("movies_btn", kThumbFrame);
    _moviesButton->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onMovies(); });
    _moviesButton->setAccessibilityLabel(_("Library"));
    _bottomBarView->addSubview(_moviesButton);
    _ivLastThumb = std::make_shared<ImageView>(kThumbFrame);
    _ivLastThumb->setContentMode(ContentMode::ScaleAspectFill);
    _ivLastThumb->setClipsToBounds(true);
    _ivLastThumb->setUserInteractionEnabled(false);
    _bottomBarView->addSubview(_ivLastThumb);
    auto thumbFrame = std::make_shared<ImageView>(kThumbFrame);
    thumbFrame->setImage(Image::imageNamed("thumb_frame_100_100"));
    thumbFrame->setUserInteractionEnabled(false);
    thumbFrame->setTag(1);
    _bottomBarView->addSubview(thumbFrame);

    _recordButton = makeButton("record_btn", kRecordFrame);
    _recordButton->setImage(Image::imageNamed("record_btn_S_140_140"), ControlStateSelected);
    _recordButton->setImage(Image::imageNamed("record_btn_S_P_140_140"),
                            ControlStateSelected | ControlStateHighlighted);
    _recordButton->addTarget(this, ControlEventTouchUpInside,
                             [this](Control&) { onCaptureAndStop(); });
    // Latched while recording: a screen reader says "Record, checked".
    _recordButton->setAccessibilityLabel(_("Record"));
    _bottomBarView->addSubview(_recordButton);

    _loadVideoButton = makeButton("load_video_btn", kLoadVideoFrame);
    _loadVideoButton->addTarget(this, ControlEventTouchUpInside,
                                [this](Control&) { onLoadVideo(); });
    _loadVideoButton->setAccessibilityLabel(_("Pick a movie"));
    _bottomBarView->addSubview(_loadVideoButton);
    root->addSubview(_bottomBarView);

    _switchCameraPosition = makeButton("switch_camera_btn", kSwitchCameraFrame);
    _switchCameraPosition->addTarget(this, ControlEventTouchUpInside,
                                     [this](Control&) { onSwitchCameraPosition(); });
    _switchCameraPosition->setAccessibilityLabel(_("Swap camera"));
    root->addSubview(_switchCameraPosition);

    _statusRecordTime = std::make_shared<View>(kTimeHolderFrame);
    auto holder = std::make_shared<ImageView>(
        Rect(0, 0, kTimeHolderFrame.width(), kTimeHolderFrame.height()));
    holder->setImage(Image::imageNamed("time_holder_bg_186_56"));
    _statusRecordTime->addSubview(holder);
    _labelRecordTime = std::make_shared<Label>(Rect(19, 0, 70, kTimeHolderFrame.height()));
    _labelRecordTime->setFont(Font::boldSystemFont(14));
    _labelRecordTime->setTextColor(Color::whiteColor());
    _statusRecordTime->addSubview(_labelRecordTime);
    _statusRecordTime->setHidden(true);
    root->addSubview(_statusRecordTime);
    _cameraName = std::make_shared<Label>(Rect(40, 12, 240, 26));
    _cameraName->setFont(Font::boldSystemFont(13));
    _cameraName->setTextAlignment(TextAlignment::Center);
    _cameraName->setBackgroundColor(Color::black().withAlpha(0.55));
    _cameraName->setCornerRadius(8);
    _cameraName->setUserInteractionEnabled(false);
    _cameraName->setHidden(true);
    root->addSubview(_cameraName);
    setView(root);
}

void TaluvexViewController::viewDidLoad() {
    _screenFrame = view()->bounds();
    // The screen never dims while the application runs; the desktop's screensaver is held off
    // while recording and rendering.
    Application::sharedApplication().setIdleTimerDisabled(true);
    observeNotifications();
    _currentOrientation = 1;

    _settingViewController = std::make_shared<SettingViewController>();
    view()->addSubview(_settingViewController->view());
    view()->bringSubviewToFront(_bottomBarView.get());
    view()->bringSubviewToFront(_switchCameraPosition.get());
    view()->bringSubviewToFront(_statusRecordTime.get());

    _isSupportedFrontCamera = AVCaptureMgr::canCamera(true);
    if (!_isSupportedFrontCamera) {
        _switchCameraPosition->setEnabled(false);
        _switchCameraPosition->setHidden(true);
    }

    // The camera starts at the stored quality: 0 is the larger picture, anything else medium.
    auto config = AppConfigureInfo::shareAppConfigureInfo();
    const std::string& preset =
        config->quality() == 0 ? kCaptureSessionPreset640x480 : kCaptureSessionPresetMedium;
    _captureLayer = Layer::create();
    _avCaptureMgr = AVCaptureMgr::initWithPreview(_captureLayer, preset);
    _avCaptureMgr->setDelegate(shared_from_this());
    _avCaptureMgr->setMaxRecordedDuration(kMaxRecordedSeconds);
    _avCaptureMgr->startup();

    const double h = _screenFrame.height();
    _captureView->setFrame(Rect(0, 0, _captureView->frame().width(), h - kBottomBarHeight));
    _captureLayer->setFrame(LayerFrame{0, 0, kScreenWidth, h - kBottomBarHeight});
    if (VideoPreviewLayerPtr preview = _avCaptureMgr->getVideoLayer()) {
        preview->setFrame(_captureLayer->frame());
        preview->setVideoGravity(kLayerVideoGravityResizeAspectFill);
        std::weak_ptr<VideoPreviewLayer> weakPreview = preview;
        CameraPreviewView::Source source;
        source.serial = [weakPreview]() -> std::uint64_t {
            auto layer = weakPreview.lock();
            return layer ? layer->pictureSerial() : 0;
        };
        source.picture = [weakPreview](int pixelWidth, int pixelHeight) -> QImage {
            auto layer = weakPreview.lock();
            if (!layer) {
                return {};
            }
            // Converted and scaled in one pass; the pixels move into the picture uncopied.
            auto pixels =
                std::make_unique<PreviewImage>(layer->latestImage(pixelWidth, pixelHeight));
            if (pixels->isEmpty()) {
                return {};
            }
            PreviewImage* raw = pixels.release();
            return QImage(
                raw->pixels.data(), raw->width, raw->height, raw->bytesPerRow(),
                QImage::Format_RGB32, [](void* info) { delete static_cast<PreviewImage*>(info); },
                raw);
        };
        _captureView->setSource(std::move(source));
    }
    idleLayout();
}

void TaluvexViewController::observeNotifications() {
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, kSettingWillAppear,
                       [this](const Notification&) { setButtonsEnabled(false); });
    center.addObserver(this, kSettingDidAppear, [](const Notification&) {});
    center.addObserver(this, kSettingWillDisappear, [](const Notification&) {});
    center.addObserver(this, kSettingDidDisappear,
                       [this](const Notification&) { setButtonsEnabled(true); });
    center.addObserver(this, kConvertingWillStart, [this](const Notification&) {
        setButtonsEnabled(false);
        _settingViewController->enable(false);
        _avCaptureMgr->stop();
        updateScreensaverHold();
    });
    center.addObserver(this, kConvertingWillStop, [this](const Notification&) {
        setButtonsEnabled(true);
        _settingViewController->enable(true);
        if (!_quitting) {
            _avCaptureMgr->start();
        }
        updateScreensaverHold();
    });
}

void TaluvexViewController::setButtonsEnabled(bool enabled) {
    _moviesButton->setEnabled(enabled);
    _recordButton->setEnabled(enabled);
    _loadVideoButton->setEnabled(enabled);
    if (_isSupportedFrontCamera) {
        _switchCameraPosition->setEnabled(enabled);
    }
}

void TaluvexViewController::viewWillAppear(bool) {
    // Back from the library or the share screen, unless a render holds the camera.
    if (!_avRenderMgr) {
        _avCaptureMgr->start();
        if (!_cameraNameShownOnce) {
            _cameraNameShownOnce = true;
            showCameraName();
        }
    }
    const std::string thumb = lastVideoPath();
    _ivLastThumb->setImage(thumb.empty() ? nullptr : Image::imageWithContentsOfFile(thumb));
}

void TaluvexViewController::viewDidDisappear(bool) {
    _avCaptureMgr->stop();
}

void TaluvexViewController::viewDidUnload() {
    NotificationCenter::defaultCenter().removeObserver(this);
    _settingViewController.reset();
    _avCaptureMgr->stopCapture();
    _avCaptureMgr->stop();
    _avCaptureMgr->shutdown();
    _avCaptureMgr.reset();
}

void TaluvexViewController::recordingLayout() {
    _recordButton->setSelected(true);
    _statusRecordTime->setHidden(false);
    if (_isSupportedFrontCamera) {
        _switchCameraPosition->setHidden(true);
    }
    _moviesButton->setHidden(true);
    _ivLastThumb->setHidden(true);
    _bottomBarView->viewWithTag(1)->setHidden(true);
    _loadVideoButton->setHidden(true);
    _settingViewController->enable(false);
}

void TaluvexViewController::idleLayout() {
    _recordButton->setSelected(false);
    _statusRecordTime->setHidden(true);
    if (_isSupportedFrontCamera) {
        _switchCameraPosition->setHidden(false);
    }
    _moviesButton->setHidden(false);
    _ivLastThumb->setHidden(false);
    _bottomBarView->viewWithTag(1)->setHidden(false);
    _loadVideoButton->setHidden(false);
    _settingViewController->enable(true);
}

std::string TaluvexViewController::recordTimeText(float seconds) {
    const int t = static_cast<int>(seconds);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", (t / 3600) % 60, (t / 60) % 60, t % 60);
    return text;
}

std::int32_t TaluvexViewController::renderTempo(std::int32_t storedSpeed) {
    // The panel shows any other stored value as x 1.0; the render follows what it shows.
    return storedSpeed == 70 || storedSpeed == 130 ? storedSpeed : 100;
}

bool TaluvexViewController::isRecording() const {
    return _captureStartCall != 0 || (_avCaptureMgr && _avCaptureMgr->isCapture());
}

bool TaluvexViewController::isBusy() const {
    return isRecording() || _awaitingRecordingEnd || _avRenderMgr != nullptr ||
           PhotoAlbum::isSaving();
}

void TaluvexViewController::onCaptureAndStop() {
    if (_captureStartCall != 0) {
        // Pressed again before the recording began: nothing was recorded, nothing to keep.
        RunLoop::cancel(_captureStartCall);
        _captureStartCall = 0;
        playEffectLater(kSoundEffect_Recording, kRecordSoundDelaySeconds);
        idleLayout();
        return;
    }
    if (_avCaptureMgr->isCapture()) {
        _awaitingRecordingEnd = true;
        _avCaptureMgr->stopCapture();
        playEffectLater(kSoundEffect_Recording, kRecordSoundDelaySeconds);
        idleLayout();
        return;
    }
    if (_awaitingRecordingEnd) {
        // The last recording is still being completed in "capture.mov"; a new one would
        // overwrite it before it is rendered.
        return;
    }
    playEffect(kSoundEffect_Recording);
    std::weak_ptr<Object> weakSelf = weak_from_this();
    _captureStartCall = RunLoop::postAfter(kRecordSoundDelaySeconds, [weakSelf] {
        if (auto self = std::dynamic_pointer_cast<TaluvexViewController>(weakSelf.lock())) {
            self->_captureStartCall = 0;
            self->startCapture();
            self->updateScreensaverHold();
        }
    });
    recordingLayout();
    _labelRecordTime->setText(recordTimeText(0));
}

void TaluvexViewController::updateScreensaverHold() {
    const bool hold = isBusy();
    if (hold == _holdingScreensaver) {
        return;
    }
    _holdingScreensaver = hold;
#ifdef TX_HAVE_IDLE_INHIBITOR
    _screensaverToken = hold ? IdleInhibitor::shared().inhibit(_(kScreensaverReason)) : nullptr;
#endif
}

void TaluvexViewController::startCapture() {
    _awaitingRecordingEnd = true;
    // The recording is reversed while it is made, for the speed chosen now (the settings are
    // locked while recording), so that the movie is ready soon after Stop.
    _reverseAhead = ReverseAheadRecorder::create(
        renderTempo(AppConfigureInfo::shareAppConfigureInfo()->videoSpeed()));
    if (_avCaptureMgr->movieFileOutput()) {
        _avCaptureMgr->movieFileOutput()->setPictureTap(_reverseAhead);
    }
    if (!_avCaptureMgr->startCaptureWithPath(capturePath()) && !_avCaptureMgr->isCapture()) {
        // Whatever went wrong reaches the delegate as a recording error.
        return;
    }
}

void TaluvexViewController::cancelRecording() {
    if (_captureStartCall != 0) {
        RunLoop::cancel(_captureStartCall);
        _captureStartCall = 0;
        idleLayout();
        return;
    }
    if (_avCaptureMgr->isCapture()) {
        _awaitingRecordingEnd = true;
    }
    _avCaptureMgr->stopCapture();
    idleLayout();
}

void TaluvexViewController::stopForQuit() {
    _quitting = true;
    cancelRecording();
    // A save to Videos stops and leaves nothing half-copied.
    PhotoAlbum::cancelAllSaves();
    if (_renderStartCall != 0) {
        RunLoop::cancel(_renderStartCall);
        _renderStartCall = 0;
    }
    if (_avRenderMgr) {
        // Stopping removes the partial movie.
        _avRenderMgr->stop();
        _avRenderMgr.reset();
    }
}

void TaluvexViewController::avCaptureMgrDidUpdate(AVCaptureMgr& mgr, float seconds) {
    if (mgr.isCapture()) {
        _labelRecordTime->setText(recordTimeText(seconds));
    }
}

void TaluvexViewController::avCaptureMgrDidFinish(AVCaptureMgr&, const std::string& fileURL) {
    _awaitingRecordingEnd = false;
    idleLayout();
    if (_quitting) {
        updateScreensaverHold();
        return;
    }
    prepareRender(fileURL);
    // The overlay fades in first; a cancel before the start leaves nothing to start.
    showProgressOverlay();
    std::weak_ptr<Object> weakSelf = weak_from_this();
    std::weak_ptr<AVFileRenderMgr> weakEngine = _avRenderMgr;
    _renderStartCall = RunLoop::postAfter(kRenderStartDelaySeconds, [weakSelf, weakEngine] {
        auto self = std::dynamic_pointer_cast<TaluvexViewController>(weakSelf.lock());
        if (!self) {
            return;
        }
        self->_renderStartCall = 0;
        if (self->_avRenderMgr && self->_avRenderMgr == weakEngine.lock()) {
            self->startPreparedRender();
        }
    });
    // What can be made before the start (a recording's own sound, reversed) is begun now; the
    // delay counts from the end of the recording all the same.
    _avRenderMgr->prepare();
}

void TaluvexViewController::showProgressOverlay() {
    _fileRenderProgressView = std::make_shared<FileRenderProgressView>();
    _fileRenderProgressView->setDelegate(sharedAs<FileRenderProgressViewDelegate>());
    _fileRenderProgressView->show();
}

void TaluvexViewController::avCaptureMgrDidError(AVCaptureMgr& mgr, const ErrorPtr& error) {
    // A recording stopped at its maximum length is complete: it is rendered like any other.
    if (error && error->domain() == kCaptureErrorDomain &&
        error->code() == kCaptureErrorMaximumDurationReached && fileExists(capturePath())) {
        avCaptureMgrDidFinish(mgr, capturePath());
        return;
    }
    _awaitingRecordingEnd = false;
    _reverseAhead.reset(); // nothing to render: its groups go
    idleLayout();
    updateScreensaverHold();
    if (_quitting) {
        return;
    }
    std::string message = error && error->recoverySuggestion() ? *error->recoverySuggestion() : "";
    if (message.empty() && error) {
        message = error->localizedDescription();
    }
    showAlert(message);
}

void TaluvexViewController::prepareRender(const std::string& sourcePath, const TimeRange& stretch) {
    const std::string outputPath = documentsDirectory() + "/" + uniqueString() + ".mov";
    removeFile(outputPath);
    NotificationCenter::defaultCenter().post(kConvertingWillStart);

    TaluvexAppDelegate* delegate = appDelegate();
    const std::int32_t audioType =
        delegate ? delegate->audioType() : TaluvexAppDelegate::kAudioTypeMute;
    if (delegate && audioType == TaluvexAppDelegate::kAudioTypeFromVideo) {
        delegate->setAudioTrackURL(sourcePath);
    }
    _avRenderMgr = AVFileRenderMgr::create();
    _avRenderMgr->setIsReverseSpeed(audioType == TaluvexAppDelegate::kAudioTypeFromVideo);
    _avRenderMgr->setDelegate(weak_from_this());
    _avRenderMgr->setInputVideoUrl(sourcePath);
    _avRenderMgr->setSourceTimeRange(stretch);
    // The groups made while recording go with the render that may use them; it removes them.
    _avRenderMgr->setPicturesAhead(std::move(_reverseAhead));
    _reverseAhead.reset();
    _avRenderMgr->setInputAudioUrl(delegate ? delegate->audioTrackURL() : std::string());
    _avRenderMgr->setOutputPath(outputPath);
    _avRenderMgr->setTempo(renderTempo(AppConfigureInfo::shareAppConfigureInfo()->videoSpeed()));
    updateScreensaverHold();
}

void TaluvexViewController::startPreparedRender() {
    if (!_avRenderMgr->start()) {
        renderDidNotStart(_avRenderMgr->startError());
    }
}

void TaluvexViewController::renderDidNotStart(const ErrorPtr& cause) {
    // Nothing will be reported for a render that never started: back to idle at once.
    const std::string input = _avRenderMgr ? _avRenderMgr->inputVideoUrl() : "";
    const std::string source = lastPathComponent(input);
    endRender();
    std::string message = withArguments(_("\"%1\" cannot be rendered"), {source});
    if (cause) {
        message = withArguments(_("\"%1\" cannot be rendered: %2"),
                                {source, cause->localizedDescription()});
    }
    showRenderFailure(input, message);
}

void TaluvexViewController::showRenderFailure(const std::string& input,
                                              const std::string& message) {
    // A recording lives in the private folder that goes at quit: when its movie cannot be made,
    // the recording itself is kept in Videos rather than lost, and the alert says where.
    if (input != capturePath() || !fileExists(input) || _quitting) {
        showAlert(message);
        return;
    }
    std::weak_ptr<Object> weak = weak_from_this();
    PhotoAlbum::writeVideoAtPathToSavedPhotosAlbum(
        input, [weak, message](const std::string& saved, const ErrorPtr& error) {
            auto self = std::dynamic_pointer_cast<TaluvexViewController>(weak.lock());
            if (!self) {
                return;
            }
            const std::string kept =
                error ? withArguments(_("The recording could not be kept: %1"),
                                      {error->localizedDescription()})
                      : withArguments(_("The recording is kept as %1."),
                                      {PhotoAlbum::pathForDisplay(saved)});
            self->showAlert(message.empty() ? kept : message + "\n" + kept);
            self->updateScreensaverHold();
        });
    updateScreensaverHold();
}

void TaluvexViewController::endRender() {
    if (_renderStartCall != 0) {
        RunLoop::cancel(_renderStartCall);
        _renderStartCall = 0;
    }
    if (_fileRenderProgressView) {
        _fileRenderProgressView->hide();
        _fileRenderProgressView.reset();
    }
    _avRenderMgr.reset();
    NotificationCenter::defaultCenter().post(kConvertingWillStop);
}

void TaluvexViewController::avFileRenderMgrDidUpdate(AVFileRenderMgr*, float progress) {
    if (_fileRenderProgressView) {
        _fileRenderProgressView->setProgress(progress * 0.9f + 0.1f);
    }
}

void TaluvexViewController::avFileRenderMgrDidFinish(AVFileRenderMgr* mgr, bool) {
    const std::string outputPath = mgr ? mgr->outputPath() : _avRenderMgr->outputPath();
    if (_fileRenderProgressView) {
        _fileRenderProgressView->hide();
        _fileRenderProgressView.reset();
    }
    NotificationCenter::defaultCenter().post(kConvertingWillStop);
    if (TaluvexAppDelegate* delegate = appDelegate()) {
        delegate->generatorThumbFile(outputPath);
    }
    auto share = std::make_shared<ShareViewController>();
    share->setPath(outputPath);
    presentViewController(share, true);
    // The engine reports from inside itself: it is let go on the next turn.
    std::shared_ptr<AVFileRenderMgr> finished = std::move(_avRenderMgr);
    RunLoop::post([finished] {});
    updateScreensaverHold();

    auto config = AppConfigureInfo::shareAppConfigureInfo();
    if (config->countFinishedRender()) {
        _ratingAlert =
            std::make_shared<AlertView>("", _(kRatingMessage), sharedAs<AlertViewDelegate>(),
                                        _("NO"), std::vector<std::string>{_("YES")});
        _lastAlert = _ratingAlert;
        _ratingAlert->show();
    }
}

void TaluvexViewController::avFileRenderMgrDidError(AVFileRenderMgr*, const ErrorPtr& error) {
    std::shared_ptr<AVFileRenderMgr> failed = _avRenderMgr;
    const std::string input = failed ? failed->inputVideoUrl() : "";
    // The engine completes what it wrote before the failure; in Documents that would be a
    // movie cut short, listed in the library as if it were whole. It goes.
    if (failed && !failed->outputPath().empty()) {
        removeFile(failed->outputPath());
    }
    endRender();
    RunLoop::post([failed] {});
    showRenderFailure(input, error ? error->localizedDescription() : std::string());
}

void TaluvexViewController::fileRenderProgressViewCanceled(FileRenderProgressView&, bool) {
    // The overlay hides itself.
    _fileRenderProgressView.reset();
    if (_renderStartCall != 0) {
        RunLoop::cancel(_renderStartCall);
        _renderStartCall = 0;
    }
    if (_avRenderMgr) {
        _avRenderMgr->stop();
    }
    endRender();
}

void TaluvexViewController::alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) {
    if (&alertView != _ratingAlert.get()) {
        return;
    }
    _ratingAlert.reset();
    if (buttonIndex == alertView.cancelButtonIndex()) {
        return;
    }
    auto config = AppConfigureInfo::shareAppConfigureInfo();
    config->setRate(true);
    config->save();
    // The software centre's page of the application.
    Application::sharedApplication().openURL(std::string("appstream://") +
                                             TaluvexAppDelegate::kAppId);
}

void TaluvexViewController::showAlert(const std::string& message) {
    _lastAlert = std::make_shared<AlertView>("", message, std::weak_ptr<AlertViewDelegate>(),
                                             _("OK"), std::vector<std::string>{});
    _lastAlert->show();
}

void TaluvexViewController::onLoadVideo() {
    playEffect(kSoundEffect_BtnClick);
    _picker = std::make_shared<ImagePickerController>();
    _picker->setAllowsEditing(true);
    _picker->setDelegate(sharedAs<ImagePickerControllerDelegate>());
    presentViewController(_picker, true);
}

bool TaluvexViewController::filesDropped(const std::vector<std::string>& paths) {
    if (presentedViewController() || isBusy() || paths.empty()) {
        return false;
    }
    // The panel closes first: the render that follows must not run under it.
    if (_settingViewController && _settingViewController->isOpen()) {
        _settingViewController->onShowHideButton();
    }
    // A dropped movie takes the picker's road from its trim screen.
    _picker = std::make_shared<ImagePickerController>();
    _picker->setAllowsEditing(true);
    _picker->setInitialMoviePath(paths.front());
    _picker->setDelegate(sharedAs<ImagePickerControllerDelegate>());
    presentViewController(_picker, true);
    return true;
}

void TaluvexViewController::imagePickerControllerDidFinishPickingMediaWithInfo(
    ImagePickerController& picker, const ImagePickerMediaInfo& info) {
    picker.dismissViewController(false);
    _picker.reset();
    if (info.mediaType != kUTTypeMovie || info.mediaURL.empty() || !fileExists(info.mediaURL)) {
        return;
    }
    prepareRender(info.mediaURL, info.mediaTimeRange);
    if (!_avRenderMgr->start()) {
        renderDidNotStart(_avRenderMgr->startError());
        return;
    }
    showProgressOverlay();
}

void TaluvexViewController::imagePickerControllerDidCancel(ImagePickerController& picker) {
    picker.dismissViewController(true);
    _picker.reset();
}

void TaluvexViewController::onMovies() {
    playEffect(kSoundEffect_BtnClick);
    presentViewController(std::make_shared<MoviesViewController>(), true);
}

void TaluvexViewController::onSwitchCameraPosition() {
    _avCaptureMgr->swapFrontAndBackCameras();
    showCameraName();
}

void TaluvexViewController::showCameraName() {
    const auto position = static_cast<CaptureDevicePosition>(_avCaptureMgr->getCurDevicePosition());
    CaptureDevicePtr camera = AVCaptureMgr::cameraWithPosition(position);
    // Before the session has its input the camera it opens is the back one, else the front.
    for (auto fallback : {CaptureDevicePosition::Back, CaptureDevicePosition::Front}) {
        if (!camera) {
            camera = AVCaptureMgr::cameraWithPosition(fallback);
        }
    }
    if (!camera) {
        return;
    }
    _cameraName->setText(camera->isVirtual() ? _("Test pattern (no camera found)")
                                             : camera->localizedName());
    _cameraName->setHidden(false);
    _cameraName->setAlpha(1);
    view()->bringSubviewToFront(_cameraName.get());
    const int serial = ++_cameraNameSerial;
    std::weak_ptr<Object> weakSelf = weak_from_this();
    RunLoop::postAfter(kCameraNameSeconds, [this, weakSelf, serial] {
        if (!weakSelf.lock() || serial != _cameraNameSerial || !_cameraName) {
            return;
        }
        View::animate(0.3, [this] { _cameraName->setAlpha(0); },
                      [this, weakSelf, serial](bool) {
                          if (weakSelf.lock() && serial == _cameraNameSerial) {
                              _cameraName->setHidden(true);
                          }
                      });
    });
}

std::string TaluvexViewController::lastVideoPath() {
    // Only the newest movie's thumbnail matters here; when it is missing it is made on the
    // thumbnail queue's thread and shown once written, never at the cost of the window.
    auto movies = FileInfo::moviesBelow(documentsDirectory());
    if (movies.empty()) {
        return {};
    }
    const std::string thumb = movies.front()->thumbPath();
    if (!fileExists(thumb)) {
        ThumbnailQueue& queue = ThumbnailQueue::shared();
        if (_thumbnailObserver == 0) {
            std::weak_ptr<Object> weakSelf = weak_from_this();
            _thumbnailObserver = queue.addObserver([weakSelf](const std::string& moviePath) {
                auto self = std::static_pointer_cast<TaluvexViewController>(weakSelf.lock());
                const std::string written = pathByReplacingExtension(moviePath, "jpg");
                if (self && self->_lastThumbPath == written && fileExists(written)) {
                    self->_ivLastThumb->setImage(Image::imageWithContentsOfFile(written));
                }
            });
        }
        queue.request(movies.front()->path(), true);
    }
    _lastThumbPath = thumb;
    return thumb;
}

void TaluvexViewController::avCaptureMgrDidChangeOrientation(AVCaptureMgr& mgr, int orientation) {
    if (mgr.isCapture() || orientation == _currentOrientation) {
        return;
    }
    applyOrientation(orientation);
}

void TaluvexViewController::applyOrientation(int code) {
    _currentOrientation = code;
    std::weak_ptr<Object> weakSelf = weak_from_this();
    View::animate(
        kOrientationFadeSeconds, 0, AnimationCurve::Linear,
        [this] {
            _switchCameraPosition->setAlpha(0);
            _statusRecordTime->setAlpha(0);
        },
        [weakSelf, code](bool) {
            auto self = std::dynamic_pointer_cast<TaluvexViewController>(weakSelf.lock());
            if (!self) {
                return;
            }
            self->setNewSwitchPosition(code);
            self->setNewStatusPosition(code);
            View::animate(kOrientationFadeSeconds, 0, AnimationCurve::Linear, [&] {
                self->_switchCameraPosition->setAlpha(1);
                self->_statusRecordTime->setAlpha(1);
            });
        });
}

namespace {

struct Placement {
    bool known;
    double radians;
    Point switchOrigin;
    Point statusOrigin;
};

Placement placementFor(int code, double h) {
    switch (code) {
    case 1:
        return {true, 0, {10, 10}, {217, 10}};
    case 2:
        return {true, 3.14159, {10, 10}, {217, 10}};
    case 3:
        return {true, 1.570795, {270, 10}, {281, std::trunc(h - 98) - 103}};
    case 4:
        return {true, 4.712385, {10, std::trunc(h - 54) - 100}, {10, 10}};
    default:
        return {false, 0, {0, 0}, {0, 0}};
    }
}

void place(View& view, const Placement& placement, Point origin) {
    view.setTransform(placement.known ? AffineTransform::rotation(placement.radians)
                                      : AffineTransform::identity());
    Rect frame = view.frame();
    frame.origin = origin;
    view.setFrame(frame);
}

} // namespace

void TaluvexViewController::setNewSwitchPosition(int code) {
    if (!_isSupportedFrontCamera) {
        return;
    }
    const Placement placement = placementFor(code, _screenFrame.height());
    place(*_switchCameraPosition, placement, placement.switchOrigin);
}

void TaluvexViewController::setNewStatusPosition(int code) {
    const Placement placement = placementFor(code, _screenFrame.height());
    place(*_statusRecordTime, placement, placement.statusOrigin);
}

void TaluvexViewController::turnSimulatedDevice(int steps) {
    Accelerometer& accelerometer = Accelerometer::sharedAccelerometer();
    constexpr int kPoseCount = static_cast<int>(std::size(kPoses));
    _simulatedTurn = ((_simulatedTurn + steps) % kPoseCount + kPoseCount) % kPoseCount;
    accelerometer.setSimulatedAcceleration(kPoses[_simulatedTurn].x, kPoses[_simulatedTurn].y);
}

View* TaluvexViewController::keyboardContainer() {
    // The open settings panel is the screen on top: the main screen's keys wait under it.
    if (_settingViewController && _settingViewController->isOpen())
        return _settingViewController->view().get();
    return view().get();
}

void TaluvexViewController::addKeyBindings(KeyTable& table) {
    if (_settingViewController && _settingViewController->isOpen())
        return; // the panel answers for itself
    using Key = KeyEvent::Key;
    table.press({KeyChord::character(" ")}, _("Start or stop recording"), _recordButton.get(),
                [this] { onCaptureAndStop(); });
    table.press({KeyChord::character("o")}, _("Pick a movie to reverse"), _loadVideoButton.get(),
                [this] { onLoadVideo(); });
    table.press({KeyChord::character("l")}, _("Open the movie library"), _moviesButton.get(),
                [this] { onMovies(); });
    if (_isSupportedFrontCamera)
        table.press({KeyChord::character("c")}, _("Swap cameras"), _switchCameraPosition.get(),
                    [this] { onSwitchCameraPosition(); });
    if (_settingViewController)
        _settingViewController->addKeyBindings(table);
    table.add({KeyChord::special(Key::Left, true), KeyChord::special(Key::Right, true)},
              _("Turn the simulated device"), [] {});
}

bool TaluvexViewController::keyPressed(const KeyEvent& event) {
    using Key = KeyEvent::Key;
    // Turning takes a direction, which one row of the table cannot carry.
    if (!(_settingViewController && _settingViewController->isOpen()) && event.control &&
        (event.key == Key::Left || event.key == Key::Right)) {
        turnSimulatedDevice(event.key == Key::Right ? 1 : -1);
        return true;
    }
    return ViewController::keyPressed(event);
}

} // namespace tx
