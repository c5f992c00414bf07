#include "AVFileRenderMgr.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/EncodedPictureGroup.h"
#include "render/ForwardSoundPump.h"
#include "render/GroupPump.h"
#include "render/PicturePump.h"
#include "render/PumpWindow.h"
#include "render/ReversedSoundAhead.h"
#include "render/ReversedSoundPump.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace tx {

namespace {

constexpr float kDefaultSampleRate = 44100;
// The shortest sound that can be laid under the pictures: one AAC frame.
constexpr double kAacFrameSamples = 1024;
// How long the start waits for the last groups encoded ahead (normally done well before).
constexpr double kGroupsAheadWaitSeconds = 2.0;
// How often the start looks whether the sound made ahead is all in.
constexpr double kSoundAheadPollSeconds = 0.01;

void setStartError(ErrorPtr& slot, const std::string& text) {
    slot = Error::make("Taluvex", 0, text);
}

} // namespace

std::shared_ptr<AVFileRenderMgr> AVFileRenderMgr::create() {
    return std::make_shared<AVFileRenderMgr>();
}

AVFileRenderMgr::AVFileRenderMgr() {
    auto& center = NotificationCenter::defaultCenter();
    // Only this engine's own pumps: several engines may render at once.
    center.addObserver(
        this, kRenderOnFinish, [this](const Notification& n) { onFinish(n); }, this);
    center.addObserver(
        this, kRenderOnFail, [this](const Notification& n) { onFail(n); }, this);
}

AVFileRenderMgr::~AVFileRenderMgr() {
    NotificationCenter::defaultCenter().removeObserver(this, kRenderOnFinish);
    NotificationCenter::defaultCenter().removeObserver(this, kRenderOnFail);
    _soundAhead.reset(); // its threads use the writer
    if (_writer) {
        _writer->cancelWriting();
    }
    releaseMedia();
}

float AVFileRenderMgr::getDuration(const std::string& path) {
    // Called for every row of the movie library: no more of the file is read than needed.
    auto asset = Asset::urlAssetForTiming(path);
    if (!asset) {
        return 0.0f;
    }
    // A movie cut from a stream starts where the stream was: its length runs from its earliest
    // track's start, not from zero.
    MediaTime start = asset->duration();
    for (const auto& track : asset->tracks()) {
        if (track->timeRange().start < start) {
            start = track->timeRange().start;
        }
    }
    return static_cast<float>((asset->duration() - start).seconds());
}

bool AVFileRenderMgr::getTrack(const std::string& path, AssetTrackPtr* videoTrack,
                               AssetTrackPtr* audioTrack) {
    auto asset = Asset::urlAsset(path, true);
    if (!asset) {
        return false;
    }
    if (videoTrack != nullptr) {
        auto tracks = asset->tracksWithMediaType(kMediaTypeVideo);
        *videoTrack = tracks.empty() ? nullptr : tracks.front();
    }
    if (audioTrack != nullptr) {
        auto tracks = asset->tracksWithMediaType(kMediaTypeAudio);
        *audioTrack = tracks.empty() ? nullptr : tracks.front();
    }
    return true;
}

bool AVFileRenderMgr::prepare() {
    if (_prepared || _reporting) {
        return _prepared;
    }
    if (!setUp()) {
        return false;
    }
    _prepared = true;
    _preparedKey = settingsKey();
    if (_usedPicturesAhead && _audioInput && _isReverseSpeed) {
        // The pictures only need placing; the sound is what would keep the user waiting.
        _soundAhead = std::make_unique<ReversedSoundAhead>(soundSource(), _videoTimeValue,
                                                           pumpPace(), _writer, _audioInput);
    }
    return true;
}

bool AVFileRenderMgr::start() {
    _reporting = false;
    if (_prepared && _preparedKey != settingsKey()) {
        discardPrepared();
    }
    if (!_prepared && !setUp()) {
        return false;
    }
    _prepared = false;
    _usedSoundAhead = _soundAhead != nullptr;
    _reporting = true;
    startPumps(_videoInput, _audioInput);
    return true;
}

