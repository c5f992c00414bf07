#include "TrackEncoder.h"

#include "AssetWriter.h"
#include "LeftBehind.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace tx {

namespace {

constexpr int kAacFrameSamples = 1024;
// Used when a sound input asks for a bit rate of 0.
constexpr int kDefaultAacBitRatePerChannel = 64000;
// The coarsest quantiser pictures are encoded with, whatever the average rate asks for.
constexpr int kMaxQuantiser = 30;
// Pictures larger than 1080p are encoded with fewer pictures in flight.
constexpr std::int64_t kLargePicturePixels = 1920LL * 1088;

// Hands what `encoder` has ready to `sink`, timed for `stream`; packets without a length get
// `missingDuration` (encoder ticks) when that is above 0. 0 or a negative FFmpeg error.
int drainEncoder(AVCodecContext* encoder, AVStream* stream, std::int64_t missingDuration,
                 const PacketSink& sink) {
    ff::PacketPtr packet = ff::makePacket();
    for (;;) {
        int ret = avcodec_receive_packet(encoder, packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return 0;
        }
        if (ret < 0) {
            return ret;
        }
        packet->stream_index = stream->index;
        if (missingDuration > 0 && packet->duration <= 0) {
            // x264 leaves durations at 0; the last picture would otherwise have none.
            packet->duration = missingDuration;
        }
        av_packet_rescale_ts(packet.get(), encoder->time_base, stream->time_base);
        ret = sink(packet.get());
        av_packet_unref(packet.get());
        if (ret < 0) {
            return ret;
        }
    }
}

std::int64_t settingInteger(const MediaSettings& settings, const std::string& key,
                            std::int64_t fallback) {
    const PlistValue* v = settings.find(key);
    if (v == nullptr) {
        return fallback;
    }
    if (v->type() == PlistValue::Type::Integer) {
        return v->asInteger();
    }
    if (v->type() == PlistValue::Type::Real) {
        return static_cast<std::int64_t>(v->asReal());
    }
    return fallback;
}

double settingReal(const MediaSettings& settings, const std::string& key, double fallback) {
    const PlistValue* v = settings.find(key);
    if (v == nullptr) {
        return fallback;
    }
    if (v->type() == PlistValue::Type::Real) {
        return v->asReal();
    }
    if (v->type() == PlistValue::Type::Integer) {
        return static_cast<double>(v->asInteger());
    }
    return fallback;
}

// Frees `encoder` on the thread that ends left-behind work.
void closeLater(ff::CodecContextPtr& encoder) {
    if (!encoder) {
        return;
    }
    auto held = std::make_shared<ff::CodecContextPtr>(std::move(encoder));
    leftBehind::post([held] { held->reset(); });
}

} // namespace

// ---- Pictures ------------------------------------------------------------------------------

std::string PictureEncoder::configure(const MediaSettings& settings) {
    const PlistValue* codec = settings.find(kVideoCodecKey);
    if (codec == nullptr || codec->asString() != kVideoCodecH264) {
        return "pictures can only be written as H.264";
    }
    width = static_cast<int>(settingInteger(settings, kVideoWidthKey, 0));
    height = static_cast<int>(settingInteger(settings, kVideoHeightKey, 0));
    if (width < 2 || height < 2) {
        return "a picture size of " + std::to_string(width) + "x" + std::to_string(height) +
               " cannot be encoded";
    }
    // 4:2:0 pictures need even sizes.
    width &= ~1;
    height &= ~1;
    if (const PlistValue* props = settings.find(kVideoCompressionPropertiesKey)) {
        averageBitRate = settingReal(*props, kVideoAverageBitRateKey, 0);
        maxKeyFrameInterval =
            static_cast<int>(settingInteger(*props, kVideoMaxKeyFrameIntervalKey, 0));
    }
    if (const PlistValue* colours = settings.find(kVideoColorPropertiesKey)) {
        const auto code = [&](const std::string& key) {
            const auto v = settingInteger(*colours, key, VideoColorDescription::kUnspecified);
            return v >= 0 && v < 256 ? static_cast<int>(v) : VideoColorDescription::kUnspecified;
        };
        colour.primaries = code(kVideoColorPrimariesKey);
        colour.transfer = code(kVideoTransferFunctionKey);
        colour.matrix = code(kVideoYCbCrMatrixKey);
        colour.fullRange = settingInteger(*colours, kVideoFullRangeKey, 0) != 0;
    }
    if (const PlistValue* aspect = settings.find(kVideoPixelAspectRatioKey)) {
        const auto h = settingInteger(*aspect, kVideoPixelAspectRatioHorizontalSpacingKey, 1);
        const auto v = settingInteger(*aspect, kVideoPixelAspectRatioVerticalSpacingKey, 1);
        if (h > 0 && v > 0 && h <= 65535 && v <= 65535) {
            pixelAspect = {static_cast<int>(h), static_cast<int>(v)};
        }
    }
    return {};
}

