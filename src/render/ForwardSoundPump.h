// The forward-sound pump of a render job: a music track or song laid forwards under the
// backwards picture, cut at the movie's length, started again from its beginning while the
// movie is longer.
#pragma once

#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "render/RenderPumpHost.h"

#include <memory>

namespace tx {

class ForwardSoundPump : public std::enable_shared_from_this<ForwardSoundPump> {
public:
    // The pump keeps `host` alive while it runs; the host drops the pump when the job ends.
    ForwardSoundPump(std::shared_ptr<RenderPumpHost> host, PumpSource source, PumpPace pace);

    // Opens the first pass and writes to `input` whenever it is ready, until the sound is as
    // long as the movie.
    void start(const AssetWriterInputPtr& input);

    // The reader of the current pass.
    const AssetReaderPtr& reader() const { return _reader; }
    // The part of the movie's length not yet filled with sound; zero once the pump is done.
    MediaTime lengthLeft() const { return _lengthLeft; }
    void cancelReading();

private:
    // Asks `input` to call writeWhileReady whenever it is ready.
    void requestWrites(const AssetWriterInputPtr& input);
    void writeWhileReady(AssetWriterInput& input);
    // A new reader from the sound's start, over at most `lengthLeft`: the output of its pass,
    // or none when it cannot read.
    AssetReaderTrackOutputPtr openPass(const MediaTime& soundLength, const MediaTime& lengthLeft);
    MediaTime soundLength() const { return _source.end - _source.start; }

    std::shared_ptr<RenderPumpHost> _host;
    PumpSource _source;
    PumpPace _pace;
    AssetReaderPtr _reader;
    AssetReaderTrackOutputPtr _readerOutput;
    MediaTime _lengthLeft = MediaTime::zero();
    // Seconds of sound laid by the passes already finished.
    float _secondsLaid = 0;
    // The end of the current pass on the sound's own clock.
    MediaTime _passEnd = MediaTime::zero();
};

} // namespace tx
