#include "MovieExportSession.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tx {

namespace {

const char* const kExportDomain = "MovieExport";
// Pictures or sound buffers written per turn of the run loop: the screen stays responsive.
constexpr int kSamplesPerTurn = 4;
constexpr double kDefaultSampleRate = 44100;

ErrorPtr exportError(const std::string& path, const std::string& what) {
    return Error::make(kExportDomain, 0, lastPathComponent(path) + ": " + what);
}

// The part of a sound buffer inside [start, end), or null when none of it is.
SampleBufferPtr cutToRange(const SampleBufferPtr& sample, const MediaTime& start,
                           const MediaTime& end) {
    const auto& format = sample->formatDescription();
    if (!format || !sample->dataBlock())
        return nullptr;
    const double rate = format->streamDescription().sampleRate;
    const std::size_t bytesPerFrame = format->streamDescription().bytesPerFrame;
    if (rate <= 0 || bytesPerFrame == 0)
        return nullptr;
    const long frames = std::min<long>(
        sample->numSamples(), static_cast<long>(sample->dataBlock()->dataLength() / bytesPerFrame));
    const double first = sample->presentationTime().seconds();
    long skip = 0;
    if (first < start.seconds())
        skip = std::lround((start.seconds() - first) * rate);
    long keep = frames - skip;
    const double room = (end.seconds() - std::max(first, start.seconds())) * rate;
    keep = std::min<long>(keep, static_cast<long>(std::floor(room + 0.5)));
    if (keep <= 0)
        return nullptr;
    if (skip == 0 && keep == frames)
        return sample;
    auto block = DataBlock::create(sample->dataBlock()->data() + skip * bytesPerFrame,
                                   static_cast<std::size_t>(keep) * bytesPerFrame);
    const MediaTime time = skip > 0 ? start : sample->presentationTime();
    return SampleBuffer::createAudio(block, true, format, keep, time);
}

} // namespace

std::shared_ptr<MovieExportSession> MovieExportSession::create(AssetPtr asset, TimeRange range,
                                                               std::string outputPath) {
    auto session = std::make_shared<MovieExportSession>();
    session->_asset = std::move(asset);
    session->_range = range;
    session->_outputPath = std::move(outputPath);
    return session;
}

void MovieExportSession::exportAsynchronously(std::function<void(const ErrorPtr&)> completion) {
    if (_status != MovieExportStatus::Waiting)
        return;
    _completion = std::move(completion);
    _status = MovieExportStatus::Exporting;
    if (!setUp())
        return;
    auto self = sharedAs<MovieExportSession>();
    _videoInput->requestMediaDataWhenReady([self] { self->feed(true); });
    if (_audioInput)
        _audioInput->requestMediaDataWhenReady([self] { self->feed(false); });
}

