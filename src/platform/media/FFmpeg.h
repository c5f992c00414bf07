// Internal to the media layer: FFmpeg includes and RAII owners for its objects. No other folder
// includes this header.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "platform/foundation/Error.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MediaTypes.h"
#include "platform/media/SampleBuffer.h"

#include <memory>
#include <string>

namespace tx::ff {

struct FormatInputDeleter {
    void operator()(AVFormatContext* ctx) const { avformat_close_input(&ctx); }
};
struct FormatOutputDeleter {
    void operator()(AVFormatContext* ctx) const;
};
struct CodecContextDeleter {
    void operator()(AVCodecContext* ctx) const { avcodec_free_context(&ctx); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct SwrDeleter {
    void operator()(SwrContext* ctx) const { swr_free(&ctx); }
};
struct SwsDeleter {
    void operator()(SwsContext* ctx) const { sws_freeContext(ctx); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using FormatInputPtr = std::unique_ptr<AVFormatContext, FormatInputDeleter>;
using FormatOutputPtr = std::unique_ptr<AVFormatContext, FormatOutputDeleter>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using FramePtr = std::shared_ptr<AVFrame>;
using UniqueFramePtr = OwnedFrame;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using SwrPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using SwsPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

// Quiets FFmpeg's console output: its failures reach callers as Error values. Safe to call often.
void initialize();

// A blank NV12 picture whose memory comes from a pool shared by all pictures of that size, so
// pictures made by the thousand do not fault fresh memory in each time.
OwnedFrame allocNV12(int width, int height);

FramePtr makeFrame();
PacketPtr makePacket();

// A resampler from one sound layout, format and rate to another, initialised; FFmpeg's matrix
// folds surround sound down. Null (and `ret` < 0) on failure.
SwrPtr makeResampler(const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate,
                     const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate,
                     int& ret);

// A picture to convert: its planes and their strides, its size and pixel format.
struct PictureRef {
    const std::uint8_t* const* data;
    const int* linesize;
    int width;
    int height;
    AVPixelFormat format;
};
inline PictureRef pictureOf(const AVFrame* frame) {
    return {frame->data, frame->linesize, frame->width, frame->height,
            static_cast<AVPixelFormat>(frame->format)};
}
// Scales and converts `source` into the planes `dest` at the given size and format. The
// converter is kept in `sws` for the next picture and made again only when the shape changes.
// With `keepRange`, full-range values stay full range. sws_scale's result; negative when no
// converter can be made.
int scalePicture(SwsPtr& sws, const PictureRef& source, std::uint8_t* const dest[],
                 const int destStride[], int destWidth, int destHeight, AVPixelFormat destFormat,
                 int flags, bool keepRange = false);

// FFmpeg's own text for an error code.
std::string errorText(int ret);
// An error saying what failed and where, with FFmpeg's text.
ErrorPtr makeError(const std::string& domain, const std::string& what, const std::string& where,
                   int ret);

// Why `path` cannot be opened as a movie file without blocking or reading for ever (a pipe, a
// device, a folder); "" for a regular file or nothing at all.
std::string notAFileReason(const std::string& path);
// Opens a file for demuxing and reads its stream facts; with `analyse` false, only what the
// container's header says (no decoding), which is enough for times and sizes. Anything but a
// regular file is refused.
FormatInputPtr openInput(const std::string& path, ErrorPtr* error, bool analyse = true);
// Reads the stream facts of a file opened without them, decoding a little where needed.
bool probeStreams(AVFormatContext* ctx, const std::string& path, ErrorPtr* error);
// A decoder for one stream, opened, with threads as the machine allows.
CodecContextPtr openDecoder(const AVStream* stream, ErrorPtr* error, const std::string& path);

MediaTime timeFromStream(std::int64_t ts, AVRational timeBase);
// The last stream tick at or before `t`.
std::int64_t streamFromTime(const MediaTime& t, AVRational timeBase);
// The first stream tick at or after `t`. A range [a, b) holds exactly the ticks from
// streamTickAtOrAfter(a) up to, not including, streamTickAtOrAfter(b), so ranges that meet
// share no tick.
std::int64_t streamTickAtOrAfter(const MediaTime& t, AVRational timeBase);

} // namespace tx::ff
