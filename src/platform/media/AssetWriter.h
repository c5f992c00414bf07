// Writes a QuickTime movie: H.264 pictures and AAC sound, fed by inputs that ask for data when
// they are ready for more.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Paths.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MediaTypes.h"
#include "platform/media/SampleBuffer.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class AssetWriter;
class EncodedPictureGroup;

enum class AssetWriterStatus { Unknown = 0, Writing = 1, Completed = 2, Failed = 3, Cancelled = 4 };

inline const std::string kFileTypeQuickTimeMovie = "com.apple.quicktime-movie";

// Optional compression property: the longest distance between keyframes, in pictures.
inline const std::string kVideoMaxKeyFrameIntervalKey = "AVVideoMaxKeyFrameIntervalKey";

class AssetWriterInput : public Object {
public:
    // Pictures: kVideoCodecKey, kVideoWidthKey, kVideoHeightKey, kVideoCompressionPropertiesKey
    // {kVideoAverageBitRateKey}. Sound: kFormatIDKey ('aac '), kNumberOfChannelsKey,
    // kSampleRateKey, kEncoderBitRateKey, kChannelLayoutKey. Nothing when they make no sense.
    static std::shared_ptr<AssetWriterInput> create(const std::string& mediaType,
                                                    const MediaSettings& outputSettings,
                                                    ErrorPtr* error = nullptr);
    ~AssetWriterInput() override;

    const std::string& mediaType() const { return _mediaType; }
    void setTransform(const MediaTransform& transform) { _transform = transform; }
    MediaTransform transform() const { return _transform; }

    // Ready while the writer is writing, this input is not finished, and it is not more than
    // about half a second ahead of the other inputs that are being fed. Stays true once the
    // writer has failed, so a feeding block runs once more and sees the failure.
    bool isReadyForMoreMediaData() const;
    // Sound as interleaved signed 16-bit PCM at any rate and channel count.
    bool appendSampleBuffer(const SampleBufferPtr& sample);
    // A picture input that copies groups encoded earlier instead of encoding, their pictures
    // about `spacingSeconds` apart: every group must be coded like `model`, and decode at most
    // `decodeDelay` pictures early (the most of any group to be copied: the track decodes that
    // far ahead throughout).
    static std::shared_ptr<AssetWriterInput>
    createForCopying(const std::shared_ptr<EncodedPictureGroup>& model, int decodeDelay,
                     double spacingSeconds, ErrorPtr* error = nullptr);
    // Copies a whole group, its pictures shown at `times` (one per picture, rising, after what
    // was appended before). False when it cannot be placed there or is coded differently.
    bool appendEncodedGroup(const EncodedPictureGroup& group, const std::vector<MediaTime>& times);
    void markAsFinished();
    bool isFinished() const { return _finished; }
    // Calls `block` on the main run loop whenever the input is ready, until it is finished or
    // the writing ends.
    void requestMediaDataWhenReady(std::function<void()> block);

    // Media layer internals.
    struct Impl;
    Impl& impl() { return *_impl; }

private:
    friend class AssetWriter;
    friend class PixelBufferAdaptor;
    bool appendPicture(const PixelBufferPtr& picture, const MediaTime& time);

    std::string _mediaType;
    MediaSettings _settings;
    MediaTransform _transform;
    std::weak_ptr<AssetWriter> _writer;
    std::function<void()> _block;
    bool _finished = false;
    bool _failureReported = false;
    double _lastSeconds = 0; // end of the data appended so far, from the session start
    bool _appendedAny = false;
    std::unique_ptr<Impl> _impl;
};

using AssetWriterInputPtr = std::shared_ptr<AssetWriterInput>;

class PixelBufferAdaptor : public Object {
public:
    static std::shared_ptr<PixelBufferAdaptor> create(AssetWriterInputPtr input,
                                                      const MediaSettings& sourceAttributes = {});
    const AssetWriterInputPtr& assetWriterInput() const { return _input; }
    bool appendPixelBuffer(const PixelBufferPtr& picture, const MediaTime& presentationTime);

private:
    AssetWriterInputPtr _input;
};

using PixelBufferAdaptorPtr = std::shared_ptr<PixelBufferAdaptor>;

class AssetWriter : public Object {
public:
    // The x264 speed preset of every movie we write.
    static constexpr const char* kVideoPreset = "veryfast";

    static std::shared_ptr<AssetWriter> create(const std::string& path, const std::string& fileType,
                                               ErrorPtr* error = nullptr);
    ~AssetWriter() override;

    const std::string& outputPath() const { return _path; }
    bool canAddInput(const AssetWriterInputPtr& input) const;
    void addInput(const AssetWriterInputPtr& input);
    const std::vector<AssetWriterInputPtr>& inputs() const { return _inputs; }

    // Opens the output; the movie is written under a temporary name beside the destination and
    // takes its name only when finished, so a failed or cancelled write leaves no partial file.
    bool startWriting();
    void startSessionAtSourceTime(const MediaTime& time);
    // Flushes the encoders and completes the file; synchronous.
    bool finishWriting();
    void cancelWriting();
    AssetWriterStatus status() const { return _status; }
    const ErrorPtr& error() const { return _error; }

    struct Impl;

private:
    friend class AssetWriterInput;
    void scheduleRequests();
    void runRequests();
    void fail(const ErrorPtr& error);
    void discardOutput();

    std::string _path;
    std::string _tempPath;
    WorkingFileHold _tempHold; // tells a later start that this working file is not abandoned
    std::vector<AssetWriterInputPtr> _inputs;
    AssetWriterStatus _status = AssetWriterStatus::Unknown;
    ErrorPtr _error;
    MediaTime _sessionStart = MediaTime::zero();
    bool _requestsScheduled = false;
    bool _progressSinceLastPass = false;
    std::unique_ptr<Impl> _impl;
};

using AssetWriterPtr = std::shared_ptr<AssetWriter>;

} // namespace tx