int PictureEncoder::open(AVStream* stream, bool globalHeader, double frameRate) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) {
        return AVERROR_ENCODER_NOT_FOUND;
    }
    _stream = stream;
    _encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = _encoder.get();
    enc->width = width;
    enc->height = height;
    enc->pix_fmt = AV_PIX_FMT_NV12;
    enc->time_base = kPictureEncoderTimeBase;
    enc->framerate = av_d2q(frameRate, 100000);
    enc->sample_aspect_ratio =
        AVRational{pixelAspect.horizontalSpacing, pixelAspect.verticalSpacing};
    enc->color_primaries = static_cast<AVColorPrimaries>(colour.primaries);
    enc->color_trc = static_cast<AVColorTransferCharacteristic>(colour.transfer);
    enc->colorspace = static_cast<AVColorSpace>(colour.matrix);
    enc->color_range = colour.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    if (averageBitRate > 0) {
        enc->bit_rate = static_cast<std::int64_t>(averageBitRate);
        // A quality floor under the average rate: a flat or nearly still source has a tiny data
        // rate, and held to it the encoder would grey out colours and flatten brightness.
        enc->qmax = kMaxQuantiser;
    }
    if (maxKeyFrameInterval > 0) {
        enc->gop_size = maxKeyFrameInterval;
        enc->keyint_min = std::min(maxKeyFrameInterval, 25);
    }
    if (globalHeader) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", AssetWriter::kVideoPreset, 0);
    // Up to 1080p, x264's own threading, with its lookahead on a thread of its own and two
    // pictures queued for it, so that the caller, which also decodes and converts, only hands
    // pictures over. Above that each queued picture costs over ten megabytes: one encoding
    // thread a core, and none queued.
    const bool large = static_cast<std::int64_t>(width) * height > kLargePicturePixels;
    enc->thread_count =
        large ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency())) : 0;
    av_dict_set(&options, "x264-params", large ? "sync-lookahead=0" : "sync-lookahead=2", 0);
    int ret = avcodec_open2(enc, codec, &options);
    av_dict_free(&options);
    if (ret < 0) {
        return ret;
    }
    _frameDuration = std::max<std::int64_t>(1, std::llround(1000000.0 / frameRate));
    stream->sample_aspect_ratio = enc->sample_aspect_ratio;
    ret = avcodec_parameters_from_context(stream->codecpar, enc);
    _open = ret >= 0;
    return ret;
}

int PictureEncoder::frameFor(const PixelBuffer& picture, AVFrame& frame) {
    const AVFrame* source = picture.frame();
    if (source->format == AV_PIX_FMT_NV12 && source->width >= width && source->height >= height &&
        source->width - width <= 1 && source->height - height <= 1) {
        av_frame_ref(&frame, source);
        frame.width = width; // an odd last column or row is dropped
        frame.height = height;
        return 0;
    }
    frame.width = width;
    frame.height = height;
    frame.format = AV_PIX_FMT_NV12;
    int ret = av_frame_get_buffer(&frame, 32);
    if (ret >= 0) {
        ret = ff::scalePicture(_sws, ff::pictureOf(source), frame.data, frame.linesize, width,
                               height, AV_PIX_FMT_NV12, SWS_BICUBIC);
    }
    return ret < 0 ? ret : 0;
}

int PictureEncoder::encode(AVFrame* frame, std::int64_t pts, const PacketSink& sink) {
    frame->pts = pts;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    const int ret = avcodec_send_frame(_encoder.get(), frame);
    if (ret < 0) {
        return ret;
    }
    return drain(sink);
}

int PictureEncoder::flush(const PacketSink& sink) {
    const int ret = avcodec_send_frame(_encoder.get(), nullptr);
    return ret < 0 ? ret : drain(sink);
}

void PictureEncoder::closeInBackground() {
    closeLater(_encoder);
}

int PictureEncoder::drain(const PacketSink& sink) {
    return drainEncoder(_encoder.get(), _stream, _frameDuration, sink);
}

// ---- Sound ---------------------------------------------------------------------------------

std::string SoundEncoder::configure(const MediaSettings& settings) {
    if (static_cast<std::uint32_t>(settingInteger(settings, kFormatIDKey, 0)) !=
        kAudioFormatMPEG4AAC) {
        return "sound can only be written as AAC";
    }
    channels = static_cast<int>(settingInteger(settings, kNumberOfChannelsKey, 1));
    sampleRate = static_cast<int>(settingReal(settings, kSampleRateKey, 44100));
    bitRate = static_cast<int>(settingInteger(settings, kEncoderBitRateKey, 0));
    if (channels < 1 || channels > 8 || sampleRate < 8000 || sampleRate > 96000) {
        return ("AAC cannot hold " + std::to_string(channels) + " channels at " +
                std::to_string(sampleRate) + " Hz");
    }
    layoutTag = channels == 2 ? kAudioChannelLayoutTagStereo : kAudioChannelLayoutTagMono;
    if (const PlistValue* layout = settings.find(kChannelLayoutKey);
        layout != nullptr && layout->asData().size() >= 4) {
        std::memcpy(&layoutTag, layout->asData().data(), 4);
    }
    return {};
}

