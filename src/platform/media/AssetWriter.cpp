#include "AssetWriter.h"

#include "platform/foundation/Translation.h"

#include "FFmpeg.h"
#include "MediaBounds.h"
#include "platform/media/EncodedPictureGroup.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <thread>

namespace tx {

namespace {

// How far one input may run ahead of the others, so the file interleaves and nothing piles up.
constexpr double kInterleaveSeconds = 0.5;
constexpr int kAacFrameSamples = 1024;
// Used when a sound input asks for a bit rate of 0.
constexpr int kDefaultAacBitRatePerChannel = 64000;
constexpr double kDefaultFrameRate = 30.0;
// The coarsest quantiser pictures are encoded with, whatever the average rate asks for.
constexpr int kMaxQuantiser = 30;
constexpr AVRational kVideoTimeBase{1, 1000000};
// The movie's picture timescale: fine enough for any frame rate, small enough for every player.
constexpr AVRational kVideoStreamTimeBase{1, 90000};

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

} // namespace

struct AssetWriterInput::Impl {
    AVStream* stream = nullptr;
    ff::CodecContextPtr encoder;
    bool encoderOpen = false;
    // Pictures
    int width = 0;
    int height = 0;
    double averageBitRate = 0;
    int maxKeyFrameInterval = 0;
    VideoColorDescription colour;
    PixelAspectRatio pixelAspect;
    std::deque<std::pair<ff::FramePtr, std::int64_t>> waitingPictures; // until the rate is known
    std::int64_t lastPts = AV_NOPTS_VALUE;
    std::int64_t frameDuration = 0; // in kVideoTimeBase
    ff::SwsPtr sws;
    // Pictures copied from groups encoded earlier, all coded like this one; no encoder then.
    EncodedPictureGroupPtr copyModel;
    int copyDecodeDelay = 0;
    // Sound
    int sampleRate = 44100;
    int channels = 1;
    std::uint32_t layoutTag = kAudioChannelLayoutTagMono;
    int bitRate = 0;
    ff::SwrPtr swr;
    int swrInRate = 0;
    int swrInChannels = 0;
    ff::AudioFifoPtr fifo;
    std::int64_t samplesIn = 0;      // samples placed on the output timeline so far
    std::int64_t samplesEncoded = 0; // samples handed to the encoder
};

struct AssetWriter::Impl {
    ff::FormatOutputPtr format;
    bool headerWritten = false;
    std::vector<ff::PacketPtr> waitingPackets; // until every encoder is open
};

// ---- AssetWriterInput -------------------------------------------------------------------------

std::shared_ptr<AssetWriterInput> AssetWriterInput::create(const std::string& mediaType,
                                                           const MediaSettings& outputSettings,
                                                           ErrorPtr* error) {
    auto input = std::make_shared<AssetWriterInput>();
    input->_mediaType = mediaType;
    input->_settings = outputSettings;
    input->_impl = std::make_unique<Impl>();
    Impl& impl = *input->_impl;
    auto refuse = [&](const std::string& why) -> std::shared_ptr<AssetWriterInput> {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, why);
        }
        return nullptr;
    };
    if (mediaType == kMediaTypeVideo) {
        const PlistValue* codec = outputSettings.find(kVideoCodecKey);
        if (codec == nullptr || codec->asString() != kVideoCodecH264) {
            return refuse("pictures can only be written as H.264");
        }
        impl.width = static_cast<int>(settingInteger(outputSettings, kVideoWidthKey, 0));
        impl.height = static_cast<int>(settingInteger(outputSettings, kVideoHeightKey, 0));
        if (impl.width < 2 || impl.height < 2) {
            return refuse("a picture size of " + std::to_string(impl.width) + "x" +
                          std::to_string(impl.height) + " cannot be encoded");
        }
        // 4:2:0 pictures need even sizes.
        impl.width &= ~1;
        impl.height &= ~1;
        if (const PlistValue* props = outputSettings.find(kVideoCompressionPropertiesKey)) {
            impl.averageBitRate = settingReal(*props, kVideoAverageBitRateKey, 0);
            impl.maxKeyFrameInterval =
                static_cast<int>(settingInteger(*props, kVideoMaxKeyFrameIntervalKey, 0));
        }
        if (const PlistValue* colour = outputSettings.find(kVideoColorPropertiesKey)) {
            const auto code = [&](const std::string& key) {
                const auto v = settingInteger(*colour, key, VideoColorDescription::kUnspecified);
                return v >= 0 && v < 256 ? static_cast<int>(v)
                                         : VideoColorDescription::kUnspecified;
            };
            impl.colour.primaries = code(kVideoColorPrimariesKey);
            impl.colour.transfer = code(kVideoTransferFunctionKey);
            impl.colour.matrix = code(kVideoYCbCrMatrixKey);
            impl.colour.fullRange = settingInteger(*colour, kVideoFullRangeKey, 0) != 0;
        }
        if (const PlistValue* aspect = outputSettings.find(kVideoPixelAspectRatioKey)) {
            const auto h = settingInteger(*aspect, kVideoPixelAspectRatioHorizontalSpacingKey, 1);
            const auto v = settingInteger(*aspect, kVideoPixelAspectRatioVerticalSpacingKey, 1);
            if (h > 0 && v > 0 && h <= 65535 && v <= 65535) {
                impl.pixelAspect = {static_cast<int>(h), static_cast<int>(v)};
            }
        }
        return input;
    }
    if (mediaType == kMediaTypeAudio) {
        if (static_cast<std::uint32_t>(settingInteger(outputSettings, kFormatIDKey, 0)) !=
            kAudioFormatMPEG4AAC) {
            return refuse("sound can only be written as AAC");
        }
        impl.channels = static_cast<int>(settingInteger(outputSettings, kNumberOfChannelsKey, 1));
        impl.sampleRate = static_cast<int>(settingReal(outputSettings, kSampleRateKey, 44100));
        impl.bitRate = static_cast<int>(settingInteger(outputSettings, kEncoderBitRateKey, 0));
        if (impl.channels < 1 || impl.channels > 8 || impl.sampleRate < 8000 ||
            impl.sampleRate > 96000) {
            return refuse("AAC cannot hold " + std::to_string(impl.channels) + " channels at " +
                          std::to_string(impl.sampleRate) + " Hz");
        }
        impl.layoutTag =
            impl.channels == 2 ? kAudioChannelLayoutTagStereo : kAudioChannelLayoutTagMono;
        if (const PlistValue* layout = outputSettings.find(kChannelLayoutKey);
            layout != nullptr && layout->asData().size() >= 4) {
            std::memcpy(&impl.layoutTag, layout->asData().data(), 4);
        }
        return input;
    }
    return refuse("unknown media type \"" + mediaType + "\"");
}