bool AVFileRenderMgr::setUp() {
    _startError.reset();
    _usedSoundAhead = false;
    if (_tempo <= 0) {
        // A speed of 0 would make a movie without pictures, or one that never ends.
        setStartError(_startError,
                      "the speed must be above 0 percent, not " + std::to_string(_tempo));
        return false;
    }
    if (fileExists(_outputPath)) {
        removeFile(_outputPath);
    }
    resetProgress();
    SoundFormat sound;
    if (!openPictureSource() || !openSoundSource(sound)) {
        return false;
    }
    ErrorPtr error;
    _writer = AssetWriter::create(_outputPath, kFileTypeQuickTimeMovie, &error);
    if (!_writer) {
        _startError = error;
        return false;
    }
    _groupsAhead = usableGroupsAhead();
    AssetWriterInputPtr videoInput =
        _groupsAhead.empty() ? nullptr : addCopiedPictureInput(_groupsAhead.back());
    _usedPicturesAhead = videoInput != nullptr;
    if (!videoInput) {
        _groupsAhead.clear();
        videoInput = addPictureInput();
    }
    if (!videoInput) {
        return false;
    }
    AssetWriterInputPtr audioInput;
    if (!_inputAudioUrl.empty()) {
        audioInput = addSoundInput(sound);
        if (!audioInput) {
            return false;
        }
    }
    computeTimes();
    if (!_writer->startWriting()) {
        _startError = _writer->error();
        releaseMedia();
        return false;
    }
    _writer->startSessionAtSourceTime(MediaTime::zero());
    _videoInput = videoInput;
    _audioInput = audioInput;
    return true;
}

std::string AVFileRenderMgr::settingsKey() const {
    const auto time = [](const MediaTime& t) {
        return std::to_string(t.value) + "/" + std::to_string(t.timescale);
    };
    return _inputVideoUrl + '\n' + _inputAudioUrl + '\n' + _outputPath + '\n' +
           std::to_string(_tempo) + (_isReverseSpeed ? " reversed\n" : " forwards\n") +
           time(_sourceTimeRange.start) + " " + time(_sourceTimeRange.duration) + '\n' +
           std::to_string(reinterpret_cast<std::uintptr_t>(_picturesAhead.get()));
}

void AVFileRenderMgr::discardPrepared() {
    // The groups are still this job's: only what was set up for the old settings goes.
    ReverseAheadRecorderPtr groups = std::move(_picturesAhead);
    _soundAhead.reset();
    if (_writer) {
        _writer->cancelWriting();
    }
    releaseMedia();
    _picturesAhead = std::move(groups);
}

PumpSource AVFileRenderMgr::soundSource() const {
    return {_sourceAssetAudio, _sourceAudioTrack, _audioStartTime, _audioTimeValue};
}

PumpPace AVFileRenderMgr::pumpPace() const {
    return {_tempo, _videoTotalTime, _actualVideoTime};
}

void AVFileRenderMgr::resetProgress() {
    _videoTotalTime = 0;
    _audioTotalTime = 0;
    _videoProgress = 0;
    _audioProgress = 0;
    _isCompleteVideo = false;
    _isCompleteAudio = false;
    _isComplete = false;
}

bool AVFileRenderMgr::openPictureSource() {
    ErrorPtr error;
    _sourceAssetVideo = Asset::urlAsset(_inputVideoUrl, true, &error);
    if (!_sourceAssetVideo) {
        _startError = error;
        return false;
    }
    auto videoTracks = _sourceAssetVideo->tracksWithMediaType(kMediaTypeVideo);
    _sourceVideoTrack = videoTracks.empty() ? nullptr : videoTracks.front();
    if (!_sourceVideoTrack) {
        setStartError(_startError, _inputVideoUrl + ": has no pictures");
        return false;
    }
    _videoBps = 0;
    _videoRes = {};
    _videoRange = TimeRange::empty();
    _nominalFrameRate = _sourceVideoTrack->nominalFrameRate();
    _videoBps = _sourceVideoTrack->estimatedDataRate();
    _videoRes = _sourceVideoTrack->naturalSize();
    _videoRange = _sourceVideoTrack->timeRange();
    // A source without a picture length would make a job that never ends.
    if (!(_videoRange.end() > MediaTime::zero()) || _nominalFrameRate <= 0) {
        setStartError(_startError, _inputVideoUrl + ": its pictures last no time");
        return false;
    }
    return useSourceStretch();
}

