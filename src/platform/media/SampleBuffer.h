// Decoded media in transit: pictures (pixel buffers) and sound (data blocks) with their times.
#pragma once

#include "platform/foundation/Object.h"
#include "platform/media/Asset.h"
#include "platform/media/MediaTime.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" {
struct AVFrame;
}

namespace tx {

// A decoded picture's frame, owned: freed with its owner.
struct FrameDeleter {
    void operator()(AVFrame* frame) const;
};
using OwnedFrame = std::unique_ptr<AVFrame, FrameDeleter>;

// One decoded picture. '420v' pictures are NV12: a luma plane and an interleaved chroma plane.
class PixelBuffer : public Object {
public:
    // A blank picture of the given size and format (kPixelFormat420v).
    static std::shared_ptr<PixelBuffer> create(int width, int height,
                                               std::uint32_t pixelFormat = kPixelFormat420v);
    ~PixelBuffer() override;

    int width() const;
    int height() const;
    std::uint32_t pixelFormat() const { return _pixelFormat; }
    int planeCount() const;
    std::uint8_t* baseAddressOfPlane(int plane) const;
    int bytesPerRowOfPlane(int plane) const;

    // Media layer internals: wraps a decoded frame without copying it.
    static std::shared_ptr<PixelBuffer> wrap(OwnedFrame frame, std::uint32_t pixelFormat);
    AVFrame* frame() const { return _frame.get(); }

private:
    OwnedFrame _frame;
    std::uint32_t _pixelFormat = kPixelFormat420v;
};

using PixelBufferPtr = std::shared_ptr<PixelBuffer>;

// A plain block of bytes, without timing or format.
class DataBlock : public Object {
public:
    // Takes memory from malloc; the block frees it.
    static std::shared_ptr<DataBlock> createWithMemory(void* memory, std::size_t length);
    static std::shared_ptr<DataBlock> create(const void* bytes, std::size_t length);
    ~DataBlock() override;

    std::size_t dataLength() const { return _length; }
    std::uint8_t* data() const { return _data; }

private:
    std::uint8_t* _data = nullptr;
    std::size_t _length = 0;
};

using DataBlockPtr = std::shared_ptr<DataBlock>;

class SampleBuffer : public Object {
public:
    static std::shared_ptr<SampleBuffer> createPicture(PixelBufferPtr picture, MediaTime time,
                                                       MediaTime duration);
    // A sound sample buffer over a data block, as the engine builds them.
    static std::shared_ptr<SampleBuffer> createAudio(DataBlockPtr block, bool dataReady,
                                                     AudioFormatDescriptionPtr format,
                                                     long numSamples, MediaTime time);

    MediaTime presentationTime() const { return _presentationTime; }
    MediaTime outputPresentationTime() const { return _presentationTime; }
    MediaTime duration() const { return _duration; }
    MediaTime outputDuration() const { return _duration; }
    const PixelBufferPtr& imageBuffer() const { return _imageBuffer; }
    const DataBlockPtr& dataBlock() const { return _dataBlock; }
    const AudioFormatDescriptionPtr& formatDescription() const { return _format; }
    long numSamples() const { return _numSamples; }
    bool dataIsReady() const { return _dataReady; }

private:
    MediaTime _presentationTime = MediaTime::invalid();
    MediaTime _duration = MediaTime::invalid();
    PixelBufferPtr _imageBuffer;
    DataBlockPtr _dataBlock;
    AudioFormatDescriptionPtr _format;
    long _numSamples = 0;
    bool _dataReady = true;
};

using SampleBufferPtr = std::shared_ptr<SampleBuffer>;

} // namespace tx