AssetWriterInput::~AssetWriterInput() = default;

bool AssetWriterInput::isReadyForMoreMediaData() const {
    auto writer = _writer.lock();
    if (!writer || _finished) {
        return false;
    }
    if (writer->status() == AssetWriterStatus::Failed) {
        return !_failureReported;
    }
    if (writer->status() != AssetWriterStatus::Writing) {
        return false;
    }
    for (const auto& other : writer->inputs()) {
        if (other.get() == this || other->_finished || (!other->_block && !other->_appendedAny)) {
            continue;
        }
        if (_lastSeconds > other->_lastSeconds + kInterleaveSeconds) {
            return false;
        }
    }
    return true;
}

void AssetWriterInput::requestMediaDataWhenReady(std::function<void()> block) {
    _block = std::move(block);
    if (auto writer = _writer.lock()) {
        writer->scheduleRequests();
    }
}

void AssetWriterInput::markAsFinished() {
    if (_finished) {
        return;
    }
    _finished = true;
    if (auto writer = _writer.lock()) {
        writer->_progressSinceLastPass = true;
        writer->scheduleRequests();
    }
}

// ---- AssetWriter: encoders and muxing --------------------------------------------------------

static int writePacket(AssetWriter::Impl& impl, AVPacket* packet) {
    if (!impl.headerWritten) {
        ff::PacketPtr copy = ff::makePacket();
        av_packet_ref(copy.get(), packet);
        impl.waitingPackets.push_back(std::move(copy));
        return 0;
    }
    return av_interleaved_write_frame(impl.format.get(), packet);
}

// Drains an encoder into the file. 0 or a negative FFmpeg error.
static int drainEncoder(AssetWriter::Impl& impl, AssetWriterInput::Impl& input) {
    ff::PacketPtr packet = ff::makePacket();
    for (;;) {
        int ret = avcodec_receive_packet(input.encoder.get(), packet.get());
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return 0;
        }
        if (ret < 0) {
            return ret;
        }
        packet->stream_index = input.stream->index;
        if (input.encoder->codec_type == AVMEDIA_TYPE_VIDEO && packet->duration <= 0) {
            // x264 leaves durations at 0; the last picture would otherwise have none.
            packet->duration = input.frameDuration;
        }
        av_packet_rescale_ts(packet.get(), input.encoder->time_base, input.stream->time_base);
        ret = writePacket(impl, packet.get());
        av_packet_unref(packet.get());
        if (ret < 0) {
            return ret;
        }
    }
}

// Pictures larger than 1080p are encoded with fewer pictures in flight.
constexpr std::int64_t kLargePicturePixels = 1920LL * 1088;

