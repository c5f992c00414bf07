#include "VideoPreviewLayer.h"

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
    PreviewImage image;
    const PixelBufferPtr picture = latestPicture();
    if (!picture || picture->frame() == nullptr) {
        return image;
    }
    const AVFrame* frame = picture->frame();
    std::lock_guard lock(_convertMutex);
    if (!_converter) {
        _converter = std::make_unique<Converter>();
    }
    Converter& converter = *_converter;
    converter.sws.reset(sws_getCachedContext(converter.sws.release(), frame->width, frame->height,
                                             static_cast<AVPixelFormat>(frame->format),
                                             frame->width, frame->height, AV_PIX_FMT_BGRA,
                                             SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!converter.sws) {
        return image;
    }
    image.width = frame->width;
    image.height = frame->height;
    image.pixels.resize(static_cast<std::size_t>(image.bytesPerRow()) * image.height);
    std::uint8_t* planes[4] = {image.pixels.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {image.bytesPerRow(), 0, 0, 0};
    if (sws_scale(converter.sws.get(), frame->data, frame->linesize, 0, frame->height, planes,
                  strides) < 0) {
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