int SoundEncoder::open(AVStream* stream, bool globalHeader) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (codec == nullptr) {
        return AVERROR_ENCODER_NOT_FOUND;
    }
    _stream = stream;
    _encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = _encoder.get();
    enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    enc->sample_rate = sampleRate;
    av_channel_layout_default(&enc->ch_layout, channels);
    enc->bit_rate = bitRate > 0 ? bitRate : kDefaultAacBitRatePerChannel * channels;
    enc->time_base = AVRational{1, sampleRate};
    if (globalHeader) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int ret = avcodec_open2(enc, codec, nullptr);
    if (ret < 0) {
        return ret;
    }
    stream->time_base = enc->time_base;
    _fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, channels, 4 * kAacFrameSamples));
    ret = avcodec_parameters_from_context(stream->codecpar, enc);
    _open = ret >= 0;
    return ret;
}

int SoundEncoder::prepareFor(int rate, int inChannels) {
    if (_swr && _swrInRate == rate && _swrInChannels == inChannels) {
        return 0;
    }
    AVChannelLayout inLayout;
    av_channel_layout_default(&inLayout, inChannels);
    int ret = 0;
    _swr = ff::makeResampler(_encoder->ch_layout, AV_SAMPLE_FMT_FLTP, sampleRate, inLayout,
                             AV_SAMPLE_FMT_S16, rate, ret);
    if (ret < 0) {
        return ret;
    }
    _swrInRate = rate;
    _swrInChannels = inChannels;
    return 0;
}

int SoundEncoder::append(const std::uint8_t* data, long frames, const MediaTime& relative,
                         const PacketSink& sink) {
    if (relative.isNumeric()) {
        const auto wanted =
            static_cast<std::int64_t>(std::llround(relative.seconds() * sampleRate));
        const std::int64_t pending = swr_get_delay(_swr.get(), sampleRate);
        const std::int64_t gap = wanted - (_samplesIn + pending);
        if (gap > sampleRate / 1000) {
            std::vector<float> silence(static_cast<std::size_t>(gap), 0.0f);
            std::vector<void*> planes(static_cast<std::size_t>(channels), silence.data());
            av_audio_fifo_write(_fifo.get(), planes.data(), static_cast<int>(gap));
            _samplesIn += gap;
        }
    }
    const int capacity = swr_get_out_samples(_swr.get(), static_cast<int>(frames));
    ff::UniqueFramePtr converted(av_frame_alloc());
    converted->nb_samples = std::max(capacity, 1);
    converted->format = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_copy(&converted->ch_layout, &_encoder->ch_layout);
    int ret = av_frame_get_buffer(converted.get(), 0);
    const std::uint8_t* in[1] = {data};
    int got = 0;
    if (ret >= 0) {
        got = swr_convert(_swr.get(), converted->data, capacity, in, static_cast<int>(frames));
        ret = got;
    }
    if (ret >= 0 && got > 0) {
        ret = av_audio_fifo_write(_fifo.get(), reinterpret_cast<void**>(converted->data), got);
        _samplesIn += got;
    }
    if (ret >= 0) {
        ret = encodeFrames(false, sink);
    }
    return ret < 0 ? ret : 0;
}

int SoundEncoder::encodeFrames(bool flush, const PacketSink& sink) {
    while (av_audio_fifo_size(_fifo.get()) >= kAacFrameSamples ||
           (flush && av_audio_fifo_size(_fifo.get()) > 0)) {
        const int count = std::min(kAacFrameSamples, av_audio_fifo_size(_fifo.get()));
        ff::UniqueFramePtr frame(av_frame_alloc());
        frame->nb_samples = count;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = sampleRate;
        av_channel_layout_copy(&frame->ch_layout, &_encoder->ch_layout);
        int ret = av_frame_get_buffer(frame.get(), 0);
        if (ret < 0) {
            return ret;
        }
        av_audio_fifo_read(_fifo.get(), reinterpret_cast<void**>(frame->data), count);
        frame->pts = _samplesEncoded;
        _samplesEncoded += count;
        ret = avcodec_send_frame(_encoder.get(), frame.get());
        if (ret < 0) {
            return ret;
        }
        ret = drain(sink);
        if (ret < 0) {
            return ret;
        }
    }
    return 0;
}

int SoundEncoder::flush(const PacketSink& sink) {
    int ret = encodeFrames(true, sink);
    if (ret >= 0) {
        ret = avcodec_send_frame(_encoder.get(), nullptr);
    }
    return ret < 0 ? ret : drain(sink);
}

void SoundEncoder::closeInBackground() {
    closeLater(_encoder);
}

int SoundEncoder::drain(const PacketSink& sink) {
    return drainEncoder(_encoder.get(), _stream, 0, sink);
}

} // namespace tx
