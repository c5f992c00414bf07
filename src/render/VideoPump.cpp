// The picture pump: the source read backwards in one-second windows from the end, each window
// decoded whole and written latest picture first, at evenly spaced output times.
#include "AVFileRenderMgr.h"

#include "platform/foundation/RunLoop.h"
#include "render/PumpWindow.h"

namespace tx {

namespace {

constexpr double kWindowSeconds = 1.0;

} // namespace

void AVFileRenderMgr::processVideo(const AssetWriterInputPtr& input) {
    _videoFrame = 0;
    auto engine = self();
    input->requestMediaDataWhenReady([engine, input]() {
        AVFileRenderMgr& e = *engine;
        bool writerGone = false;
        while (input->isReadyForMoreMediaData()) {
            if (!e._writer || e._writer->status() != AssetWriterStatus::Writing) {
                writerGone = true;
                break;
            }
            if (e._videoArrayBuffer.empty()) {
                TimeRange window;
                if (!nextWindowBackwards(e._videoBaseTime, kWindowSeconds, window,
                                         e._videoStartTime)) {
                    input->markAsFinished();
                    e.postPumpFinish(kMediaTypeVideo);
                    return;
                }
                e.getVideoData(window, e._videoArrayBuffer);
            }
            if (e._videoArrayBuffer.empty()) {
                continue; // the window gave no pictures: on with the next one
            }
            SampleBufferPtr sample = e._videoArrayBuffer.back();
            // Output times come from the picture count, in single precision on purpose.
            const float t = static_cast<float>(e._videoFrame) / e._nominalFrameRate /
                            (static_cast<float>(e._tempo) / 100.0f);
            const MediaTime outputTime = MediaTime::makeWithSeconds(t, kRenderTimescale);
            ++e._videoFrame;
            e._writerVideoInputAdaptor->appendPixelBuffer(sample->imageBuffer(), outputTime);
            e._videoProgress = static_cast<float>(
                (e._videoTimeValue - sample->outputPresentationTime()).seconds() /
                e._videoTotalTime);
            e._videoArrayBuffer.pop_back();
            const float progress = e.progress();
            RunLoop::performOnMain([engine, progress]() { engine->didUpdateRender(progress); },
                                   true);
        }
        if (writerGone || !e._writer) {
            e.postPumpFailure(kVideoRenderErrorDomain);
        }
    });
}

void AVFileRenderMgr::getVideoData(const TimeRange& range, std::vector<SampleBufferPtr>& buffer) {
    if (!_sourceAssetVideo) {
        return;
    }
    ErrorPtr error;
    auto reader = AssetReader::create(_sourceAssetVideo, &error);
    if (!reader) {
        return;
    }
    MediaSettings settings = PlistValue::dictionary();
    settings.set(kPixelBufferPixelFormatTypeKey, PlistValue::integer(kPixelFormat420v));
    auto output = AssetReaderTrackOutput::create(_sourceVideoTrack, settings);
    if (reader->canAddOutput(output)) {
        reader->addOutput(output);
    }
    reader->setTimeRange(range);
    // Tell the reader which window comes next, so it can have its pictures ready.
    TimeRange following;
    if (range.start == _videoBaseTime &&
        peekWindowBackwards(_videoBaseTime, kWindowSeconds, following, _videoStartTime)) {
        reader->setFollowingTimeRange(following);
    }
    if (!reader->startReading() || reader->status() != AssetReaderStatus::Reading) {
        return;
    }
    for (;;) {
        SampleBufferPtr sample = output->copyNextSampleBuffer();
        if (!sample) {
            reader->cancelReading();
            return;
        }
        buffer.push_back(sample);
        if (reader->status() != AssetReaderStatus::Reading) {
            return;
        }
    }
}

} // namespace tx