bool MovieExportSession::setUp() {
    ErrorPtr error;
    auto videoTracks =
        _asset ? _asset->tracksWithMediaType(kMediaTypeVideo) : std::vector<AssetTrackPtr>{};
    if (videoTracks.empty() || !(_range.duration > MediaTime::zero())) {
        failWith(exportError(_asset ? _asset->path() : _outputPath, "has no pictures to copy"));
        return false;
    }
    const AssetTrackPtr videoTrack = videoTracks.front();
    auto audioTracks = _asset->tracksWithMediaType(kMediaTypeAudio);
    const AssetTrackPtr audioTrack = audioTracks.empty() ? nullptr : audioTracks.front();

    _writer = AssetWriter::create(_outputPath, kFileTypeQuickTimeMovie, &error);
    if (!_writer) {
        failWith(error);
        return false;
    }
    MediaSettings compression = PlistValue::dictionary();
    compression.set(kVideoAverageBitRateKey,
                    PlistValue::real(static_cast<double>(videoTrack->estimatedDataRate())));
    MediaSettings videoSettings = PlistValue::dictionary();
    videoSettings.set(kVideoCodecKey, PlistValue::string(kVideoCodecH264));
    videoSettings.set(kVideoWidthKey, PlistValue::integer(static_cast<std::int64_t>(
                                          videoTrack->naturalSize().width)));
    videoSettings.set(kVideoHeightKey, PlistValue::integer(static_cast<std::int64_t>(
                                           videoTrack->naturalSize().height)));
    videoSettings.set(kVideoCompressionPropertiesKey, compression);
    _videoInput = AssetWriterInput::create(kMediaTypeVideo, videoSettings, &error);
    if (!_videoInput) {
        failWith(error);
        return false;
    }
    _videoInput->setTransform(videoTrack->preferredTransform());
    _writer->addInput(_videoInput);
    _adaptor = PixelBufferAdaptor::create(_videoInput);

    if (audioTrack && !audioTrack->formatDescriptions().empty()) {
        const AudioFormatListItem item =
            audioTrack->formatDescriptions().front()->formatList().front();
        int channels = static_cast<int>(item.streamDescription.channelsPerFrame);
        std::uint32_t tag = item.channelLayoutTag;
        if (channels <= 0)
            channels = 1;
        // The render engine takes one or two channels; wider sound is mixed down here.
        if (channels > 2)
            channels = 2;
        if (tag == kAudioChannelLayoutTagUnknown || channels == 2)
            tag = channels == 2 ? kAudioChannelLayoutTagStereo : kAudioChannelLayoutTagMono;
        std::vector<std::uint8_t> layout(32, 0);
        std::memcpy(layout.data(), &tag, sizeof tag);
        const double rate = item.streamDescription.sampleRate > 0
                                ? item.streamDescription.sampleRate
                                : kDefaultSampleRate;
        MediaSettings audioSettings = PlistValue::dictionary();
        audioSettings.set(kFormatIDKey, PlistValue::integer(kAudioFormatMPEG4AAC));
        audioSettings.set(kNumberOfChannelsKey, PlistValue::integer(channels));
        audioSettings.set(kSampleRateKey, PlistValue::real(rate));
        audioSettings.set(kEncoderBitRateKey, PlistValue::integer(static_cast<std::int64_t>(
                                                  audioTrack->estimatedDataRate())));
        audioSettings.set(kChannelLayoutKey, PlistValue::data(layout));
        _audioInput = AssetWriterInput::create(kMediaTypeAudio, audioSettings, &error);
        if (!_audioInput) {
            failWith(error);
            return false;
        }
        _writer->addInput(_audioInput);
    }

    auto openReader = [&](const AssetTrackPtr& track, MediaSettings settings,
                          AssetReaderPtr& reader, AssetReaderTrackOutputPtr& output) {
        reader = AssetReader::create(_asset, &error);
        if (!reader)
            return false;
        output = AssetReaderTrackOutput::create(track, std::move(settings));
        if (!output || !reader->canAddOutput(output))
            return false;
        reader->addOutput(output);
        reader->setTimeRange(_range);
        if (!reader->startReading()) {
            error = reader->error();
            return false;
        }
        return true;
    };
    MediaSettings pictureSettings = PlistValue::dictionary();
    pictureSettings.set(kPixelBufferPixelFormatTypeKey, PlistValue::integer(kPixelFormat420v));
    if (!openReader(videoTrack, pictureSettings, _videoReader, _videoOutput)) {
        failWith(error ? error : exportError(_asset->path(), "its pictures cannot be read"));
        return false;
    }
    if (_audioInput) {
        MediaSettings soundSettings = PlistValue::dictionary();
        soundSettings.set(kFormatIDKey, PlistValue::integer(kAudioFormatLinearPCM));
        if (!openReader(audioTrack, soundSettings, _audioReader, _audioOutput)) {
            failWith(error ? error : exportError(_asset->path(), "its sound cannot be read"));
            return false;
        }
        _audioDone = false;
    }
    if (!_writer->startWriting()) {
        failWith(_writer->error());
        return false;
    }
    // The new movie's clock starts at its first picture (see feed).
    return true;
}