static int openVideoEncoder(AVFormatContext* format, AssetWriterInput::Impl& input,
                            double frameRate) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) {
        return AVERROR_ENCODER_NOT_FOUND;
    }
    input.encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = input.encoder.get();
    enc->width = input.width;
    enc->height = input.height;
    enc->pix_fmt = AV_PIX_FMT_NV12;
    enc->time_base = kVideoTimeBase;
    enc->framerate = av_d2q(frameRate, 100000);
    enc->sample_aspect_ratio =
        AVRational{input.pixelAspect.horizontalSpacing, input.pixelAspect.verticalSpacing};
    enc->color_primaries = static_cast<AVColorPrimaries>(input.colour.primaries);
    enc->color_trc = static_cast<AVColorTransferCharacteristic>(input.colour.transfer);
    enc->colorspace = static_cast<AVColorSpace>(input.colour.matrix);
    enc->color_range = input.colour.fullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
    if (input.averageBitRate > 0) {
        enc->bit_rate = static_cast<std::int64_t>(input.averageBitRate);
        // A quality floor under the average rate: a flat or nearly still source has a tiny data
        // rate, and held to it the encoder would grey out colours and flatten brightness.
        enc->qmax = kMaxQuantiser;
    }
    if (input.maxKeyFrameInterval > 0) {
        enc->gop_size = input.maxKeyFrameInterval;
        enc->keyint_min = std::min(input.maxKeyFrameInterval, 25);
    }
    if (format->oformat->flags & AVFMT_GLOBALHEADER) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", AssetWriter::kVideoPreset, 0);
    // Up to 1080p, x264's own threading, with its lookahead on a thread of its own and two
    // pictures queued for it, so that the caller, which also decodes and converts, only hands
    // pictures over. Above that each queued picture costs over ten megabytes: one encoding
    // thread a core, and none queued.
    const bool large = static_cast<std::int64_t>(input.width) * input.height > kLargePicturePixels;
    enc->thread_count =
        large ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency())) : 0;
    av_dict_set(&options, "x264-params", large ? "sync-lookahead=0" : "sync-lookahead=2", 0);
    int ret = avcodec_open2(enc, codec, &options);
    av_dict_free(&options);
    if (ret < 0) {
        return ret;
    }
    input.frameDuration = std::max<std::int64_t>(1, std::llround(1000000.0 / frameRate));
    input.stream->sample_aspect_ratio = enc->sample_aspect_ratio;
    ret = avcodec_parameters_from_context(input.stream->codecpar, enc);
    input.encoderOpen = ret >= 0;
    return ret;
}

static int openAudioEncoder(AVFormatContext* format, AssetWriterInput::Impl& input) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (codec == nullptr) {
        return AVERROR_ENCODER_NOT_FOUND;
    }
    input.encoder.reset(avcodec_alloc_context3(codec));
    AVCodecContext* enc = input.encoder.get();
    enc->sample_fmt = AV_SAMPLE_FMT_FLTP;
    enc->sample_rate = input.sampleRate;
    av_channel_layout_default(&enc->ch_layout, input.channels);
    enc->bit_rate =
        input.bitRate > 0 ? input.bitRate : kDefaultAacBitRatePerChannel * input.channels;
    enc->time_base = AVRational{1, input.sampleRate};
    if (format->oformat->flags & AVFMT_GLOBALHEADER) {
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    int ret = avcodec_open2(enc, codec, nullptr);
    if (ret < 0) {
        return ret;
    }
    input.stream->time_base = enc->time_base;
    input.fifo.reset(av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, input.channels, 4 * kAacFrameSamples));
    ret = avcodec_parameters_from_context(input.stream->codecpar, enc);
    input.encoderOpen = ret >= 0;
    return ret;
}

// Encodes whole AAC frames from the fifo; with `flush`, the short rest too.
static int encodeSound(AssetWriter::Impl& impl, AssetWriterInput::Impl& input, bool flush) {
    while (av_audio_fifo_size(input.fifo.get()) >= kAacFrameSamples ||
           (flush && av_audio_fifo_size(input.fifo.get()) > 0)) {
        const int count = std::min(kAacFrameSamples, av_audio_fifo_size(input.fifo.get()));
        ff::UniqueFramePtr frame(av_frame_alloc());
        frame->nb_samples = count;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = input.sampleRate;
        av_channel_layout_copy(&frame->ch_layout, &input.encoder->ch_layout);
        int ret = av_frame_get_buffer(frame.get(), 0);
        if (ret < 0) {
            return ret;
        }
        av_audio_fifo_read(input.fifo.get(), reinterpret_cast<void**>(frame->data), count);
        frame->pts = input.samplesEncoded;
        input.samplesEncoded += count;
        ret = avcodec_send_frame(input.encoder.get(), frame.get());
        if (ret < 0) {
            return ret;
        }
        ret = drainEncoder(impl, input);
        if (ret < 0) {
            return ret;
        }
    }
    return 0;
}

static int encodePicture(AssetWriter::Impl& impl, AssetWriterInput::Impl& input, AVFrame* frame,
                         std::int64_t pts) {
    frame->pts = pts;
    frame->pict_type = AV_PICTURE_TYPE_NONE;
    const int ret = avcodec_send_frame(input.encoder.get(), frame);
    if (ret < 0) {
        return ret;
    }
    return drainEncoder(impl, input);
}

// Writes the header once every encoder is open, then what waited for it.
static int writeHeaderWhenReady(AssetWriter& writer, AssetWriter::Impl& impl) {
    if (impl.headerWritten) {
        return 0;
    }
    for (const auto& input : writer.inputs()) {
        if (!input->impl().encoderOpen) {
            return 0;
        }
    }
    int ret = avformat_write_header(impl.format.get(), nullptr);
    if (ret < 0) {
        return ret;
    }
    impl.headerWritten = true;
    for (auto& packet : impl.waitingPackets) {
        ret = av_interleaved_write_frame(impl.format.get(), packet.get());
        if (ret < 0) {
            return ret;
        }
    }
    impl.waitingPackets.clear();
    return 0;
}

