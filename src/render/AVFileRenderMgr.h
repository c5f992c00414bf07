// The render engine: one object renders one source movie into its backwards version, at a
// speed of 70, 100 or 130 percent, with the source's own sound reversed, another sound laid
// forwards, or no sound.
#pragma once

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "render/AVFileRenderMgrDelegate.h"
#include "render/AudioProcess.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class AVFileRenderMgr : public Object {
public:
    // Use create(): the engine registers for its pumps' notifications on creation.
    static std::shared_ptr<AVFileRenderMgr> create();
    AVFileRenderMgr();
    ~AVFileRenderMgr() override;

    // Properties
    const std::string& inputVideoUrl() const { return _inputVideoUrl; }
    void setInputVideoUrl(const std::string& path) { _inputVideoUrl = path; }
    const std::string& inputAudioUrl() const { return _inputAudioUrl; }
    void setInputAudioUrl(const std::string& path) { _inputAudioUrl = path; } // "" for none
    const std::string& outputPath() const { return _outputPath; }
    void setOutputPath(const std::string& path) { _outputPath = path; }
    std::int32_t tempo() const { return _tempo; }
    void setTempo(std::int32_t tempo) { _tempo = tempo; }
    bool isReverseSpeed() const { return _isReverseSpeed; }
    void setIsReverseSpeed(bool reverse) { _isReverseSpeed = reverse; }
    // Not retained; it must conform to AVFileRenderMgrDelegate to hear anything.
    void setDelegate(const std::weak_ptr<Object>& delegate) { _delegate = delegate; }
    std::shared_ptr<Object> delegate() const { return _delegate.lock(); }
    const AssetTrackPtr& sourceVideoTrack() const { return _sourceVideoTrack; }
    const AssetTrackPtr& sourceAudioTrack() const { return _sourceAudioTrack; }
    const AssetReaderPtr& readerAudio() const { return _readerAudio; }

    // Sets the job up and starts both pumps. False (and no report) when it cannot start;
    // startError() then says why.
    bool start();
    // Cancels a running job; nothing is reported afterwards.
    void stop();
    float progress() const;
    const ErrorPtr& startError() const { return _startError; }
    // After a failure: what the writer or reader said, when it said anything.
    const ErrorPtr& failureCause() const { return _failureCause; }

    // Length in seconds of the movie at `path`, 0 when it cannot be opened.
    static float getDuration(const std::string& path);
    static bool getTrack(const std::string& path, AssetTrackPtr* videoTrack,
                         AssetTrackPtr* audioTrack);

    // Read-outs for callers and tests.
    MediaTime videoTime() const { return _videoTimeValue; }
    MediaTime audioTime() const { return _audioTimeValue; }
    MediaTime actualVideoTime() const { return _actualVideoTime; }
    MediaTime silenceTime() const { return _silenceTime; }
    std::uint32_t videoFrame() const { return _videoFrame; }
    float nominalFrameRate() const { return _nominalFrameRate; }

    // Pump notifications and their handlers.
    void onFinish(const Notification& note);
    void onFail(const Notification& note);
    void finish(const std::string& mediaType);
    void fail(const ErrorPtr& error);

    // Reports, sent only to a conforming delegate.
    void didUpdateRender(float progress);
    void didFinishRender(bool finished);
    void didErrorRender(const ErrorPtr& error);

    // Picture pump.
    void processVideo(const AssetWriterInputPtr& input);
    void getVideoData(const TimeRange& range, std::vector<SampleBufferPtr>& buffer);
    // Reversed-sound pump.
    void processReverseAudio(const AssetWriterInputPtr& input);
    void getAudioData(const TimeRange& range, std::vector<DataBlockPtr>& buffer,
                      AudioFormatDescriptionPtr& format, const MediaTime* baseTime);
    void getSilenceAudioData(const MediaTime& duration, std::vector<DataBlockPtr>& buffer,
                             const AudioStreamBasicDescription& asbd);
    AudioProcess* getAudioProcess();
    // Forward-sound pump.
    void processNormalAudio(const AssetWriterInputPtr& input);
    AssetReaderTrackOutputPtr setupAudioReaderOutput(const MediaTime& audioDuration,
                                                     const MediaTime& actualVideoDuration);

