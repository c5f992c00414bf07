// The render engine: one object renders one source movie into its backwards version, at a
// speed of 70, 100 or 130 percent, with the source's own sound reversed, another sound laid
// forwards, or no sound.
#pragma once

#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/Object.h"
#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "render/AVFileRenderMgrDelegate.h"
#include "render/RenderPumpHost.h"
#include "render/ReverseAheadRecorder.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tx {

class PicturePump;
class GroupPump;
class ReversedSoundPump;
class ReversedSoundAhead;
class ForwardSoundPump;

class AVFileRenderMgr : public Object, private RenderPumpHost {
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
    // The stretch of the source to render, in the source's own times; an invalid range (the
    // default) renders it whole. Only the pictures that lie in it are read, and sound going with
    // the pictures is cut to match.
    const TimeRange& sourceTimeRange() const { return _sourceTimeRange; }
    void setSourceTimeRange(const TimeRange& range) { _sourceTimeRange = range; }
    // Pictures of the source encoded backwards while it was recorded. When they are for exactly
    // this source and speed and every picture is there, the movie is made by placing them;
    // otherwise the source is rendered as always. Either way the engine removes them when the
    // job ends.
    void setPicturesAhead(const ReverseAheadRecorderPtr& recorder) { _picturesAhead = recorder; }
    // Whether the running (or last) job placed pictures encoded ahead.
    bool usedPicturesAhead() const { return _usedPicturesAhead; }
    bool isReverseSpeed() const { return _isReverseSpeed; }
    void setIsReverseSpeed(bool reverse) { _isReverseSpeed = reverse; }
    // Not retained; it must conform to AVFileRenderMgrDelegate to hear anything.
    void setDelegate(const std::weak_ptr<Object>& delegate) { _delegate = delegate; }
    std::shared_ptr<Object> delegate() const { return _delegate.lock(); }
    const AssetTrackPtr& sourceVideoTrack() const { return _sourceVideoTrack; }
    const AssetTrackPtr& sourceAudioTrack() const { return _sourceAudioTrack; }
    // The forward sound's reader of the current pass; none otherwise.
    AssetReaderPtr readerAudio() const;

    // Sets the job up and starts both pumps. False (and no report) when it cannot start;
    // startError() then says why.
    bool start();
    // Optional, before start(), once the properties are set: opens the sources and the movie
    // (under its working name) and, when the pictures encoded ahead are used and the source's
    // own sound is reversed, begins that sound on threads of its own, so that start() has less
    // left to do. Nothing is reported and no movie appears before start(); stop() or the
    // engine's end discards what was prepared. Properties changed afterwards make start() set
    // the job up anew. False when the job cannot start (start() then says so).
    bool prepare();
    // Whether the running (or last) job's sound was begun by prepare().
    bool usedSoundAhead() const { return _usedSoundAhead; }
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

    // Read-outs for callers and tests: the end of the picture used, the end of the sound used,
    // and the movie's length (for sound laid forwards: what is left of it to fill).
    MediaTime videoTime() const { return _videoTimeValue; }
    MediaTime audioTime() const { return _audioTimeValue; }
    MediaTime actualVideoTime() const;

private:
    // The steps of start(). Each false (or null) sets startError().
    struct SoundFormat {
        AudioFormatListItem item;
        bool known = false;
    };
    // Everything of start() but the pumps: sources, writer, inputs and times.
    bool setUp();
    // What prepare() and start() must agree on.
    std::string settingsKey() const;
    // Drops a prepared job whose settings no longer hold.
    void discardPrepared();
    void resetProgress();
    bool openPictureSource();
    // Narrows the picture used to the stretch asked for; false when no picture lies in it.
    bool useSourceStretch();
    bool openSoundSource(SoundFormat& sound);
    AssetWriterInputPtr addPictureInput();
    // The groups encoded ahead that make this job's pictures, or none.
    std::vector<ReverseAheadRecorder::Group> usableGroupsAhead();
    // An input that copies those groups; null when they cannot be copied.
    AssetWriterInputPtr addCopiedPictureInput(const ReverseAheadRecorder::Group& model);
    AssetWriterInputPtr addSoundInput(const SoundFormat& sound);
    // The picture's and the sound's lengths and where the pumps start and stop reading.
    void computeTimes();
    PumpSource soundSource() const;
    PumpPace pumpPace() const;
    void startPumps(const AssetWriterInputPtr& videoInput, const AssetWriterInputPtr& audioInput);
    void startPicturePump(const AssetWriterInputPtr& videoInput);
    // Reports the sound made ahead as it goes and, once it is all in, starts the pictures (the
    // writer is the threads' until then).
    void awaitSoundAhead(const AssetWriterInputPtr& videoInput,
                         const AssetWriterInputPtr& audioInput);