// A picture's time from the session start in the writer's picture time base; AV_NOPTS_VALUE
// when it is not a number.
static std::int64_t pictureTicks(const MediaTime& time, const MediaTime& sessionStart) {
    const MediaTime relative = time - sessionStart;
    if (!relative.isNumeric()) {
        return AV_NOPTS_VALUE;
    }
    return av_rescale(relative.value, kVideoTimeBase.den,
                      static_cast<std::int64_t>(relative.timescale) * kVideoTimeBase.num);
}

// `frame` made a reference to the picture at the encoder's size and format. 0 or an FFmpeg error.
static int frameForEncoder(AssetWriterInput::Impl& impl, const PixelBuffer& picture,
                           AVFrame& frame) {
    const AVFrame* source = picture.frame();
    if (source->format == AV_PIX_FMT_NV12 && source->width >= impl.width &&
        source->height >= impl.height && source->width - impl.width <= 1 &&
        source->height - impl.height <= 1) {
        av_frame_ref(&frame, source);
        frame.width = impl.width; // an odd last column or row is dropped
        frame.height = impl.height;
        return 0;
    }
    frame.width = impl.width;
    frame.height = impl.height;
    frame.format = AV_PIX_FMT_NV12;
    int ret = av_frame_get_buffer(&frame, 32);
    if (ret >= 0) {
        ret = ff::scalePicture(impl.sws, ff::pictureOf(source), frame.data, frame.linesize,
                               impl.width, impl.height, AV_PIX_FMT_NV12, SWS_BICUBIC);
    }
    return ret < 0 ? ret : 0;
}

bool AssetWriterInput::appendPicture(const PixelBufferPtr& picture, const MediaTime& time) {
    auto writer = _writer.lock();
    if (!writer || writer->status() != AssetWriterStatus::Writing || _finished || !picture ||
        _mediaType != kMediaTypeVideo) {
        return false;
    }
    Impl& impl = *_impl;
    AssetWriter::Impl& out = *writer->_impl;
    const std::int64_t pts = pictureTicks(time, writer->_sessionStart);
    if (pts == AV_NOPTS_VALUE) {
        return false;
    }
    if (impl.lastPts != AV_NOPTS_VALUE && pts <= impl.lastPts) {
        return false; // pictures must move forward in time
    }

    ff::FramePtr frame = ff::makeFrame();
    if (const int ret = frameForEncoder(impl, *picture, *frame); ret < 0) {
        writer->fail(
            ff::makeError(kMediaErrorDomain, "cannot scale a picture", writer->_path, ret));
        return false;
    }
    impl.lastPts = pts;
    _appendedAny = true;
    _lastSeconds = std::max(_lastSeconds, static_cast<double>(pts) / kVideoTimeBase.den);
    writer->_progressSinceLastPass = true;

    int ret = 0;
    if (!impl.encoderOpen) {
        // x264 wants the frame rate before the first picture: learn it from the first two.
        impl.waitingPictures.emplace_back(frame, pts);
        if (impl.waitingPictures.size() < 2) {
            return true;
        }
        const double interval =
            static_cast<double>(impl.waitingPictures[1].second - impl.waitingPictures[0].second) /
            kVideoTimeBase.den;
        ret = openVideoEncoder(out.format.get(), impl,
                               interval > 0 ? 1.0 / interval : kDefaultFrameRate);
        if (ret >= 0) {
            ret = writeHeaderWhenReady(*writer, out);
        }
        while (ret >= 0 && !impl.waitingPictures.empty()) {
            auto [waiting, waitingPts] = impl.waitingPictures.front();
            impl.waitingPictures.pop_front();
            ret = encodePicture(out, impl, waiting.get(), waitingPts);
        }
    } else {
        ret = encodePicture(out, impl, frame.get(), pts);
    }
    if (ret < 0) {
        writer->fail(ff::makeError(kMediaErrorDomain, _("cannot encode or write pictures"),
                                   writer->_path, ret));
        return false;
    }
    return true;
}

