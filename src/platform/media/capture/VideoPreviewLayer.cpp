#include "VideoPreviewLayer.h"

#include <algorithm>
#include <cstddef>

#include "platform/media/FFmpeg.h"
#include "platform/media/capture/CaptureSession.h"

namespace tx {

struct VideoPreviewLayer::Converter {
    ff::SwsPtr sws;
};

std::shared_ptr<VideoPreviewLayer>
VideoPreviewLayer::create(const std::shared_ptr<CaptureSession>& session) {
    auto layer = std::make_shared<VideoPreviewLayer>();
    layer->_session = session;
    if (session) {
        session->attachPreviewLayer(layer);
    }
    return layer;
}

VideoPreviewLayer::~VideoPreviewLayer() = default;

PixelBufferPtr VideoPreviewLayer::latestPicture() const {
    std::lock_guard lock(_mutex);
    return _picture;
}

PreviewImage VideoPreviewLayer::latestImage() const {
    return latestImage(0, 0);
}

PreviewImage VideoPreviewLayer::latestImage(int width, int height) const {
    PreviewImage image;
    const PixelBufferPtr picture = latestPicture();
    if (!picture || picture->frame() == nullptr) {
        return image;
    }
    const AVFrame* frame = picture->frame();
    // The whole picture at its own size, or the part the layer shows at the size asked for.
    int cropX = 0;
    int cropY = 0;
    int cropWidth = frame->width;
    int cropHeight = frame->height;
    const bool scaled = width > 0 && height > 0;
    if (!scaled) {
        width = frame->width;
        height = frame->height;
    } else if (frame->format == AV_PIX_FMT_NV12) {
        const LayerFrame visible = visibleRegion(frame->width, frame->height);
        // Even offsets and sizes keep the half-size colour plane aligned.
        cropX = static_cast<int>(visible.x) & ~1;
        cropY = static_cast<int>(visible.y) & ~1;
        cropWidth = std::max(2, static_cast<int>(visible.width) & ~1);
        cropHeight = std::max(2, static_cast<int>(visible.height) & ~1);
    }
    // A picture scaled for the screen 30 times a second takes the cheaper filter.
    const int flags = scaled ? SWS_FAST_BILINEAR : SWS_BILINEAR;
    std::lock_guard lock(_convertMutex);
    if (!_converter) {
        _converter = std::make_unique<Converter>();
    }
    Converter& converter = *_converter;
    const std::uint8_t* source[4] = {frame->data[0], frame->data[1], frame->data[2],
                                     frame->data[3]};
    if (cropX != 0 || cropY != 0) {
        source[0] += static_cast<std::ptrdiff_t>(cropY) * frame->linesize[0] + cropX;
        source[1] += static_cast<std::ptrdiff_t>(cropY / 2) * frame->linesize[1] + cropX;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(image.bytesPerRow()) * image.height);
    std::uint8_t* planes[4] = {image.pixels.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {image.bytesPerRow(), 0, 0, 0};
    const ff::PictureRef cropped{source, frame->linesize, cropWidth, cropHeight,
                                 static_cast<AVPixelFormat>(frame->format)};
    if (ff::scalePicture(converter.sws, cropped, planes, strides, width, height, AV_PIX_FMT_BGRA,
                         flags) < 0) {
        return {};
    }
    return image;
}

std::uint64_t VideoPreviewLayer::pictureSerial() const {
    std::lock_guard lock(_mutex);
    return _serial;
}

void VideoPreviewLayer::enqueuePicture(const PixelBufferPtr& picture) {
    std::lock_guard lock(_mutex);
    _picture = picture;
    ++_serial;
}

void VideoPreviewLayer::flush() {
    std::lock_guard lock(_mutex);
    _picture.reset();
    ++_serial;
}

LayerFrame VideoPreviewLayer::visibleRegion(int pictureWidth, int pictureHeight) const {
    const LayerFrame whole{0, 0, static_cast<double>(pictureWidth),
                           static_cast<double>(pictureHeight)};
    const LayerFrame& f = frame();
    if (_videoGravity != kLayerVideoGravityResizeAspectFill || f.width <= 0 || f.height <= 0 ||
        pictureWidth <= 0 || pictureHeight <= 0) {
        return whole;
    }
    const double layerAspect = f.width / f.height;
    const double pictureAspect = static_cast<double>(pictureWidth) / pictureHeight;
    if (pictureAspect > layerAspect) {
        const double w = pictureHeight * layerAspect;
        return {(pictureWidth - w) / 2, 0, w, static_cast<double>(pictureHeight)};
    }
    const double h = pictureWidth / layerAspect;
    return {0, (pictureHeight - h) / 2, static_cast<double>(pictureWidth), h};
}

} // namespace tx
