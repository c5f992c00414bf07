#include "SampleBuffer.h"

#include "FFmpeg.h"

#include <cstdlib>
#include <cstring>

namespace tx {

std::shared_ptr<PixelBuffer> PixelBuffer::create(int width, int height, std::uint32_t pixelFormat) {
    OwnedFrame frame(av_frame_alloc());
    frame->width = width;
    frame->height = height;
    frame->format = AV_PIX_FMT_NV12;
    if (av_frame_get_buffer(frame.get(), 32) < 0) {
        return nullptr;
    }
    // Black in video range.
    std::memset(frame->data[0], 16, static_cast<std::size_t>(frame->linesize[0]) * height);
    std::memset(frame->data[1], 128,
                static_cast<std::size_t>(frame->linesize[1]) * ((height + 1) / 2));
    return wrap(std::move(frame), pixelFormat);
}

std::shared_ptr<PixelBuffer> PixelBuffer::wrap(OwnedFrame frame, std::uint32_t pixelFormat) {
    auto buffer = std::make_shared<PixelBuffer>();
    buffer->_frame = std::move(frame);
    buffer->_pixelFormat = pixelFormat;
    return buffer;
}

PixelBuffer::~PixelBuffer() = default;

int PixelBuffer::width() const {
    return _frame != nullptr ? _frame->width : 0;
}
int PixelBuffer::height() const {
    return _frame != nullptr ? _frame->height : 0;
}

int PixelBuffer::planeCount() const {
    int count = 0;
    while (count < AV_NUM_DATA_POINTERS && _frame != nullptr && _frame->data[count] != nullptr) {
        ++count;
    }
    return count;
}

std::uint8_t* PixelBuffer::baseAddressOfPlane(int plane) const {
    return plane < planeCount() ? _frame->data[plane] : nullptr;
}

int PixelBuffer::bytesPerRowOfPlane(int plane) const {
    return plane < planeCount() ? _frame->linesize[plane] : 0;
}

std::shared_ptr<DataBlock> DataBlock::createWithMemory(void* memory, std::size_t length) {
    auto block = std::make_shared<DataBlock>();
    block->_data = static_cast<std::uint8_t*>(memory);
    block->_length = length;
    return block;
}

std::shared_ptr<DataBlock> DataBlock::create(const void* bytes, std::size_t length) {
    void* memory = std::malloc(length > 0 ? length : 1);
    if (length > 0 && bytes != nullptr) {
        std::memcpy(memory, bytes, length);
    } else if (length > 0) {
        std::memset(memory, 0, length);
    }
    return createWithMemory(memory, length);
}

DataBlock::~DataBlock() {
    std::free(_data);
}

std::shared_ptr<SampleBuffer> SampleBuffer::createPicture(PixelBufferPtr picture, MediaTime time,
                                                          MediaTime duration) {
    auto sample = std::make_shared<SampleBuffer>();
    sample->_imageBuffer = std::move(picture);
    sample->_presentationTime = time;
    sample->_duration = duration;
    sample->_numSamples = 1;
    return sample;
}

std::shared_ptr<SampleBuffer> SampleBuffer::createAudio(DataBlockPtr block, bool dataReady,
                                                        AudioFormatDescriptionPtr format,
                                                        long numSamples, MediaTime time) {
    auto sample = std::make_shared<SampleBuffer>();
    sample->_dataBlock = std::move(block);
    sample->_dataReady = dataReady;
    sample->_numSamples = numSamples;
    sample->_presentationTime = time;
    const double rate = format ? format->streamDescription().sampleRate : 0.0;
    sample->_duration = rate > 0 ? MediaTime::make(numSamples, static_cast<std::int32_t>(rate))
                                 : MediaTime::invalid();
    sample->_format = std::move(format);
    return sample;
}

} // namespace tx