bool AssetWriterInput::appendSampleBuffer(const SampleBufferPtr& sample) {
    auto writer = _writer.lock();
    if (!writer || writer->status() != AssetWriterStatus::Writing || _finished || !sample) {
        return false;
    }
    if (_mediaType == kMediaTypeVideo) {
        return sample->imageBuffer() &&
               appendPicture(sample->imageBuffer(), sample->presentationTime());
    }
    const auto& format = sample->formatDescription();
    const auto& block = sample->dataBlock();
    if (!format || !block) {
        return false;
    }
    const AudioStreamBasicDescription& asbd = format->streamDescription();
    if (asbd.formatID != kAudioFormatLinearPCM || asbd.bitsPerChannel != 16 ||
        asbd.channelsPerFrame == 0 || asbd.sampleRate <= 0) {
        return false;
    }
    Impl& impl = *_impl;
    AssetWriter::Impl& out = *writer->_impl;
    const int inRate = static_cast<int>(asbd.sampleRate);
    const int inChannels = static_cast<int>(asbd.channelsPerFrame);
    if (!impl.swr || impl.swrInRate != inRate || impl.swrInChannels != inChannels) {
        AVChannelLayout inLayout;
        av_channel_layout_default(&inLayout, inChannels);
        int ret = 0;
        impl.swr = ff::makeResampler(impl.encoder->ch_layout, AV_SAMPLE_FMT_FLTP, impl.sampleRate,
                                     inLayout, AV_SAMPLE_FMT_S16, inRate, ret);
        if (ret < 0) {
            writer->fail(
                ff::makeError(kMediaErrorDomain, "cannot convert the sound", writer->_path, ret));
            return false;
        }
        impl.swrInRate = inRate;
        impl.swrInChannels = inChannels;
    }
    const long frames =
        static_cast<long>(block->dataLength() / (2 * static_cast<std::size_t>(inChannels)));
    const long usable = std::min(frames, sample->numSamples() > 0 ? sample->numSamples() : frames);

    // Where the buffer belongs on the output timeline: a gap is filled with silence, an overlap
    // is laid on after what is already there.
    const MediaTime relative = sample->presentationTime() - writer->_sessionStart;
    if (relative.isNumeric()) {
        const auto wanted =
            static_cast<std::int64_t>(std::llround(relative.seconds() * impl.sampleRate));
        const std::int64_t pending = swr_get_delay(impl.swr.get(), impl.sampleRate);
        const std::int64_t gap = wanted - (impl.samplesIn + pending);
        if (gap > impl.sampleRate / 1000) {
            std::vector<float> silence(static_cast<std::size_t>(gap), 0.0f);
            std::vector<void*> planes(static_cast<std::size_t>(impl.channels), silence.data());
            av_audio_fifo_write(impl.fifo.get(), planes.data(), static_cast<int>(gap));
            impl.samplesIn += gap;
        }
    }
    const int capacity = swr_get_out_samples(impl.swr.get(), static_cast<int>(usable));
    ff::UniqueFramePtr converted(av_frame_alloc());
    converted->nb_samples = std::max(capacity, 1);
    converted->format = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_copy(&converted->ch_layout, &impl.encoder->ch_layout);
    int ret = av_frame_get_buffer(converted.get(), 0);
    const std::uint8_t* in[1] = {block->data()};
    int got = 0;
    if (ret >= 0) {
        got = swr_convert(impl.swr.get(), converted->data, capacity, in, static_cast<int>(usable));
        ret = got;
    }
    if (ret >= 0 && got > 0) {
        ret = av_audio_fifo_write(impl.fifo.get(), reinterpret_cast<void**>(converted->data), got);
        impl.samplesIn += got;
    }
    if (ret >= 0) {
        ret = encodeSound(out, impl, false);
    }
    if (ret < 0) {
        writer->fail(
            ff::makeError(kMediaErrorDomain, _("cannot encode or write sound"), writer->_path, ret));
        return false;
    }
    _appendedAny = true;
    _lastSeconds = std::max(_lastSeconds, static_cast<double>(impl.samplesIn) / impl.sampleRate);
    writer->_progressSinceLastPass = true;
    return true;
}

std::shared_ptr<AssetWriterInput>
AssetWriterInput::createForCopying(const std::shared_ptr<EncodedPictureGroup>& model,
                                   int decodeDelay, double spacingSeconds,
                                   ErrorPtr* error) {
    const AVCodecParameters* parameters = model ? model->parameters() : nullptr;
    if (parameters == nullptr || parameters->width < 2 || parameters->height < 2 ||
        decodeDelay < 0 || !(spacingSeconds > 0 && spacingSeconds <= kLongestSampleSeconds)) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, "no group of pictures to copy from");
        }
        return nullptr;
    }
    auto input = std::make_shared<AssetWriterInput>();
    input->_mediaType = kMediaTypeVideo;
    input->_impl = std::make_unique<Impl>();
    input->_impl->copyModel = model;
    input->_impl->copyDecodeDelay = decodeDelay;
    input->_impl->frameDuration =
        std::max<std::int64_t>(1, std::llround(spacingSeconds * kVideoTimeBase.den));
    input->_impl->width = parameters->width;
    input->_impl->height = parameters->height;
    return input;
}

