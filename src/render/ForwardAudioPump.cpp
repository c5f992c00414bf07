// The forward-sound pump: a music track or song laid forwards under the backwards picture, cut
// at the output's length, started again from its beginning while the output is longer.
#include "AVFileRenderMgr.h"

#include "platform/foundation/RunLoop.h"
#include "render/PumpWindow.h"

#include <algorithm>
#include <cmath>

namespace tx {

namespace {

struct ForwardPumpState {
    AssetReaderTrackOutputPtr readerOutput;
    float secondsLaid = 0;
    // The end of the current pass on the sound's own clock.
    MediaTime passEnd = MediaTime::zero();
};

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

void AVFileRenderMgr::processNormalAudio(const AssetWriterInputPtr& input) {
    if (!input) {
        return;
    }
    auto state = std::make_shared<ForwardPumpState>();
    // The sound's own length: its track need not start at zero.
    const MediaTime soundLength = _audioTimeValue - _audioStartTime;
    state->readerOutput = setupAudioReaderOutput(soundLength, _actualVideoTime);
    state->passEnd = _audioStartTime + passLengthFor(soundLength, _actualVideoTime);
    state->secondsLaid = 0;
    auto engine = self();
    input->requestMediaDataWhenReady([engine, input, state]() {
        AVFileRenderMgr& e = *engine;
        bool stopped = false;
        while (input->isReadyForMoreMediaData()) {
            if (!e._readerAudio || e._readerAudio->status() != AssetReaderStatus::Reading ||
                !e._writer || e._writer->status() != AssetWriterStatus::Writing) {
                stopped = true;
                break;
            }
            const MediaTime soundLength = e._audioTimeValue - e._audioStartTime;
            SampleBufferPtr sample =
                state->readerOutput ? state->readerOutput->copyNextSampleBuffer() : nullptr;
            if (sample) {
                const double ownSeconds =
                    (sample->outputPresentationTime() - e._audioStartTime).seconds();
                // Every pass starts again at the sound's start on the reader's clock: move it to
                // where the earlier passes ended, so the sound only goes forward from zero.
                const MediaTime shift =
                    MediaTime::makeWithSeconds(state->secondsLaid, kRenderTimescale) -
                    e._audioStartTime;
                auto placed = placeOnOutput(sample, shift, state->passEnd);
                if (placed->numSamples() > 0) {
                    input->appendSampleBuffer(placed);
                }
                const float denominator =
                    e._videoTotalTime / (static_cast<float>(e._tempo) / 100.0f);
                e._audioProgress =
                    static_cast<float>((ownSeconds + state->secondsLaid) / denominator);
                const float progress = e.progress();
                e.queueProgress(progress);
                continue;
            }
            if (e._actualVideoTime <= soundLength) {
                e._actualVideoTime = MediaTime::zero();
                input->markAsFinished();
                e.postPumpFinish(kMediaTypeAudio);
                return;
            }
            e._actualVideoTime = e._actualVideoTime - soundLength;
            state->secondsLaid += static_cast<float>(soundLength.seconds());
            state->readerOutput = e.setupAudioReaderOutput(soundLength, e._actualVideoTime);
            state->passEnd = e._audioStartTime + passLengthFor(soundLength, e._actualVideoTime);
        }
        if (stopped || !e._writer) {
            e.postPumpFailure(kAudioRenderErrorDomain, e._readerAudio);
        }
    });
}

AssetReaderTrackOutputPtr
AVFileRenderMgr::setupAudioReaderOutput(const MediaTime& audioDuration,
                                        const MediaTime& actualVideoDuration) {
    if (!_sourceAssetAudio) {
        return nullptr;
    }
    if (_readerAudio) {
        _readerAudio->cancelReading();
    }
    ErrorPtr error;
    _readerAudio = AssetReader::create(_sourceAssetAudio, &error);
    if (error) {
        return nullptr;
    }
    MediaSettings settings = PlistValue::dictionary();
    settings.set(kFormatIDKey, PlistValue::integer(kAudioFormatLinearPCM));
    // Surround is folded down to stereo by the reader, as for reversed sound.
    settings.set(kNumberOfChannelsKey, PlistValue::integer(2));
    auto output = AssetReaderTrackOutput::create(_sourceAudioTrack, settings);
    if (output && _readerAudio->canAddOutput(output)) {
        _readerAudio->addOutput(output);
    }
    const MediaTime length =
        actualVideoDuration <= audioDuration ? actualVideoDuration : audioDuration;
    _readerAudio->setTimeRange(TimeRange::make(_audioStartTime, length));
    if (!output) {
        return nullptr;
    }
    if (!_readerAudio) {
        return output;
    }
    return _readerAudio->startReading() ? output : nullptr;
}

} // namespace tx
