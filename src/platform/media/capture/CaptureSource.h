// Internal to the capture layer: one running device. A thread of its own reads the device
// through libavdevice, converts pictures to NV12 at the session's size and sound to signed
// 16-bit, stamps both on the host clock and hands them on.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/media/SampleBuffer.h"
#include "platform/media/capture/CaptureDevice.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct AVFrame;

namespace tx {

// Seconds of the monotonic clock every capture time is measured on.
double captureHostSeconds();

class CaptureSource {
public:
    struct Sinks {
        std::function<void(const PixelBufferPtr&, double hostSeconds)> picture;
        std::function<void(const SampleBufferPtr&)> sound; // times in host seconds
        // Called once, from the source's thread, when the device fails or vanishes.
        std::function<void(const ErrorPtr&)> failure;
    };

    CaptureSource(CaptureDevicePtr device, Sinks sinks);
    ~CaptureSource();

    // Opens the device and starts reading; on failure says why and reads nothing.
    bool start(ErrorPtr* error);
    void stop();

    // The picture size handed on (even numbers); callable while running.
    void setPictureSize(int width, int height);
    // Pictures per second the device delivers (its nominal rate), 0 before start or for sound.
    double frameRate() const { return _frameRate; }
    const CaptureDevicePtr& device() const { return _device; }

    struct Impl;

private:
    void run();
    // Hand a decoded picture or sound on; 0 or an FFmpeg error.
    int deliverPicture(AVFrame* frame);
    int deliverSound(AVFrame* frame);
    // When `frame` happened on the host clock.
    double hostTime(const AVFrame* frame);
    // What the user is told when reading the device fails with `ret`.
    ErrorPtr readFailure(int ret) const;

    CaptureDevicePtr _device;
    Sinks _sinks;
    std::unique_ptr<Impl> _impl;
    std::thread _thread;
    std::atomic<bool> _stopping{false};
    std::atomic<double> _lastDataSeconds{0};
    double _frameRate = 0;
    std::mutex _sizeMutex;
    int _width = 640;
    int _height = 480;
};

} // namespace tx