bool AVFileRenderMgr::useSourceStretch() {
    if (!_sourceTimeRange.isValid()) {
        return true;
    }
    const MediaTime from = std::max(_sourceTimeRange.start, _videoRange.start);
    const MediaTime to = std::min(_sourceTimeRange.end(), _videoRange.end());
    if (!(to > from) ||
        _sourceVideoTrack->packetCountInRange(TimeRange::make(from, to - from)) == 0) {
        char text[160];
        std::snprintf(text, sizeof text,
                      ": no pictures from %.3f s to %.3f s (they run from %.3f s to %.3f s)",
                      _sourceTimeRange.start.seconds(), _sourceTimeRange.end().seconds(),
                      _videoRange.start.seconds(), _videoRange.end().seconds());
        setStartError(_startError, _inputVideoUrl + text);
        return false;
    }
    _videoRange = TimeRange::make(from, to - from);
    return true;
}

bool AVFileRenderMgr::openSoundSource(SoundFormat& sound) {
    _audioBps = 0;
    _audioRange = TimeRange::empty();
    if (_inputAudioUrl.empty()) {
        return true;
    }
    ErrorPtr error;
    _sourceAssetAudio = Asset::urlAsset(_inputAudioUrl, true, &error);
    if (!_sourceAssetAudio) {
        _startError = error;
        return false;
    }
    auto audioTracks = _sourceAssetAudio->tracksWithMediaType(kMediaTypeAudio);
    _sourceAudioTrack = audioTracks.empty() ? nullptr : audioTracks.front();
    if (_sourceAudioTrack) {
        _audioBps = _sourceAudioTrack->estimatedDataRate();
        _audioRange = _sourceAudioTrack->timeRange();
        if (!_sourceAudioTrack->formatDescriptions().empty()) {
            sound.item = _sourceAudioTrack->formatDescriptions().front()->formatList().front();
            sound.known = true;
        }
    } else if (!_isReverseSpeed) {
        // A sound laid forwards needs a track to read; otherwise the job could never end.
        setStartError(_startError, _inputAudioUrl + ": has no sound to lay under the pictures");
        return false;
    }
    if (_sourceAudioTrack && !_isReverseSpeed) {
        // Laid again and again, a sound of (nearly) no length would never fill the movie.
        const double rate = sound.known && sound.item.streamDescription.sampleRate > 0
                                ? sound.item.streamDescription.sampleRate
                                : kDefaultSampleRate;
        if (_audioRange.duration.seconds() < kAacFrameSamples / rate) {
            setStartError(_startError, _inputAudioUrl + ": its sound is too short to lay (" +
                                           std::to_string(_audioRange.duration.seconds()) + " s)");
            return false;
        }
    }
    return true;
}

AssetWriterInputPtr AVFileRenderMgr::addPictureInput() {
    MediaSettings compression = PlistValue::dictionary();
    compression.set(kVideoAverageBitRateKey, PlistValue::real(static_cast<double>(_videoBps)));
    MediaSettings videoSettings = PlistValue::dictionary();
    videoSettings.set(kVideoCodecKey, PlistValue::string(kVideoCodecH264));
    videoSettings.set(kVideoWidthKey,
                      PlistValue::integer(static_cast<std::int64_t>(_videoRes.width)));
    videoSettings.set(kVideoHeightKey,
                      PlistValue::integer(static_cast<std::int64_t>(_videoRes.height)));
    videoSettings.set(kVideoCompressionPropertiesKey, compression);
    // The movie keeps how its source's values are to be read and the shape of its pixels: an
    // HDR recording stays tagged as one, an anamorphic source is not squeezed.
    const VideoColorDescription colour = _sourceVideoTrack->colorDescription();
    if (colour.isSpecified()) {
        MediaSettings colourSettings = PlistValue::dictionary();
        colourSettings.set(kVideoColorPrimariesKey, PlistValue::integer(colour.primaries));
        colourSettings.set(kVideoTransferFunctionKey, PlistValue::integer(colour.transfer));
        colourSettings.set(kVideoYCbCrMatrixKey, PlistValue::integer(colour.matrix));
        colourSettings.set(kVideoFullRangeKey, PlistValue::integer(colour.fullRange ? 1 : 0));
        videoSettings.set(kVideoColorPropertiesKey, colourSettings);
    }
    const PixelAspectRatio aspect = _sourceVideoTrack->pixelAspectRatio();
    if (!aspect.isSquare()) {
        MediaSettings aspectSettings = PlistValue::dictionary();
        aspectSettings.set(kVideoPixelAspectRatioHorizontalSpacingKey,
                           PlistValue::integer(aspect.horizontalSpacing));
        aspectSettings.set(kVideoPixelAspectRatioVerticalSpacingKey,
                           PlistValue::integer(aspect.verticalSpacing));
        videoSettings.set(kVideoPixelAspectRatioKey, aspectSettings);
    }
    ErrorPtr error;
    auto videoInput = AssetWriterInput::create(kMediaTypeVideo, videoSettings, &error);
    if (!videoInput) {
        _startError = error;
        _writer.reset();
        return nullptr;
    }
    videoInput->setTransform(_sourceVideoTrack->preferredTransform());
    if (_writer->canAddInput(videoInput)) {
        _writer->addInput(videoInput);
    }
    _writerVideoInputAdaptor = PixelBufferAdaptor::create(videoInput);
    return videoInput;
}

