#include "PicturePump.h"

#include "render/PumpWindow.h"

namespace tx {

namespace {

constexpr double kWindowSeconds = 1.0;

} // namespace

PicturePump::PicturePump(std::shared_ptr<RenderPumpHost> host, PumpSource source,
                         float framesPerSecond, PumpPace pace, PixelBufferAdaptorPtr adaptor)
    : _host(std::move(host)), _source(std::move(source)), _framesPerSecond(framesPerSecond),
      _pace(pace), _adaptor(std::move(adaptor)), _windowStart(_source.end) {}

void PicturePump::start(const AssetWriterInputPtr& input) {
    auto self = shared_from_this();
    input->requestMediaDataWhenReady([self, input]() { self->writeWhileReady(*input); });
}

void PicturePump::writeWhileReady(AssetWriterInput& input) {
    bool writerGone = false;
    const PumpTurn turn;
    while (input.isReadyForMoreMediaData()) {
        if (turn.over() && _host->isWriting()) {
            start(input.sharedAs<AssetWriterInput>()); // on with it on the loop's next turn
            return;
        }
        if (!_host->isWriting()) {
            writerGone = true;
            break;
        }
        if (_pictures.empty() && !_windowOutput) {
            TimeRange window;
            if (!nextWindowBackwards(_windowStart, kWindowSeconds, window, _source.start)) {
                input.markAsFinished();
                _host->pumpFinished(kMediaTypeVideo);
                return;
            }
            openWindow(window);
        }
        if (_windowOutput && !readWindow(turn)) {
            start(input.sharedAs<AssetWriterInput>()); // the window's decoding goes on next turn
            return;
        }
        if (_pictures.empty()) {
            continue; // the window gave no pictures: on with the next one
        }
        SampleBufferPtr sample = _pictures.back();
        // Output times come from the picture count, in single precision on purpose.
        const float t = static_cast<float>(_picturesWritten) / _framesPerSecond /
                        (static_cast<float>(_pace.tempo) / 100.0f);
        const MediaTime outputTime = MediaTime::makeWithSeconds(t, kRenderTimescale);
        ++_picturesWritten;
        _adaptor->appendPixelBuffer(sample->imageBuffer(), outputTime);
        const auto progress = static_cast<float>(
            (_source.end - sample->outputPresentationTime()).seconds() / _pace.pictureSeconds);
        _pictures.pop_back();
        _host->pumpProgressed(kMediaTypeVideo, progress);
    }
    if (writerGone || _host->writerReleased()) {
        _host->pumpStopped(kMediaTypeVideo, nullptr);
    }
}

void PicturePump::openWindow(const TimeRange& window) {
    if (!_source.asset) {
        return;
    }
    ErrorPtr error;
    auto reader = AssetReader::create(_source.asset, &error);
    if (!reader) {
        return;
    }
    MediaSettings settings = PlistValue::dictionary();
    settings.set(kPixelBufferPixelFormatTypeKey, PlistValue::integer(kPixelFormat420v));
    auto output = AssetReaderTrackOutput::create(_source.track, settings);
    if (reader->canAddOutput(output)) {
        reader->addOutput(output);
    }
    reader->setTimeRange(window);
    // Tell the reader which window comes next, so it can have its pictures ready.
    TimeRange following;
    if (window.start == _windowStart &&
        peekWindowBackwards(_windowStart, kWindowSeconds, following, _source.start)) {
        reader->setFollowingTimeRange(following);
    }
    if (!reader->startReading() || reader->status() != AssetReaderStatus::Reading) {
        return;
    }
    _windowReader = std::move(reader);
    _windowOutput = std::move(output);
}

bool PicturePump::readWindow(const PumpTurn& turn) {
    for (;;) {
        SampleBufferPtr sample = _windowOutput->copyNextSampleBuffer(turn.end());
        if (!sample && _windowOutput->timedOut()) {
            return false;
        }
        if (sample) {
            _pictures.push_back(sample);
        }
        if (!sample || _windowReader->status() != AssetReaderStatus::Reading) {
            _windowReader->cancelReading();
            _windowReader.reset();
            _windowOutput.reset();
            return true;
        }
    }
}

} // namespace tx
