// Still pictures taken from a movie, upright as the movie is meant to be shown.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/media/Asset.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tx {

// Straight RGBA, 8 bits a channel, rows packed.
struct RasterImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
    bool isNull() const { return width <= 0 || height <= 0; }
};

class ImageGenerator : public Object {
public:
    static std::shared_ptr<ImageGenerator> create(AssetPtr asset);
    void setAppliesPreferredTrackTransform(bool applies) { _appliesTransform = applies; }
    bool appliesPreferredTrackTransform() const { return _appliesTransform; }
    // The picture shown at `time`: the last one at or before it (the first one when the time is
    // earlier than every picture). `actualTime` receives that picture's time.
    RasterImage copyImageAtTime(const MediaTime& time, MediaTime* actualTime = nullptr,
                                ErrorPtr* error = nullptr);

private:
    AssetPtr _asset;
    bool _appliesTransform = false;
};

using ImageGeneratorPtr = std::shared_ptr<ImageGenerator>;

} // namespace tx
