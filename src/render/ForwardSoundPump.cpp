#include "ForwardSoundPump.h"

#include "render/PumpWindow.h"

#include <algorithm>
#include <cmath>

namespace tx {

namespace {

MediaTime passLengthFor(const MediaTime& audioDuration, const MediaTime& remaining) {
    return remaining <= audioDuration ? remaining : audioDuration;
}

// The part of a decoded buffer that lies before `end`, moved later by `shift`.
SampleBufferPtr placeOnOutput(const SampleBufferPtr& sample, const MediaTime& shift,
                              const MediaTime& end) {
    const MediaTime start = sample->presentationTime();
    long frames = sample->numSamples();
    const auto& format = sample->formatDescription();
    const double rate = format->streamDescription().sampleRate;
    const std::size_t bytesPerFrame = format->streamDescription().bytesPerFrame;
    const double room = (end - start).seconds();
    if (room * rate < static_cast<double>(frames)) {
        frames = std::max(0L, static_cast<long>(std::floor(room * rate)));
    }
    if (frames == sample->numSamples() && shift == MediaTime::zero()) {
        return sample;
    }
    DataBlockPtr block = frames == sample->numSamples()
                             ? sample->dataBlock()
                             : DataBlock::create(sample->dataBlock()->data(),
                                                 static_cast<std::size_t>(frames) * bytesPerFrame);
    return SampleBuffer::createAudio(block, true, format, frames, start + shift);
}

} // namespace

ForwardSoundPump::ForwardSoundPump(std::shared_ptr<RenderPumpHost> host, PumpSource source,
                                   PumpPace pace)
    : _host(std::move(host)), _source(std::move(source)), _pace(pace),
      _lengthLeft(pace.outputLength) {}

void ForwardSoundPump::start(const AssetWriterInputPtr& input) {
    _readerOutput = openPass(soundLength(), _lengthLeft);
    _passEnd = _source.start + passLengthFor(soundLength(), _lengthLeft);
    _secondsLaid = 0;
    requestWrites(input);
}

void ForwardSoundPump::requestWrites(const AssetWriterInputPtr& input) {
    auto self = shared_from_this();
    input->requestMediaDataWhenReady([self, input]() { self->writeWhileReady(*input); });
}

void ForwardSoundPump::cancelReading() {
    if (_reader) {
        _reader->cancelReading();
    }
}

void ForwardSoundPump::writeWhileReady(AssetWriterInput& input) {
    bool stopped = false;
    const PumpTurn turn;
    while (input.isReadyForMoreMediaData()) {
        if (turn.over() && _host->isWriting()) {
            requestWrites(input.sharedAs<AssetWriterInput>()); // on the loop's next turn
            return;
        }
        if (!_reader || _reader->status() != AssetReaderStatus::Reading || !_host->isWriting()) {
            stopped = true;
            break;
        }
        SampleBufferPtr sample = _readerOutput ? _readerOutput->copyNextSampleBuffer() : nullptr;
        if (sample) {
            const double ownSeconds = (sample->outputPresentationTime() - _source.start).seconds();
            // Every pass starts again at the sound's start on the reader's clock: move it to
            // where the earlier passes ended, so the sound only goes forward from zero.
            const MediaTime shift =
                MediaTime::makeWithSeconds(_secondsLaid, kRenderTimescale) - _source.start;
            auto placed = placeOnOutput(sample, shift, _passEnd);
            if (placed->numSamples() > 0) {
                input.appendSampleBuffer(placed);
            }
            const auto progress =
                static_cast<float>((ownSeconds + _secondsLaid) / _pace.outputSeconds());
            _host->pumpProgressed(kMediaTypeAudio, progress);
            continue;
        }
        if (_lengthLeft <= soundLength()) {
            _lengthLeft = MediaTime::zero();
            input.markAsFinished();
            _host->pumpFinished(kMediaTypeAudio);
            return;
        }
        _lengthLeft = _lengthLeft - soundLength();
        _secondsLaid += static_cast<float>(soundLength().seconds());
        _readerOutput = openPass(soundLength(), _lengthLeft);
        _passEnd = _source.start + passLengthFor(soundLength(), _lengthLeft);
    }
    if (stopped || _host->writerReleased()) {
        _host->pumpStopped(kMediaTypeAudio, _reader);
    }
}

AssetReaderTrackOutputPtr ForwardSoundPump::openPass(const MediaTime& soundLength,
                                                     const MediaTime& lengthLeft) {
    if (!_source.asset) {
        return nullptr;
    }
    if (_reader) {
        _reader->cancelReading();
    }
    ErrorPtr error;
    _reader = AssetReader::create(_source.asset, &error);
    if (error) {
        return nullptr;
    }
    MediaSettings settings = PlistValue::dictionary();
    settings.set(kFormatIDKey, PlistValue::integer(kAudioFormatLinearPCM));
    // Surround is folded down to stereo by the reader, as for reversed sound.
    settings.set(kNumberOfChannelsKey, PlistValue::integer(2));
    auto output = AssetReaderTrackOutput::create(_source.track, settings);
    if (output && _reader->canAddOutput(output)) {
        _reader->addOutput(output);
    }
    _reader->setTimeRange(TimeRange::make(_source.start, passLengthFor(soundLength, lengthLeft)));
    if (!output) {
        return nullptr;
    }
    if (!_reader) {
        return output;
    }
    return _reader->startReading() ? output : nullptr;
}

} // namespace tx