std::vector<ReverseAheadRecorder::Group> AVFileRenderMgr::usableGroupsAhead() {
    if (!_picturesAhead || _sourceTimeRange.isValid() ||
        _picturesAhead->recordingURL() != _inputVideoUrl || _picturesAhead->tempo() != _tempo) {
        return {};
    }
    if (_picturesAhead->waitUntilSettled(kGroupsAheadWaitSeconds) !=
        ReverseAheadRecorder::State::Ready) {
        return {};
    }

    // Exactly this recording: every one of its pictures, at its size.
    const MediaSettings& settings = _picturesAhead->videoSettings();
    const PlistValue* width = settings.find(kVideoWidthKey);
    const PlistValue* height = settings.find(kVideoHeightKey);
    if (width == nullptr || height == nullptr || width->type() != PlistValue::Type::Integer ||
        height->type() != PlistValue::Type::Integer ||
        width->asInteger() != static_cast<std::int64_t>(_videoRes.width) ||
        height->asInteger() != static_cast<std::int64_t>(_videoRes.height) ||
        static_cast<std::size_t>(_picturesAhead->pictureCount()) !=
            _sourceVideoTrack->packets().size()) {
        return {};
    }
    return _picturesAhead->groups();
}

AssetWriterInputPtr
AVFileRenderMgr::addCopiedPictureInput(const ReverseAheadRecorder::Group& model) {
    auto group = EncodedPictureGroup::open(model.path);
    if (!group) {
        return nullptr;
    }
    // The track decodes as far ahead as the group that decodes furthest ahead needs.
    int decodeDelay = 0;
    for (const ReverseAheadRecorder::Group& entry : _groupsAhead) {
        decodeDelay = std::max(decodeDelay, entry.decodeDelay);
    }
    const double spacing =
        1.0 / (static_cast<double>(_nominalFrameRate) * static_cast<double>(_tempo) / 100.0);
    auto videoInput = AssetWriterInput::createForCopying(group, decodeDelay, spacing);
    if (!videoInput) {
        return nullptr;
    }
    videoInput->setTransform(_sourceVideoTrack->preferredTransform());
    if (_writer->canAddInput(videoInput)) {
        _writer->addInput(videoInput);
    }
    return videoInput;
}