bool AssetWriterInput::appendEncodedGroup(const EncodedPictureGroup& group,
                                          const std::vector<MediaTime>& times) {
    auto writer = _writer.lock();
    Impl& impl = *_impl;
    const int count = group.packetCount();
    if (!writer || writer->status() != AssetWriterStatus::Writing || _finished ||
        !impl.copyModel || !group.sameFormatAs(*impl.copyModel) || count == 0 ||
        group.decodeDelay() > impl.copyDecodeDelay ||
        times.size() != static_cast<std::size_t>(count)) {
        return false;
    }
    AssetWriter::Impl& out = *writer->_impl;
    // Where each picture goes, in presentation order, in the writer's picture time base.
    std::vector<std::int64_t> outTimes;
    outTimes.reserve(times.size());
    for (const MediaTime& time : times) {
        const std::int64_t pts = pictureTicks(time, writer->_sessionStart);
        if (pts == AV_NOPTS_VALUE) {
            return false;
        }
        const std::int64_t last = outTimes.empty() ? impl.lastPts : outTimes.back();
        if (last != AV_NOPTS_VALUE && pts <= last) {
            return false; // pictures must move forward in time
        }
        outTimes.push_back(pts);
    }
    std::vector<std::int64_t> sortedPts;
    sortedPts.reserve(outTimes.size());
    for (int i = 0; i < count; ++i) {
        sortedPts.push_back(group.packet(i)->pts);
    }
    std::sort(sortedPts.begin(), sortedPts.end());
    const std::int64_t spacing = outTimes.size() > 1 ? outTimes[1] - outTimes[0] : impl.frameDuration;
    // The whole track decodes `delay` pictures ahead of showing: a packet is decoded at the time
    // of the picture shown `delay` places earlier, whatever the group's own (smaller) lead, so
    // decoding times rise across the groups and no picture is decoded after it is shown.
    const int delay = impl.copyDecodeDelay;
    int ret = writeHeaderWhenReady(*writer, out);
    for (int i = 0; i < count && ret >= 0; ++i) {
        const AVPacket* source = group.packet(i);
        ff::PacketPtr packet = ff::makePacket();
        ret = av_packet_ref(packet.get(), source);
        if (ret < 0) {
            break;
        }
        const auto rank = static_cast<std::size_t>(
            std::lower_bound(sortedPts.begin(), sortedPts.end(), source->pts) - sortedPts.begin());
        packet->pts = outTimes[rank];
        packet->dts = i - delay >= 0 ? outTimes[static_cast<std::size_t>(i - delay)]
                                     : outTimes.front() - (delay - i) * spacing;
        packet->duration = spacing;
        packet->stream_index = impl.stream->index;
        packet->pos = -1;
        av_packet_rescale_ts(packet.get(), kVideoTimeBase, impl.stream->time_base);
        ret = writePacket(out, packet.get());
    }
    if (ret < 0) {
        writer->fail(
            ff::makeError(kMediaErrorDomain, "cannot copy pictures", writer->_path, ret));
        return false;
    }
    impl.lastPts = outTimes.back();
    _appendedAny = true;
    _lastSeconds =
        std::max(_lastSeconds, static_cast<double>(outTimes.back() + spacing) / kVideoTimeBase.den);
    writer->_progressSinceLastPass = true;
    return true;
}

// ---- Groups encoded ahead --------------------------------------------------------------------

ErrorPtr EncodedPictureGroup::write(const std::string& path, const MediaSettings& videoSettings,
                                    double spacingSeconds, int fullGroupPictures,
                                    const std::vector<PixelBufferPtr>& pictures,
                                    const std::atomic<bool>* cancelled) {
    ErrorPtr error;
    auto input = AssetWriterInput::create(kMediaTypeVideo, videoSettings, &error);
    if (!input) {
        return error;
    }
    if (pictures.empty() || !(spacingSeconds > 0)) {
        return Error::make(kMediaErrorDomain, 0, path + ": no pictures to encode");
    }
    ff::initialize();
    AssetWriterInput::Impl& in = input->impl();
    // One keyframe, at the start: the group stands alone. Its length in the encoder's setup is
    // that of a full group, whatever it holds.
    in.maxKeyFrameInterval = std::max(fullGroupPictures, static_cast<int>(pictures.size()));
    const std::string dir = deletingLastPathComponent(path);
    const std::string temp = pathByAppending(
        dir.empty() ? "." : dir, "." + lastPathComponent(path) + "." + uniqueString() + ".partial");
    AssetWriter::Impl out;
    auto failWith = [&](const std::string& what, int ret) {
        in.encoder.reset();
        out.format.reset();
        removeFile(temp);
        return ff::makeError(kMediaErrorDomain, what, path, ret);
    };
    AVFormatContext* raw = nullptr;
    int ret = avformat_alloc_output_context2(&raw, nullptr, "mov", temp.c_str());
    out.format.reset(raw);
    if (ret < 0) {
        return failWith("cannot write a group of pictures here", ret);
    }
    in.stream = avformat_new_stream(raw, nullptr);
    if (in.stream == nullptr) {
        return failWith("cannot write a group of pictures here", AVERROR(ENOMEM));
    }
    in.stream->time_base = kVideoStreamTimeBase;
    ret = openVideoEncoder(raw, in, 1.0 / spacingSeconds);
    if (ret >= 0) {
        ret = avio_open(&raw->pb, temp.c_str(), AVIO_FLAG_WRITE);
    }
    if (ret >= 0) {
        ret = avformat_write_header(raw, nullptr);
    }
    if (ret < 0) {
        return failWith("cannot write a group of pictures here", ret);
    }
    out.headerWritten = true;
    const std::int64_t step = std::max<std::int64_t>(1, std::llround(spacingSeconds * 1e6));
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (cancelled != nullptr && cancelled->load()) {
            return failWith("cancelled", AVERROR_EXIT);
        }
        if (!pictures[i]) {
            return failWith("a picture is missing", AVERROR(EINVAL));
        }
        ff::FramePtr frame = ff::makeFrame();
        ret = frameForEncoder(in, *pictures[i], *frame);
        if (ret >= 0) {
            ret = encodePicture(out, in, frame.get(), static_cast<std::int64_t>(i) * step);
        }
        if (ret < 0) {
            return failWith("cannot encode a group of pictures", ret);
        }
    }
    ret = avcodec_send_frame(in.encoder.get(), nullptr);
    if (ret >= 0) {
        ret = drainEncoder(out, in);
    }
    if (ret >= 0) {
        ret = av_write_trailer(raw);
    }
    if (ret >= 0) {
        ret = avio_closep(&raw->pb);
    }
    if (ret >= 0 && std::rename(temp.c_str(), path.c_str()) != 0) {
        ret = AVERROR(errno);
    }
    if (ret < 0) {
        return failWith("cannot finish a group of pictures", ret);
    }
    in.encoder.reset();
    out.format.reset();
    return nullptr;
}

