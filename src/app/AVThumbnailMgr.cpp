#include "app/AVThumbnailMgr.h"

#include "platform/media/Asset.h"
#include "platform/media/ImageGenerator.h"

#include <QImage>

#include <cstring>

namespace tx {

namespace {

constexpr std::int32_t kStillTimescale = 600;

} // namespace

ImagePtr AVThumbnailMgr::thumbnail(const std::string& movieURL) {
    AssetPtr asset = Asset::urlAsset(movieURL, true);
    if (!asset) {
        return nullptr;
    }
    ImageGeneratorPtr generator = ImageGenerator::create(asset);
    generator->setAppliesPreferredTrackTransform(true);
    const MediaTime time =
        MediaTime::makeWithSeconds(asset->duration().seconds() * 0.5, kStillTimescale);
    const RasterImage still = generator->copyImageAtTime(time);
    if (still.isNull()) {
        return nullptr;
    }
    QImage pixels(still.width, still.height, QImage::Format_RGBA8888);
    const auto rowBytes = static_cast<std::size_t>(still.width) * 4;
    for (int y = 0; y < still.height; ++y) {
        std::memcpy(pixels.scanLine(y), still.rgba.data() + static_cast<std::size_t>(y) * rowBytes,
                    rowBytes);
    }
    return std::make_shared<Image>(std::move(pixels), 1.0);
}

} // namespace tx
