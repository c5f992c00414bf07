#include "FFmpeg.h"

#include "platform/foundation/Translation.h"

#include <cerrno>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <utility>

namespace tx {

void FrameDeleter::operator()(AVFrame* frame) const {
    av_frame_free(&frame);
}

} // namespace tx

namespace tx::ff {

void FormatOutputDeleter::operator()(AVFormatContext* ctx) const {
    if (ctx == nullptr) {
        return;
    }
    if (ctx->pb != nullptr && !(ctx->oformat->flags & AVFMT_NOFILE)) {
        avio_closep(&ctx->pb);
    }
    avformat_free_context(ctx);
}

void initialize() {
    static std::once_flag once;
    // Failures reach callers as Error values; the console stays quiet.
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

OwnedFrame allocNV12(int width, int height) {
    static std::mutex poolsMutex;
    static auto* pools = new std::map<std::pair<int, int>, AVBufferPool*>();
    constexpr int kAlign = 64;
    const int size = av_image_get_buffer_size(AV_PIX_FMT_NV12, width, height, kAlign);
    if (size <= 0) {
        return nullptr;
    }
    AVBufferPool* pool = nullptr;
    {
        std::lock_guard lock(poolsMutex);
        AVBufferPool*& slot = (*pools)[{width, height}];
        if (slot == nullptr) {
            slot = av_buffer_pool_init(static_cast<std::size_t>(size), nullptr);
        }
        pool = slot;
    }
    OwnedFrame frame(av_frame_alloc());
    frame->buf[0] = av_buffer_pool_get(pool);
    if (frame->buf[0] == nullptr) {
        return nullptr;
    }
    frame->width = width;
    frame->height = height;
    frame->format = AV_PIX_FMT_NV12;
    av_image_fill_arrays(frame->data, frame->linesize, frame->buf[0]->data, AV_PIX_FMT_NV12, width,
                         height, kAlign);
    return frame;
}

int scalePicture(SwsPtr& sws, const PictureRef& source, std::uint8_t* const dest[],
                 const int destStride[], int destWidth, int destHeight, AVPixelFormat destFormat,
                 int flags, bool keepRange) {
    sws.reset(sws_getCachedContext(sws.release(), source.width, source.height, source.format,
                                   destWidth, destHeight, destFormat, flags, nullptr, nullptr,
                                   nullptr));
    if (!sws) {
        return AVERROR(EINVAL);
    }
    if (keepRange) {
        int* inverse = nullptr;
        int* table = nullptr;
        int sourceRange = 0;
        int destRange = 0;
        int brightness = 0;
        int contrast = 0;
        int saturation = 0;
        sws_getColorspaceDetails(sws.get(), &inverse, &sourceRange, &table, &destRange, &brightness,
                                 &contrast, &saturation);
        sws_setColorspaceDetails(sws.get(), inverse, 1, table, 1, brightness, contrast, saturation);
    }
    return sws_scale(sws.get(), source.data, source.linesize, 0, source.height, dest, destStride);
}

FramePtr makeFrame() {
    return FramePtr(av_frame_alloc(), FrameDeleter());
}

PacketPtr makePacket() {
    return PacketPtr(av_packet_alloc());
}

SwrPtr makeResampler(const AVChannelLayout& outLayout, AVSampleFormat outFormat, int outRate,
                     const AVChannelLayout& inLayout, AVSampleFormat inFormat, int inRate,
                     int& ret) {
    SwrContext* raw = nullptr;
    // FFmpeg 5 takes the layouts as non-const, but only reads them.
    ret =
        swr_alloc_set_opts2(&raw, const_cast<AVChannelLayout*>(&outLayout), outFormat, outRate,
                            const_cast<AVChannelLayout*>(&inLayout), inFormat, inRate, 0, nullptr);
    if (ret >= 0) {
        ret = swr_init(raw);
    }
    SwrPtr swr(raw);
    if (ret < 0) {
        swr.reset();
    }
    return swr;
}

std::string errorText(int ret) {
    // FFmpeg's own reasons in the reader's words; the system's (errno) reasons come from the C
    // library, which follows the locale.
    static const std::pair<int, const char*> kReasons[] = {
        {AVERROR_INVALIDDATA, N_("its data is damaged")},
        {AVERROR_EOF, N_("it ends too early")},
        {AVERROR_DEMUXER_NOT_FOUND, N_("its file format is not known")},
        {AVERROR_DECODER_NOT_FOUND, N_("it is coded in a way that cannot be decoded here")},
        {AVERROR_ENCODER_NOT_FOUND, N_("the encoder it needs is not installed")},
        {AVERROR_MUXER_NOT_FOUND, N_("that file format cannot be written here")},
        {AVERROR_STREAM_NOT_FOUND, N_("it has no picture or sound that can be used")},
        {AVERROR_PATCHWELCOME, N_("it uses a feature that is not supported")},
        {AVERROR_BUG, N_("the media library met an internal fault")},
        {AVERROR_BUG2, N_("the media library met an internal fault")},
        {AVERROR(ENOMEM), N_("there is not enough memory")},
    };
    for (const auto& [code, reason] : kReasons) {
        if (code == ret) {
            return translated(reason);
        }
    }
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(ret, buffer, sizeof buffer);
    return buffer;
}

ErrorPtr makeError(const std::string& domain, const std::string& what, const std::string& where,
                   int ret) {
    std::string text = where.empty() ? what : where + ": " + what;
    if (ret < 0) {
        text += " (" + errorText(ret) + ")";
    }
    return Error::make(domain, ret < 0 ? ret : 0, text);
}

std::string notAFileReason(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode)) {
        return {}; // a file, or nothing there: opening it says which
    }
    if (S_ISDIR(info.st_mode)) {
        return _("is a folder, not a movie");
    }
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) {
        return _("is a pipe, not a movie file");
    }
    return _("is a device, not a movie file");
}