void MovieExportSession::feed(bool pictures) {
    bool& done = pictures ? _videoDone : _audioDone;
    auto keepAlive = sharedAs<MovieExportSession>();
    for (int n = 0; n < kSamplesPerTurn && _status == MovieExportStatus::Exporting && !done; ++n) {
        const AssetWriterInputPtr input = pictures ? _videoInput : _audioInput;
        if (!input->isReadyForMoreMediaData())
            return;
        if (_writer->status() != AssetWriterStatus::Writing) {
            failWith(_writer->error() ? _writer->error()
                                      : exportError(_outputPath, "the movie cannot be written"));
            return;
        }
        if (!pictures && !_sessionStarted)
            return; // the first picture sets the clock; the sound waits for it
        const AssetReaderPtr reader = pictures ? _videoReader : _audioReader;
        SampleBufferPtr sample = (pictures ? _videoOutput : _audioOutput)->copyNextSampleBuffer();
        if (sample && !pictures && sample->presentationTime() >= _range.end()) {
            reader->cancelReading(); // the rest of the sound lies after the stretch
            sample = nullptr;
        }
        if (!sample) {
            if (reader->status() == AssetReaderStatus::Failed) {
                failWith(reader->error());
                return;
            }
            if (pictures && !_sessionStarted) {
                failWith(exportError(_asset->path(), "the chosen stretch holds no picture"));
                return;
            }
            input->markAsFinished();
            done = true;
            finishIfDone();
            return;
        }
        if (!pictures) {
            if (auto cut = cutToRange(sample, _range.start, _range.end()))
                input->appendSampleBuffer(cut);
            continue;
        }
        if (!_sessionStarted) {
            // A stretch that starts between two pictures starts at the next one, and so does its
            // sound: the copy begins with a picture, without a gap.
            const MediaTime end = _range.end();
            if (sample->presentationTime() > _range.start)
                _range =
                    TimeRange::make(sample->presentationTime(), end - sample->presentationTime());
            _writer->startSessionAtSourceTime(_range.start);
            _sessionStarted = true;
        }
        if (!_adaptor->appendPixelBuffer(sample->imageBuffer(), sample->presentationTime())) {
            failWith(_writer->error() ? _writer->error()
                                      : exportError(_outputPath, "a picture cannot be written"));
            return;
        }
        const double part = (sample->presentationTime() - _range.start).seconds() /
                            std::max(1e-6, _range.duration.seconds());
        _progress = static_cast<float>(std::clamp(part, 0.0, 1.0));
        if (_progressHandler)
            _progressHandler(_progress);
    }
}

void MovieExportSession::finishIfDone() {
    if (!_videoDone || !_audioDone || _status != MovieExportStatus::Exporting)
        return;
    if (!_writer->finishWriting()) {
        failWith(_writer->error() ? _writer->error()
                                  : exportError(_outputPath, "the movie cannot be completed"));
        return;
    }
    _status = MovieExportStatus::Completed;
    _progress = 1;
    if (_progressHandler)
        _progressHandler(_progress);
    release();
    if (auto completion = std::move(_completion))
        completion(nullptr);
}

void MovieExportSession::failWith(const ErrorPtr& error) {
    if (_status != MovieExportStatus::Exporting)
        return;
    _status = MovieExportStatus::Failed;
    _error = error ? error : exportError(_outputPath, "the movie cannot be written");
    if (_writer)
        _writer->cancelWriting();
    release();
    // Told on a later turn, like every other answer, even when setting up failed at once.
    auto self = sharedAs<MovieExportSession>();
    RunLoop::post([self] {
        if (auto completion = std::move(self->_completion))
            completion(self->_error);
    });
}

void MovieExportSession::cancelExport() {
    if (_status != MovieExportStatus::Exporting && _status != MovieExportStatus::Waiting)
        return;
    _status = MovieExportStatus::Cancelled;
    if (_videoReader)
        _videoReader->cancelReading();
    if (_audioReader)
        _audioReader->cancelReading();
    if (_writer)
        _writer->cancelWriting();
    _completion = nullptr;
    release();
}

void MovieExportSession::release() {
    _videoOutput.reset();
    _audioOutput.reset();
    _videoReader.reset();
    _audioReader.reset();
    _adaptor.reset();
    _videoInput.reset();
    _audioInput.reset();
    _writer.reset();
}

} // namespace tx
