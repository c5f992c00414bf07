// What a recording shows of its pictures to work that wants to begin before it ends.
#pragma once

#include "platform/media/MediaTypes.h"
#include "platform/media/SampleBuffer.h"

#include <string>

namespace tx {

// Sees the pictures of a recording as the movie keeps them, so that work on them can start
// before the recording ends. Called on the capture's threads; it must never make them wait.
class CapturePictureTap {
public:
    virtual ~CapturePictureTap() = default;
    // A recording to `fileURL` has begun: its pictures' settings (as a writer's picture input
    // takes them) and rate.
    virtual void recordingBegan(const std::string& fileURL, const MediaSettings& videoSettings,
                                double framesPerSecond) = 0;
    // A picture is now in the movie, `movieSeconds` after its start.
    virtual void recordingKeptPicture(const PixelBufferPtr& picture, double movieSeconds) = 0;
    // The recording has ended; `kept` when its movie is complete.
    virtual void recordingEnded(bool kept) = 0;
};

} // namespace tx