// ---- PixelBufferAdaptor ----------------------------------------------------------------------

std::shared_ptr<PixelBufferAdaptor> PixelBufferAdaptor::create(AssetWriterInputPtr input,
                                                               const MediaSettings&) {
    if (!input || input->mediaType() != kMediaTypeVideo) {
        return nullptr;
    }
    auto adaptor = std::make_shared<PixelBufferAdaptor>();
    adaptor->_input = std::move(input);
    return adaptor;
}

bool PixelBufferAdaptor::appendPixelBuffer(const PixelBufferPtr& picture,
                                           const MediaTime& presentationTime) {
    return _input->appendPicture(picture, presentationTime);
}

// ---- AssetWriter -----------------------------------------------------------------------------

std::shared_ptr<AssetWriter> AssetWriter::create(const std::string& path,
                                                 const std::string& fileType, ErrorPtr* error) {
    if (fileType != kFileTypeQuickTimeMovie) {
        if (error != nullptr) {
            *error =
                Error::make(kMediaErrorDomain, 0, path + ": only QuickTime movies can be written");
        }
        return nullptr;
    }
    if (path.empty()) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, "no output path");
        }
        return nullptr;
    }
    ff::initialize();
    auto writer = std::make_shared<AssetWriter>();
    writer->_path = path;
    writer->_impl = std::make_unique<Impl>();
    return writer;
}

AssetWriter::~AssetWriter() {
    if (_status == AssetWriterStatus::Writing || _status == AssetWriterStatus::Unknown) {
        discardOutput();
    }
}

bool AssetWriter::canAddInput(const AssetWriterInputPtr& input) const {
    return input && _status == AssetWriterStatus::Unknown && input->_writer.expired() &&
           std::none_of(_inputs.begin(), _inputs.end(),
                        [&](const auto& existing) { return existing == input; });
}

void AssetWriter::addInput(const AssetWriterInputPtr& input) {
    if (!canAddInput(input)) {
        return;
    }
    input->_writer = std::static_pointer_cast<AssetWriter>(shared_from_this());
    _inputs.push_back(input);
}

bool AssetWriter::startWriting() {
    if (_status != AssetWriterStatus::Unknown) {
        return false;
    }
    _tempPath = hiddenWorkingPath(_path, ".partial");
    AVFormatContext* raw = nullptr;
    int ret = avformat_alloc_output_context2(&raw, nullptr, "mov", _tempPath.c_str());
    _impl->format.reset(raw);
    if (ret >= 0) {
        for (const auto& input : _inputs) {
            AssetWriterInput::Impl& in = *input->_impl;
            in.stream = avformat_new_stream(raw, nullptr);
            if (in.stream == nullptr) {
                ret = AVERROR(ENOMEM);
                break;
            }
            if (input->mediaType() == kMediaTypeVideo) {
                in.stream->time_base = kVideoStreamTimeBase;
                if (in.copyModel) {
                    ret = avcodec_parameters_copy(in.stream->codecpar, in.copyModel->parameters());
                    if (ret < 0) {
                        break;
                    }
                    in.encoderOpen = true;
                }
                in.stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
                in.stream->codecpar->codec_id = AV_CODEC_ID_H264;
                in.stream->codecpar->width = in.width;
                in.stream->codecpar->height = in.height;
                const MediaTransform t = input->transform();
                if (!t.isIdentity()) {
                    auto* matrix = reinterpret_cast<std::int32_t*>(av_stream_new_side_data(
                        in.stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t)));
                    if (matrix != nullptr) {
                        constexpr double kFixed16 = 65536.0;
                        const double values[9] = {t.a, t.b, 0, t.c, t.d, 0, t.tx, t.ty, 0};
                        for (int i = 0; i < 9; ++i) {
                            matrix[i] =
                                static_cast<std::int32_t>(std::lround(values[i] * kFixed16));
                        }
                        matrix[8] = 1 << 30;
                    }
                }
            } else {
                ret = openAudioEncoder(raw, in);
                if (ret < 0) {
                    break;
                }
            }
        }
    }
    if (ret >= 0) {
        ret = avio_open(&raw->pb, _tempPath.c_str(), AVIO_FLAG_WRITE);
    }
    if (ret >= 0) {
        _tempHold = WorkingFileHold(_tempPath);
    }
    if (ret < 0) {
        _status = AssetWriterStatus::Failed;
        _error = ff::makeError(kMediaErrorDomain, _("cannot write a movie here"), _path, ret);
        discardOutput();
        return false;
    }
    _status = AssetWriterStatus::Writing;
    scheduleRequests();
    return true;
}

