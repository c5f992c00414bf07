#include "FFmpeg.h"

#include <mutex>
#include <thread>

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
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

FramePtr makeFrame() { return FramePtr(av_frame_alloc(), FrameDeleter()); }

PacketPtr makePacket() { return PacketPtr(av_packet_alloc()); }

std::string errorText(int ret) {
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

FormatInputPtr openInput(const std::string& path, ErrorPtr* error) {
    initialize();
    AVFormatContext* raw = nullptr;
    int ret = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
    if (ret < 0) {
        if (error != nullptr) {
            *error = makeError("Media", "cannot open as a movie", path, ret);
        }
        return nullptr;
    }
    FormatInputPtr ctx(raw);
    ret = avformat_find_stream_info(ctx.get(), nullptr);
    if (ret < 0) {
        if (error != nullptr) {
            *error = makeError("Media", "cannot read the streams", path, ret);
        }
        return nullptr;
    }
    return ctx;
}

CodecContextPtr openDecoder(const AVStream* stream, ErrorPtr* error, const std::string& path) {
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        if (error != nullptr) {
            *error = makeError("Media",
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
            ctx->thread_count = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
            ctx->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        }
        ret = avcodec_open2(ctx.get(), codec, nullptr);
    }
    if (ret < 0) {
        if (error != nullptr) {
            *error = makeError("Media", "cannot open the decoder", path, ret);
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
    return MediaTime::make(av_rescale_q(ts, timeBase, AVRational{1, 1000000}), 1000000);
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

} // namespace tx::ff