AssetWriterInputPtr AVFileRenderMgr::addSoundInput(const SoundFormat& sound) {
    int channels =
        sound.known ? static_cast<int>(sound.item.streamDescription.channelsPerFrame) : 1;
    const float rate = sound.known ? static_cast<float>(sound.item.streamDescription.sampleRate)
                                   : kDefaultSampleRate;
    std::uint32_t tag = sound.known ? sound.item.channelLayoutTag : kAudioChannelLayoutTagMono;
    if (tag == kAudioChannelLayoutTagUnknown) {
        tag = channels == 2 ? kAudioChannelLayoutTagStereo : kAudioChannelLayoutTagMono;
    }
    if (channels > 2) {
        // Surround sound is mixed down to stereo: reversal and tempo change handle two
        // channels.
        channels = 2;
        tag = kAudioChannelLayoutTagStereo;
    }
    std::vector<std::uint8_t> layout(32, 0);
    std::memcpy(layout.data(), &tag, sizeof tag);
    MediaSettings audioSettings = PlistValue::dictionary();
    audioSettings.set(kFormatIDKey, PlistValue::integer(kAudioFormatMPEG4AAC));
    audioSettings.set(kNumberOfChannelsKey, PlistValue::integer(channels > 0 ? channels : 1));
    audioSettings.set(kSampleRateKey, PlistValue::real(rate));
    // A rate of 0 (a track whose data rate is unknown) lets the writer pick its default.
    audioSettings.set(kEncoderBitRateKey,
                      PlistValue::integer(static_cast<std::int64_t>(_audioBps)));
    audioSettings.set(kChannelLayoutKey, PlistValue::data(layout));
    ErrorPtr error;
    auto audioInput = AssetWriterInput::create(kMediaTypeAudio, audioSettings, &error);
    if (!audioInput) {
        _startError = error;
        _writer.reset();
        return nullptr;
    }
    if (_writer->canAddInput(audioInput)) {
        _writer->addInput(audioInput);
    }
    return audioInput;
}

void AVFileRenderMgr::computeTimes() {
    // The job's times. The picture runs from its track's start (not always zero: trimmed
    // movies, camcorder streams) to its end; the movie lasts that length x 100/tempo.
    _videoTimeValue = _videoRange.end();
    _videoStartTime = _videoRange.start;
    // The movie shows every picture for one interval of the nominal rate, so that is how long
    // its picture lasts; the sound is fitted to that. It differs from the source's time range
    // by less than a picture, or more where the source leaves holes (a dropped picture).
    MediaTime pictureLength = _videoTimeValue - _videoStartTime;
    const std::size_t pictures = _sourceTimeRange.isValid()
                                     ? _sourceVideoTrack->packetCountInRange(_videoRange)
                                     : _sourceVideoTrack->packets().size();
    if (pictures > 0) {
        pictureLength = MediaTime::makeWithSeconds(static_cast<double>(pictures) /
                                                       static_cast<double>(_nominalFrameRate),
                                                   kRenderTimescale);
    }
    _actualVideoTime =
        pictureLength.multiplyByFloat64(static_cast<double>(100.0f / static_cast<float>(_tempo)));
    _videoTotalTime = static_cast<float>(pictureLength.seconds());
    _audioTimeValue = MediaTime::zero();
    _audioStartTime = MediaTime::zero();
    if (!_inputAudioUrl.empty()) {
        _audioTimeValue = _sourceAudioTrack ? _audioRange.end() : MediaTime::zero();
        _audioStartTime = _sourceAudioTrack ? _audioRange.start : MediaTime::zero();
        if (_isReverseSpeed) {
            // Reversed sound goes with the picture: only the part beside it is used.
            if (_videoTimeValue < _audioTimeValue) {
                _audioTimeValue = _videoTimeValue;
            }
            if (_audioStartTime < _videoStartTime) {
                _audioStartTime = _videoStartTime;
            }
            if (_audioTimeValue < _audioStartTime) {
                _audioStartTime = _audioTimeValue;
            }
        }
        _audioTotalTime = static_cast<float>((_audioTimeValue - _audioStartTime).seconds());
    }
}

void AVFileRenderMgr::startPumps(const AssetWriterInputPtr& videoInput,
                                 const AssetWriterInputPtr& audioInput) {
    if (_soundAhead) {
        awaitSoundAhead(videoInput, audioInput);
        return;
    }
    startPicturePump(videoInput);
    if (!audioInput) {
        return; // no sound: the job completes on the picture alone
    }
    const PumpPace pace = pumpPace();
    if (_isReverseSpeed) {
        _reversedSoundPump =
            std::make_shared<ReversedSoundPump>(pumpHost(), soundSource(), _videoTimeValue, pace);
        _reversedSoundPump->start(audioInput);
    } else {
        _forwardSoundPump = std::make_shared<ForwardSoundPump>(pumpHost(), soundSource(), pace);
        _forwardSoundPump->start(audioInput);
    }
}

