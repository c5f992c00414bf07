// The picture pump of a render job: the source read backwards in one-second windows from its
// end, each window decoded whole and written latest picture first, at evenly spaced times.
#pragma once

#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/SampleBuffer.h"
#include "render/PumpWindow.h"
#include "render/RenderPumpHost.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tx {

class PicturePump : public std::enable_shared_from_this<PicturePump> {
public:
    // The pump keeps `host` alive while it runs; the host drops the pump when the job ends.
    PicturePump(std::shared_ptr<RenderPumpHost> host, PumpSource source, float framesPerSecond,
                PumpPace pace, PixelBufferAdaptorPtr adaptor);

    // Writes to `input` whenever it is ready, until every picture is written.
    void start(const AssetWriterInputPtr& input);

private:
    void writeWhileReady(AssetWriterInput& input);
    // Starts reading the pictures of `window`; readWindow decodes them into _pictures, in
    // presentation order, for as long as the turn lasts: true once the window is read whole.
    // A window far from its keyframe takes many turns, and a stop is heard between them.
    void openWindow(const TimeRange& window);
    bool readWindow(const PumpTurn& turn);

    std::shared_ptr<RenderPumpHost> _host;
    PumpSource _source;
    float _framesPerSecond = 0;
    PumpPace _pace;
    PixelBufferAdaptorPtr _adaptor;
    // The start of the next window to read: counts down from the source's end to its start.
    MediaTime _windowStart = MediaTime::zero();
    // Pictures written so far: the index of the next output picture.
    std::uint32_t _picturesWritten = 0;
    // The current window's pictures not written yet; the latest is at the back.
    std::vector<SampleBufferPtr> _pictures;
    // The window being read, while it is.
    std::shared_ptr<AssetReader> _windowReader;
    AssetReaderTrackOutputPtr _windowOutput;
};

} // namespace tx
