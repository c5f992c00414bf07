#include "SoundFileInfo.h"

#include "platform/foundation/Translation.h"

#include "FFmpeg.h"

namespace tx {

namespace {

// Enough packets to get past the headers and priming frames of any common sound format.
constexpr int kDecodeCheckPackets = 64;
// A movie's pictures are skipped on the way, up to this many packets in all.
constexpr int kDecodeCheckAllPackets = 4096;

std::string tag(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    return entry && entry->value ? std::string(entry->value) : std::string();
}

int audioStreamIndex(AVFormatContext* ctx) {
    for (unsigned i = 0; i < ctx->nb_streams; i++)
        if (ctx->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return static_cast<int>(i);
    return -1;
}

} // namespace

std::optional<SoundFileInfo> readSoundFileInfo(const std::string& path) {
    ff::initialize();
    AVFormatContext* raw = nullptr;
    if (!ff::notAFileReason(path).empty() ||
        avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return std::nullopt;
    ff::FormatInputPtr ctx(raw);
    int stream = audioStreamIndex(ctx.get());
    // Most containers tell their streams and length from the header alone; the rest are probed.
    const bool lengthKnown = stream >= 0 && (ctx->duration != AV_NOPTS_VALUE ||
                                             ctx->streams[stream]->duration != AV_NOPTS_VALUE);
    if (!lengthKnown) {
        if (avformat_find_stream_info(ctx.get(), nullptr) < 0)
            return std::nullopt;
        stream = audioStreamIndex(ctx.get());
    }
    if (stream < 0)
        return std::nullopt;
    SoundFileInfo info;
    const AVStream* audio = ctx->streams[stream];
    info.title = tag(ctx->metadata, "title");
    if (info.title.empty())
        info.title = tag(audio->metadata, "title");
    info.artist = tag(ctx->metadata, "artist");
    if (info.artist.empty())
        info.artist = tag(ctx->metadata, "album_artist");
    if (info.artist.empty())
        info.artist = tag(audio->metadata, "artist");
    if (ctx->duration != AV_NOPTS_VALUE && ctx->duration > 0)
        info.durationSeconds = static_cast<double>(ctx->duration) / AV_TIME_BASE;
    else if (audio->duration != AV_NOPTS_VALUE && audio->duration > 0)
        info.durationSeconds = static_cast<double>(audio->duration) * av_q2d(audio->time_base);
    return info;
}

bool canDecodeSound(const std::string& path, ErrorPtr* error) {
    ff::FormatInputPtr ctx = ff::openInput(path, error);
    if (!ctx)
        return false;
    const int stream = av_find_best_stream(ctx.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (stream < 0) {
        if (error)
            *error = ff::makeError("Media", _("has no sound"), path, stream);
        return false;
    }
    ff::CodecContextPtr decoder = ff::openDecoder(ctx->streams[stream], error, path);
    if (!decoder)
        return false;
    ff::PacketPtr packet = ff::makePacket();
    ff::UniqueFramePtr frame(av_frame_alloc());
    int lastError = AVERROR_EOF;
    for (int read = 0, all = 0; read < kDecodeCheckPackets && all < kDecodeCheckAllPackets; all++) {
        const int ret = av_read_frame(ctx.get(), packet.get());
        if (ret < 0) {
            lastError = ret;
            break;
        }
        if (packet->stream_index != stream) {
            av_packet_unref(packet.get());
            continue;
        }
        read++;
        const int sent = avcodec_send_packet(decoder.get(), packet.get());
        av_packet_unref(packet.get());
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            lastError = sent;
            continue;
        }
        if (avcodec_receive_frame(decoder.get(), frame.get()) >= 0 && frame->nb_samples > 0)
            return true;
    }
    // A short file may hold its only frames in the decoder's delay.
    avcodec_send_packet(decoder.get(), nullptr);
    if (avcodec_receive_frame(decoder.get(), frame.get()) >= 0 && frame->nb_samples > 0)
        return true;
    if (error)
        *error = ff::makeError("Media", _("has no sound that can be decoded"), path, lastError);
    return false;
}

} // namespace tx
