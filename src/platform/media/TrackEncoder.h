// Internal to the media layer. The encoders of the tracks of the movies we write: pictures to
// H.264 with x264, sound to AAC. Each encodes for one stream of an output file and hands its
// packets, timed in that stream's time base, to whoever writes the file.
#pragma once

#include "platform/media/MediaTime.h"
#include "platform/media/MediaTypes.h"
#include "platform/media/SampleBuffer.h"

#include "FFmpeg.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tx {

// Writes one encoded packet into the file. 0 or a negative FFmpeg error.
using PacketSink = std::function<int(AVPacket*)>;

// The time base pictures are handed to the picture encoder in.
inline constexpr AVRational kPictureEncoderTimeBase{1, 1000000};
// The movie's picture timescale: fine enough for any frame rate, small enough for every player.
inline constexpr AVRational kPictureStreamTimeBase{1, 90000};

class PictureEncoder {
public:
    // What the movie asks for; set before open().
    int width = 0;
    int height = 0;
    double averageBitRate = 0;
    int maxKeyFrameInterval = 0;
    VideoColorDescription colour;
    PixelAspectRatio pixelAspect;

    // Takes what the movie asks for from its output settings; empty, or why it cannot be done.
    std::string configure(const MediaSettings& settings);
    // Opens x264 for `stream` at `frameRate` and describes the stream. 0 or an FFmpeg error.
    int open(AVStream* stream, bool globalHeader, double frameRate);
    bool isOpen() const { return _open; }
    // `frame` made a reference to the picture at the encoder's size and format.
    int frameFor(const PixelBuffer& picture, AVFrame& frame);
    // Encodes `frame` shown at `pts` (kPictureEncoderTimeBase) and writes what comes out.
    int encode(AVFrame* frame, std::int64_t pts, const PacketSink& sink);
    // Writes out the pictures the encoder still holds.
    int flush(const PacketSink& sink);
    // A picture's length at the frame rate it was opened with (kPictureEncoderTimeBase).
    std::int64_t frameDuration() const { return _frameDuration; }
    void setFrameDuration(std::int64_t ticks) { _frameDuration = ticks; }
    // Closes the encoder without writing what it holds.
    void close() { _encoder.reset(); }
    // The same, on another thread: x264 takes a while to wind down its threads.
    void closeInBackground();

private:
    int drain(const PacketSink& sink);

    ff::CodecContextPtr _encoder;
    AVStream* _stream = nullptr;
    bool _open = false;
    std::int64_t _frameDuration = 0;
    ff::SwsPtr _sws;
};

class SoundEncoder {
public:
    // What the movie asks for; set before open().
    int sampleRate = 44100;
    int channels = 1;
    std::uint32_t layoutTag = kAudioChannelLayoutTagMono;
    int bitRate = 0;

    // Takes what the movie asks for from its output settings; empty, or why it cannot be done.
    std::string configure(const MediaSettings& settings);
    // Opens the AAC encoder for `stream` and describes the stream. 0 or an FFmpeg error.
    int open(AVStream* stream, bool globalHeader);
    bool isOpen() const { return _open; }
    // Gets ready for signed 16-bit sound at `rate` with `inChannels` channels.
    int prepareFor(int rate, int inChannels);
    // Lays `frames` of that sound at `relative` on the track (a gap is filled with silence, an
    // overlap laid on after what is there), and writes the whole AAC frames it makes.
    int append(const std::uint8_t* data, long frames, const MediaTime& relative,
               const PacketSink& sink);
    // Encodes the short rest and writes out what the encoder still holds.
    int flush(const PacketSink& sink);
    // Seconds of sound laid on the track so far.
    double secondsIn() const { return static_cast<double>(_samplesIn) / sampleRate; }
    // Closes the encoder without writing what it holds, on another thread.
    void closeInBackground();

private:
    // Encodes whole AAC frames from the fifo; with `flush`, the short rest too.
    int encodeFrames(bool flush, const PacketSink& sink);
    int drain(const PacketSink& sink);

    ff::CodecContextPtr _encoder;
    AVStream* _stream = nullptr;
    bool _open = false;
    ff::SwrPtr _swr;
    int _swrInRate = 0;
    int _swrInChannels = 0;
    ff::AudioFifoPtr _fifo;
    std::int64_t _samplesIn = 0;      // samples placed on the output timeline so far
    std::int64_t _samplesEncoded = 0; // samples handed to the encoder
};

} // namespace tx