    // What the pumps tell the job.
    bool isWriting() const override;
    bool writerReleased() const override;
    void pumpProgressed(const std::string& mediaType, float progress) override;
    // "onFinish" for `mediaType`, to this engine alone.
    void pumpFinished(const std::string& mediaType) override;
    // "onFail", with an error only when the writer (or `reader`) has failed.
    void pumpStopped(const std::string& mediaType, const AssetReaderPtr& reader) override;
    void pumpFailed(const std::string& mediaType) override;

    // The pumps' notifications, and how the job ends.
    void onFinish(const Notification& note);
    void onFail(const Notification& note);
    void finish(const std::string& mediaType);
    void fail(const ErrorPtr& error);
    void releaseMedia();

    // Reports, sent only to a conforming delegate, and only while the job runs.
    void didUpdateRender(float progress);
    void didFinishRender(bool finished);
    void didErrorRender(const ErrorPtr& error);
    // Progress from a sound pump, delivered on a later turn of the run loop unless the job has
    // ended by then.
    void queueProgress(float progress);

    std::shared_ptr<AVFileRenderMgr> self() {
        return std::static_pointer_cast<AVFileRenderMgr>(shared_from_this());
    }
    // The engine as its pumps see it.
    std::shared_ptr<RenderPumpHost> pumpHost() {
        return std::shared_ptr<RenderPumpHost>(self(), static_cast<RenderPumpHost*>(this));
    }

    AssetPtr _sourceAssetVideo;
    AssetPtr _sourceAssetAudio;
    AssetWriterPtr _writer;
    PixelBufferAdaptorPtr _writerVideoInputAdaptor;
    MediaTime _videoTimeValue = MediaTime::zero();
    MediaTime _audioTimeValue = MediaTime::zero();
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
    float _nominalFrameRate = 0;
    MediaTime _actualVideoTime = MediaTime::zero();

    bool _isReverseSpeed = false;
    std::string _inputVideoUrl;
    std::string _inputAudioUrl;
    std::string _outputPath;
    std::weak_ptr<Object> _delegate;
    AssetTrackPtr _sourceVideoTrack;
    AssetTrackPtr _sourceAudioTrack;
    std::int32_t _tempo = 100;
    TimeRange _sourceTimeRange{MediaTime::invalid(), MediaTime::invalid()};

    // Where the picture and the sound used begin in their sources: tracks need not start at
    // zero. The pumps read from the end down to these.
    MediaTime _videoStartTime = MediaTime::zero();
    MediaTime _audioStartTime = MediaTime::zero();
    // The pumps of the running job: the picture pump and one of the two sound pumps. Each keeps
    // the engine alive while it runs; the engine drops them when the job ends.
    std::shared_ptr<PicturePump> _picturePump;
    std::shared_ptr<GroupPump> _groupPump;
    ReverseAheadRecorderPtr _picturesAhead;
    std::vector<ReverseAheadRecorder::Group> _groupsAhead;
    bool _usedPicturesAhead = false;
    std::shared_ptr<ReversedSoundPump> _reversedSoundPump;
    std::unique_ptr<ReversedSoundAhead> _soundAhead;
    bool _usedSoundAhead = false;
    // A job set up by prepare(), with the settings it was set up for and its inputs.
    bool _prepared = false;
    std::string _preparedKey;
    AssetWriterInputPtr _videoInput;
    AssetWriterInputPtr _audioInput;
    std::shared_ptr<ForwardSoundPump> _forwardSoundPump;
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