FormatInputPtr openInput(const std::string& path, ErrorPtr* error, bool analyse) {
    initialize();
    // Opening a pipe or a device waits for a writer or reads without end: refused before.
    if (const std::string reason = notAFileReason(path); !reason.empty()) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, path + ": " + reason);
        }
        return nullptr;
    }
    AVFormatContext* raw = nullptr;
    int ret = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (ret < 0) {
        if (error != nullptr) {
            *error = makeError(kMediaErrorDomain, _("cannot open as a movie"), path, ret);
        }
        return nullptr;
    }
    FormatInputPtr ctx(raw);
    if (analyse && !probeStreams(ctx.get(), path, error)) {
        return nullptr;
    }
    return ctx;
}

bool probeStreams(AVFormatContext* ctx, const std::string& path, ErrorPtr* error) {
    const int ret = avformat_find_stream_info(ctx, nullptr);
    if (ret < 0) {
        if (error != nullptr) {
            *error = makeError(kMediaErrorDomain, _("cannot read the streams"), path, ret);
        }
        return false;
    }
    return true;
}

CodecContextPtr openDecoder(const AVStream* stream, ErrorPtr* error, const std::string& path) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        if (error != nullptr) {
            *error = makeError(kMediaErrorDomain,
                               std::string("no decoder for ") +
                                   avcodec_get_name(stream->codecpar->codec_id),
                               path, 0);
        }
        return nullptr;
    }
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    int ret = avcodec_parameters_to_context(ctx.get(), stream->codecpar);
    if (ret >= 0) {
        ctx->pkt_timebase = stream->time_base;
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            // One thread: readers restart for every window, where frame threads only add
            // start-up delay and a copy of the decoder's pictures per thread; the encoder
            // keeps the other cores busy.
            ctx->thread_count = 1;
        }
        ret = avcodec_open2(ctx.get(), codec, nullptr);
    }
    if (ret < 0) {
        if (error != nullptr) {
            *error = makeError(kMediaErrorDomain, _("cannot open the decoder"), path, ret);
        }
        return nullptr;
    }
    return ctx;
}

MediaTime timeFromStream(std::int64_t ts, AVRational timeBase) {
    if (ts == AV_NOPTS_VALUE) {
        return MediaTime::invalid();
    }
    if (timeBase.num == 1 && timeBase.den > 0) {
        return MediaTime::make(ts, timeBase.den);
    }
    return MediaTime::make(av_rescale_q(ts, timeBase, AVRational{1, kMicrosecondTimescale}),
                           kMicrosecondTimescale);
}

std::int64_t streamFromTime(const MediaTime& t, AVRational timeBase) {
    // ts = seconds / timeBase = value * den / (timescale * num), rounded down so a seek lands at
    // or before the wanted time.
    const __int128 num = static_cast<__int128>(t.value) * timeBase.den;
    const __int128 den = static_cast<__int128>(t.timescale) * timeBase.num;
    __int128 q = num / den;
    if ((num % den != 0) && ((num < 0) != (den < 0))) {
        --q;
    }
    return static_cast<std::int64_t>(q);
}

std::int64_t streamTickAtOrAfter(const MediaTime& t, AVRational timeBase) {
    const __int128 num = static_cast<__int128>(t.value) * timeBase.den;
    const __int128 den = static_cast<__int128>(t.timescale) * timeBase.num;
    __int128 q = num / den;
    if ((num % den != 0) && ((num < 0) == (den < 0))) {
        ++q;
    }
    return static_cast<std::int64_t>(q);
}

} // namespace tx::ff