void AVFileRenderMgr::startPicturePump(const AssetWriterInputPtr& videoInput) {
    const PumpPace pace = pumpPace();
    if (!_groupsAhead.empty()) {
        _groupPump = std::make_shared<GroupPump>(pumpHost(), std::move(_groupsAhead),
                                                 _nominalFrameRate, pace, _videoTimeValue);
        _groupsAhead.clear();
        _groupPump->start(videoInput);
    } else {
        _picturePump = std::make_shared<PicturePump>(
            pumpHost(),
            PumpSource{_sourceAssetVideo, _sourceVideoTrack, _videoStartTime, _videoTimeValue},
            _nominalFrameRate, pace, _writerVideoInputAdaptor);
        _picturePump->start(videoInput);
    }
}

void AVFileRenderMgr::awaitSoundAhead(const AssetWriterInputPtr& videoInput,
                                      const AssetWriterInputPtr& audioInput) {
    if (!_soundAhead || !_reporting) {
        return; // stopped meanwhile
    }
    if (!_soundAhead->isDone()) {
        pumpProgressed(kMediaTypeAudio, _soundAhead->progress());
        std::weak_ptr<AVFileRenderMgr> weak = self();
        RunLoop::postAfter(kSoundAheadPollSeconds, [weak, videoInput, audioInput] {
            if (auto engine = weak.lock()) {
                engine->awaitSoundAhead(videoInput, audioInput);
            }
        });
        return;
    }
    const bool complete = _soundAhead->complete();
    _soundAhead.reset();
    if (!complete) {
        pumpFailed(kMediaTypeAudio); // the writer failed while the sound was encoded
        return;
    }
    audioInput->markAsFinished();
    startPicturePump(videoInput);
    pumpFinished(kMediaTypeAudio);
}

float AVFileRenderMgr::progress() const {
    if (_audioTotalTime == 0) {
        return _videoProgress;
    }
    return (_videoProgress + _audioProgress) * 0.5f;
}

void AVFileRenderMgr::onFinish(const Notification& note) {
    if (note.object.get() == this) {
        finish(_pumpReport.mediaType);
    }
}

void AVFileRenderMgr::onFail(const Notification& note) {
    if (note.object.get() == this && _pumpReport.error) {
        fail(_pumpReport.error);
    }
}

void AVFileRenderMgr::releaseMedia() {
    _soundAhead.reset();
    _prepared = false;
    _videoInput.reset();
    _audioInput.reset();
    if (_forwardSoundPump) {
        // What the forward sound left unfilled stays readable after the job.
        _actualVideoTime = _forwardSoundPump->lengthLeft();
    }
    _picturePump.reset();
    _groupPump.reset();
    if (_picturesAhead) {
        // Used or not, the groups are of no further use once the job has ended.
        _picturesAhead->discard();
        _picturesAhead.reset();
    }
    _reversedSoundPump.reset();
    _forwardSoundPump.reset();
    _writer.reset();
    _writerVideoInputAdaptor.reset();
    _sourceAssetVideo.reset();
    _sourceAssetAudio.reset();
    _sourceVideoTrack.reset();
    _sourceAudioTrack.reset();
}

void AVFileRenderMgr::finish(const std::string& mediaType) {
    if (mediaType == kMediaTypeVideo) {
        _isCompleteVideo = true;
        _videoProgress = 1;
    } else if (mediaType == kMediaTypeAudio) {
        _isCompleteAudio = true;
        _audioProgress = 1;
    }
    if (_videoTotalTime != 0 && _isCompleteVideo) {
        _isComplete = _audioTotalTime == 0 ? true : _isCompleteAudio;
    }
    if (!_isComplete || !_writer) {
        return;
    }
    auto keepAlive = self(); // the delegate may release us when told
    AssetWriterPtr writer = _writer;
    const bool written = writer->finishWriting();
    releaseMedia();
    _reporting = false;
    if (!written) {
        // The movie could not be completed: that is a failure, not a success.
        _failureCause = writer->error();
        ErrorPtr error = Error::make(kVideoRenderErrorDomain, 0);
        didErrorRender(error);
        return;
    }
    didFinishRender(true);
}