void AssetWriter::startSessionAtSourceTime(const MediaTime& time) {
    _sessionStart = time;
}

void AssetWriter::fail(const ErrorPtr& error) {
    if (_status != AssetWriterStatus::Writing) {
        return;
    }
    _status = AssetWriterStatus::Failed;
    _error = error;
    discardOutput();
    // Every feeding block runs once more, sees the failure and reports it.
    scheduleRequests();
}

void AssetWriter::discardOutput() {
    if (_impl && _impl->format) {
        _impl->format.reset();
    }
    if (!_tempPath.empty()) {
        removeFile(_tempPath);
    }
    _tempHold.release();
}

bool AssetWriter::finishWriting() {
    if (_status != AssetWriterStatus::Writing) {
        for (const auto& input : _inputs) {
            input->_block = nullptr;
        }
        return false;
    }
    int ret = 0;
    for (const auto& input : _inputs) {
        input->_finished = true;
        AssetWriterInput::Impl& in = *input->_impl;
        if (input->mediaType() == kMediaTypeVideo && !in.encoderOpen && ret >= 0) {
            ret = openVideoEncoder(_impl->format.get(), in, kDefaultFrameRate);
            if (ret >= 0) {
                ret = writeHeaderWhenReady(*this, *_impl);
            }
            while (ret >= 0 && !in.waitingPictures.empty()) {
                auto [waiting, waitingPts] = in.waitingPictures.front();
                in.waitingPictures.pop_front();
                ret = encodePicture(*_impl, in, waiting.get(), waitingPts);
            }
        }
    }
    if (ret >= 0) {
        ret = writeHeaderWhenReady(*this, *_impl);
    }
    for (const auto& input : _inputs) {
        AssetWriterInput::Impl& in = *input->_impl;
        if (ret < 0 || !in.encoderOpen || !in.encoder) {
            continue; // copied pictures have no encoder to flush
        }
        if (input->mediaType() == kMediaTypeAudio) {
            ret = encodeSound(*_impl, in, true);
        }
        if (ret >= 0) {
            ret = avcodec_send_frame(in.encoder.get(), nullptr);
        }
        if (ret >= 0) {
            ret = drainEncoder(*_impl, in);
        }
    }
    if (ret >= 0) {
        ret = av_write_trailer(_impl->format.get());
    }
    if (ret >= 0) {
        ret = avio_closep(&_impl->format->pb);
    }
    for (const auto& input : _inputs) {
        input->_block = nullptr;
    }
    if (ret >= 0 && std::rename(_tempPath.c_str(), _path.c_str()) != 0) {
        ret = AVERROR(errno);
    }
    if (ret < 0) {
        _status = AssetWriterStatus::Failed;
        _error = ff::makeError(kMediaErrorDomain, _("cannot finish the movie"), _path, ret);
        discardOutput();
        return false;
    }
    _impl->format.reset();
    _tempHold.release();
    _status = AssetWriterStatus::Completed;
    return true;
}

void AssetWriter::cancelWriting() {
    if (_status == AssetWriterStatus::Writing || _status == AssetWriterStatus::Unknown) {
        _status = AssetWriterStatus::Cancelled;
    }
    for (const auto& input : _inputs) {
        input->_block = nullptr;
    }
    discardOutput();
}

void AssetWriter::scheduleRequests() {
    if (_requestsScheduled) {
        return;
    }
    _requestsScheduled = true;
    std::weak_ptr<AssetWriter> weak = std::static_pointer_cast<AssetWriter>(shared_from_this());
    RunLoop::post([weak]() {
        if (auto writer = weak.lock()) {
            writer->runRequests();
        }
    });
}

void AssetWriter::runRequests() {
    _requestsScheduled = false;
    auto self = shared_from_this(); // a block may release the last other reference to us
    _progressSinceLastPass = false;
    const bool failed = _status == AssetWriterStatus::Failed;
    if (_status != AssetWriterStatus::Writing && !failed) {
        return;
    }
    const auto inputs = _inputs;
    for (const auto& input : inputs) {
        if (!input->_block || !input->isReadyForMoreMediaData()) {
            continue;
        }
        if (failed) {
            input->_failureReported = true;
        }
        auto block = input->_block; // the block may replace or clear itself
        block();
        if (_status != AssetWriterStatus::Writing) {
            _progressSinceLastPass = _status == AssetWriterStatus::Failed;
        }
    }
    if (_progressSinceLastPass) {
        scheduleRequests();
    }
}

} // namespace tx
