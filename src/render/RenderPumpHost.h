// Internal to the render engine: what a pump tells the job it writes for, and what it asks.
#pragma once

#include "platform/media/Asset.h"
#include "platform/media/AssetReader.h"

#include <cstdint>
#include <string>

namespace tx {

class RenderPumpHost {
public:
    virtual ~RenderPumpHost() = default;
    // The job's writer exists and takes media; a pump stops as soon as this no longer holds.
    virtual bool isWriting() const = 0;
    // The job has let its writer go: it has ended, or it was stopped.
    virtual bool writerReleased() const = 0;
    // How far the pump of `mediaType` is, 0 to 1, after it wrote a picture or a block of sound.
    virtual void pumpProgressed(const std::string& mediaType, float progress) = 0;
    // The pump of `mediaType` has written everything and marked its input as finished.
    virtual void pumpFinished(const std::string& mediaType) = 0;
    // The pump of `mediaType` stops before its end. That ends the job with an error only when
    // the writer (or `reader`, the pump's own) has failed.
    virtual void pumpStopped(const std::string& mediaType, const AssetReaderPtr& reader) = 0;
    // The pump of `mediaType` cannot go on for a reason of its own: the job ends with its error.
    virtual void pumpFailed(const std::string& mediaType) = 0;
};

// One track of an opened source and the part of it a pump uses, from `start` to `end`.
struct PumpSource {
    AssetPtr asset;
    AssetTrackPtr track;
    MediaTime start = MediaTime::zero();
    MediaTime end = MediaTime::zero();
};

// The job's speed in percent and the lengths its progress is measured against.
struct PumpPace {
    std::int32_t tempo = 100;
    // Seconds of source picture.
    float pictureSeconds = 0;
    // The movie's length: the picture's at the job's speed.
    MediaTime outputLength = MediaTime::zero();

    // Seconds of output the picture fills, in single precision as the sound progress counts it.
    float outputSeconds() const { return pictureSeconds / (static_cast<float>(tempo) / 100.0f); }
};

} // namespace tx