void AVFileRenderMgr::fail(const ErrorPtr& error) {
    if (!_writer) {
        return;
    }
    _soundAhead.reset();
    auto keepAlive = self();
    _failureCause = _writer->error();
    if (AssetReaderPtr reader = readerAudio(); !_failureCause && reader && reader->error()) {
        _failureCause = reader->error();
    }
    _writer->finishWriting();
    releaseMedia();
    _reporting = false;
    didErrorRender(error);
}

void AVFileRenderMgr::stop() {
    _reporting = false;
    _soundAhead.reset(); // before the writer is cancelled: its threads use it
    if (_forwardSoundPump) {
        _forwardSoundPump->cancelReading();
    }
    if (_writer) {
        _writer->cancelWriting();
    }
    releaseMedia();
}

void AVFileRenderMgr::didUpdateRender(float value) {
    if (!_reporting) {
        return;
    }
    if (auto* d = dynamic_cast<AVFileRenderMgrDelegate*>(_delegate.lock().get())) {
        d->avFileRenderMgrDidUpdate(this, value);
    }
}

void AVFileRenderMgr::didFinishRender(bool finished) {
    auto owner = _delegate.lock();
    if (auto* d = dynamic_cast<AVFileRenderMgrDelegate*>(owner.get())) {
        d->avFileRenderMgrDidFinish(this, finished);
    }
}

void AVFileRenderMgr::didErrorRender(const ErrorPtr& error) {
    auto owner = _delegate.lock();
    if (auto* d = dynamic_cast<AVFileRenderMgrDelegate*>(owner.get())) {
        d->avFileRenderMgrDidError(this, error);
    }
}

bool AVFileRenderMgr::isWriting() const {
    return _writer && _writer->status() == AssetWriterStatus::Writing;
}

bool AVFileRenderMgr::writerReleased() const {
    return !_writer;
}

void AVFileRenderMgr::pumpProgressed(const std::string& mediaType, float progress) {
    if (mediaType == kMediaTypeVideo) {
        // Every picture's progress is delivered before the next picture is written.
        _videoProgress = progress;
        const float combined = this->progress();
        auto engine = self();
        RunLoop::performOnMain([engine, combined]() { engine->didUpdateRender(combined); }, true);
    } else {
        _audioProgress = progress;
        queueProgress(this->progress());
    }
}

void AVFileRenderMgr::pumpStopped(const std::string& mediaType, const AssetReaderPtr& reader) {
    ErrorPtr error;
    if ((reader && reader->status() == AssetReaderStatus::Failed) ||
        (_writer && _writer->status() == AssetWriterStatus::Failed)) {
        error = Error::make(
            mediaType == kMediaTypeVideo ? kVideoRenderErrorDomain : kAudioRenderErrorDomain, 0);
    }
    _pumpReport = {std::string(), error};
    NotificationCenter::defaultCenter().post(kRenderOnFail, self());
}

void AVFileRenderMgr::pumpFailed(const std::string& mediaType) {
    _pumpReport = {std::string(),
                   Error::make(mediaType == kMediaTypeVideo ? kVideoRenderErrorDomain
                                                            : kAudioRenderErrorDomain,
                               0)};
    NotificationCenter::defaultCenter().post(kRenderOnFail, self());
}

void AVFileRenderMgr::pumpFinished(const std::string& mediaType) {
    _pumpReport = {mediaType, nullptr};
    NotificationCenter::defaultCenter().post(kRenderOnFinish, self());
}

void AVFileRenderMgr::queueProgress(float progress) {
    // Queued, not waited for: it may arrive after later picture updates, but never after the
    // job has ended (didUpdateRender checks).
    auto engine = self();
    RunLoop::performOnMain([engine, progress]() { engine->didUpdateRender(progress); }, false);
}

AssetReaderPtr AVFileRenderMgr::readerAudio() const {
    return _forwardSoundPump ? _forwardSoundPump->reader() : nullptr;
}

MediaTime AVFileRenderMgr::actualVideoTime() const {
    return _forwardSoundPump ? _forwardSoundPump->lengthLeft() : _actualVideoTime;
}

} // namespace tx
