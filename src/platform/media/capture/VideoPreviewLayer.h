// The live camera picture of a capture session, for the interface kit to draw: the latest
// picture, how it fills the layer, and the layer's frame and visibility.
#pragma once

#include "platform/media/SampleBuffer.h"
#include "platform/media/capture/Layer.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace tx {

class CaptureSession;

// A picture ready to draw: 32-bit pixels, bytes blue, green, red, 255 (QImage's RGB32 here).
struct PreviewImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    int bytesPerRow() const { return width * 4; }
    bool isEmpty() const { return pixels.empty(); }
};

inline const std::string kLayerVideoGravityResize = "AVLayerVideoGravityResize";
inline const std::string kLayerVideoGravityResizeAspect = "AVLayerVideoGravityResizeAspect";
inline const std::string kLayerVideoGravityResizeAspectFill = "AVLayerVideoGravityResizeAspectFill";

class VideoPreviewLayer : public Layer {
public:
    // A preview of `session`'s camera; pictures arrive while the session runs.
    static std::shared_ptr<VideoPreviewLayer>
    create(const std::shared_ptr<CaptureSession>& session);
    ~VideoPreviewLayer() override;

    std::shared_ptr<CaptureSession> session() const { return _session.lock(); }
    const std::string& videoGravity() const { return _videoGravity; }
    void setVideoGravity(const std::string& gravity) { _videoGravity = gravity; }

    // The newest camera picture (NV12), or nothing before the first. Callable from any thread.
    PixelBufferPtr latestPicture() const;
    // The newest picture converted for drawing; empty before the first.
    PreviewImage latestImage() const;
    // The part of the newest picture that shows under the gravity, converted and scaled to
    // `width` x `height` pixels in one pass, ready to draw without scaling; empty before the
    // first picture.
    PreviewImage latestImage(int width, int height) const;
    // Grows by one with every picture, so a view redraws only when something changed.
    std::uint64_t pictureSerial() const;
    // The part of a picture of the given size that shows in the layer under its gravity,
    // in picture pixels (aspect fill crops the picture's longer side).
    LayerFrame visibleRegion(int pictureWidth, int pictureHeight) const;

    // Capture layer internals: the session hands over each new picture.
    void enqueuePicture(const PixelBufferPtr& picture);
    void flush();

private:
    std::weak_ptr<CaptureSession> _session;
    std::string _videoGravity = kLayerVideoGravityResizeAspect;
    mutable std::mutex _mutex;
    PixelBufferPtr _picture;
    std::uint64_t _serial = 0;
    struct Converter;
    mutable std::unique_ptr<Converter> _converter; // made and used under _convertMutex
    mutable std::mutex _convertMutex;
};

using VideoPreviewLayerPtr = std::shared_ptr<VideoPreviewLayer>;

} // namespace tx