private:
    // The steps of start(). Each false (or null) sets startError().
    struct SoundFormat {
        AudioFormatListItem item;
        bool known = false;
    };
    void resetProgress();
    bool openPictureSource();
    bool openSoundSource(SoundFormat& sound);
    AssetWriterInputPtr addPictureInput();
    AssetWriterInputPtr addSoundInput(const SoundFormat& sound);
    // The picture's and the sound's lengths and where the pumps start and stop reading.
    void computeTimes();

    void releaseMedia();
    // A pump has written everything: "onFinish" for `mediaType`, to this engine alone.
    void postPumpFinish(const std::string& mediaType);
    // A pump that stops before its end: "onFail" with an error in `domain` only when the writer
    // (or `reader`, for the forward sound) has failed.
    void postPumpFailure(const std::string& domain, const AssetReaderPtr& reader = nullptr);
    // Progress from a sound pump, delivered on a later turn of the run loop unless the job has
    // ended by then.
    void queueProgress(float progress);
    std::shared_ptr<AVFileRenderMgr> self() {
        return std::static_pointer_cast<AVFileRenderMgr>(shared_from_this());
    }

    AssetPtr _sourceAssetVideo;
    AssetPtr _sourceAssetAudio;
    AssetWriterPtr _writer;
    PixelBufferAdaptorPtr _writerVideoInputAdaptor;
    MediaTime _videoTimeValue = MediaTime::zero();
    MediaTime _audioTimeValue = MediaTime::zero();
    MediaTime _videoBaseTime = MediaTime::zero();
    MediaTime _audioBaseTime = MediaTime::zero();
    MediaTime _silenceTime = MediaTime::zero();
    std::uint32_t _videoFrame = 0;
    bool _isCompleteVideo = false;
    bool _isCompleteAudio = false;
    bool _isComplete = false;
    Size2f _videoRes;
    float _videoBps = 0;
    TimeRange _videoRange = TimeRange::empty();
    float _audioBps = 0;
    TimeRange _audioRange = TimeRange::empty();
    float _videoTotalTime = 0;
    float _audioTotalTime = 0;
    float _videoProgress = 0;
    float _audioProgress = 0;
    MediaTime _currentAudioTime = MediaTime::zero();
    float _nominalFrameRate = 0;
    MediaTime _actualVideoTime = MediaTime::zero();
    std::vector<SampleBufferPtr> _videoArrayBuffer;
    std::vector<DataBlockPtr> _audioArrayBuffer;
    std::unique_ptr<AudioProcess> _audioProcess;

    bool _isReverseSpeed = false;
    std::string _inputVideoUrl;
    std::string _inputAudioUrl;
    std::string _outputPath;
    std::weak_ptr<Object> _delegate;
    AssetTrackPtr _sourceVideoTrack;
    AssetTrackPtr _sourceAudioTrack;
    AssetReaderPtr _readerAudio;
    std::int32_t _tempo = 100;

    // Where the picture and the sound used begin in their sources: tracks need not start at
    // zero. The pumps read from the end down to these.
    MediaTime _videoStartTime = MediaTime::zero();
    MediaTime _audioStartTime = MediaTime::zero();
    // Reversed sound: frames still to write before the sound is as long as the picture.
    std::int64_t _reverseFramesLeft = 0;
    ErrorPtr _startError;
    ErrorPtr _failureCause;
    // What the pump posting "onFinish" or "onFail" reports; the notification's object is the
    // engine, so that every engine hears its own pumps only.
    struct PumpReport {
        std::string mediaType;
        ErrorPtr error;
    };
    PumpReport _pumpReport;
    // Reports reach the delegate from a successful start until the job finishes, fails or is
    // stopped; never after.
    bool _reporting = false;
};

using AVFileRenderMgrPtr = std::shared_ptr<AVFileRenderMgr>;

// Names of the notifications between the pumps and the job.
inline const std::string kRenderOnFinish = "onFinish";
inline const std::string kRenderOnFail = "onFail";
// Error domains of a failed render: pictures, sound.
inline const std::string kVideoRenderErrorDomain = "\uBE44\uB514\uC5B4 \uBCC0\uD658 \uC2E4\uD328";
inline const std::string kAudioRenderErrorDomain = "\uC624\uB514\uC624 \uBCC0\uD658 \uC2E4\uD328";

} // namespace tx
