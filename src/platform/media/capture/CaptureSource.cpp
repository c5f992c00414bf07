#include "CaptureSource.h"

#include "platform/foundation/Translation.h"
#include "platform/media/FFmpeg.h"

#include "DeviceClock.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>

namespace tx {

namespace {

const char* const kCaptureDomain = "CaptureErrorDomain";
// A device that gives nothing for this long has failed (unplugged, stalled driver).
constexpr double kStallSeconds = 3.0;
constexpr int kMaxChannels = 2;
constexpr auto kRetryDelay = std::chrono::milliseconds(5);

} // namespace

double captureHostSeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

struct CaptureSource::Impl {
    ff::FormatInputPtr format;
    ff::CodecContextPtr decoder;
    int streamIndex = -1;
    AVRational timeBase{1, 1};
    bool isVideo = false;
    ff::SwsPtr sws;
    ff::SwrPtr swr;
    int swrRate = 0;
    int swrChannels = 0;
    int outChannels = 1;
    AudioFormatDescriptionPtr soundFormat;
    DeviceClock clock;
};

CaptureSource::CaptureSource(CaptureDevicePtr device, Sinks sinks)
    : _device(std::move(device)), _sinks(std::move(sinks)), _impl(std::make_unique<Impl>()) {}

CaptureSource::~CaptureSource() {
    stop();
}

void CaptureSource::setPictureSize(int width, int height) {
    std::lock_guard lock(_sizeMutex);
    _width = std::max(2, width & ~1);
    _height = std::max(2, height & ~1);
}

bool CaptureSource::start(ErrorPtr* error) {
    static std::once_flag registered;
    std::call_once(registered, [] { avdevice_register_all(); });
    ff::initialize();
    auto fail = [&](const std::string& what, int ret) {
        if (error != nullptr) {
            const std::string text = _device->localizedName() + " cannot be opened: " + what +
                                     (ret < 0 ? " (" + ff::errorText(ret) + ")" : "");
            *error = Error::make(kCaptureDomain, 0, text,
                                 "Check that the camera and microphone are connected and not in "
                                 "use by another program.");
        }
        _impl->format.reset();
        _impl->decoder.reset();
        return false;
    };
    const auto& source = _device->source();
    const AVInputFormat* inputFormat = av_find_input_format(source.format.c_str());
    if (inputFormat == nullptr) {
        return fail(withArguments(_("this system has no \"%1\" input"), {source.format}), 0);
    }
    AVDictionary* options = nullptr;
    for (const auto& [key, value] : source.options) {
        av_dict_set(&options, key.c_str(), value.c_str(), 0);
    }
    AVFormatContext* raw = avformat_alloc_context();
    // Blocking reads give up when the source stops or stalls.
    raw->interrupt_callback.callback = [](void* opaque) -> int {
        auto* self = static_cast<CaptureSource*>(opaque);
        return self->_stopping.load() ||
               captureHostSeconds() - self->_lastDataSeconds.load() > kStallSeconds;
    };
    raw->interrupt_callback.opaque = this;
    if (source.format == "v4l2") {
        raw->flags |= AVFMT_FLAG_NONBLOCK;
    }
    _stopping = false;
    _lastDataSeconds = captureHostSeconds();
    int ret = avformat_open_input(&raw, source.url.c_str(), inputFormat, &options);
    av_dict_free(&options);
    if (ret < 0) {
        return fail(_("the device does not open"), ret); // raw was freed by FFmpeg
    }
    _impl->format.reset(raw);
    const AVMediaType type =
        _device->hasMediaType(kMediaTypeVideo) ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO;
    ret = av_find_best_stream(raw, type, -1, -1, nullptr, 0);
    if (ret < 0) {
        return fail(_("the device delivers no usable stream"), ret);
    }
    _impl->streamIndex = ret;
    AVStream* stream = raw->streams[ret];
    _impl->timeBase = stream->time_base;
    _impl->isVideo = type == AVMEDIA_TYPE_VIDEO;
    ErrorPtr decoderError;
    _impl->decoder = ff::openDecoder(stream, &decoderError, source.url);
    if (!_impl->decoder) {
        return fail(decoderError ? decoderError->localizedDescription() : _("there is no decoder for it"), 0);
    }
    if (_impl->isVideo) {
        const AVRational rate =
            stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
        _frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 30.0;
    }
    _lastDataSeconds = captureHostSeconds();
    _thread = std::thread([this] { run(); });
    return true;
}

void CaptureSource::stop() {
    _stopping = true;
    if (_thread.joinable()) {
        _thread.join();
    }
    _impl->format.reset();
    _impl->decoder.reset();
}

double CaptureSource::hostTime(const AVFrame* frame) {
    const double now = captureHostSeconds();
    const std::int64_t ts =
        frame->best_effort_timestamp != AV_NOPTS_VALUE ? frame->best_effort_timestamp : frame->pts;
    if (ts == AV_NOPTS_VALUE) {
        return now;
    }
    return _impl->clock.hostSeconds(ts * av_q2d(_impl->timeBase), now);
}

int CaptureSource::deliverPicture(AVFrame* f) {
    int width = 0;
    int height = 0;
    {
        std::lock_guard lock(_sizeMutex);
        width = _width;
        height = _height;
    }
    // Crop the source to the target's shape around its centre, then scale.
    const double targetAspect = static_cast<double>(width) / height;
    const double sourceAspect = static_cast<double>(f->width) / f->height;
    if (sourceAspect > targetAspect * 1.01) {
        const int keep = static_cast<int>(f->height * targetAspect);
        f->crop_left = static_cast<size_t>((f->width - keep) / 2);
        f->crop_right = static_cast<size_t>(f->width - keep) - f->crop_left;
    } else if (sourceAspect < targetAspect / 1.01) {
        const int keep = static_cast<int>(f->width / targetAspect);
        f->crop_top = static_cast<size_t>((f->height - keep) / 2);
        f->crop_bottom = static_cast<size_t>(f->height - keep) - f->crop_top;
    }
    av_frame_apply_cropping(f, 0);
    PixelBufferPtr picture = PixelBuffer::create(width, height);
    AVFrame* out = picture->frame();
    const int ret = ff::scalePicture(_impl->sws, ff::pictureOf(f), out->data, out->linesize, width,
                                     height, AV_PIX_FMT_NV12, SWS_BILINEAR);
    if (ret < 0) {
        return ret;
    }
    if (_sinks.picture) {
        _sinks.picture(picture, hostTime(f));
    }
    return 0;
}

int CaptureSource::deliverSound(AVFrame* f) {
    Impl& impl = *_impl;
    const int channels = f->ch_layout.nb_channels;
    if (!impl.swr || impl.swrRate != f->sample_rate || impl.swrChannels != channels) {
        impl.outChannels = std::min(std::max(channels, 1), kMaxChannels);
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, impl.outChannels);
        int ret = 0;
        impl.swr = ff::makeResampler(outLayout, AV_SAMPLE_FMT_S16, f->sample_rate, f->ch_layout,
                                     static_cast<AVSampleFormat>(f->format), f->sample_rate, ret);
        if (ret < 0) {
            return ret;
        }
        impl.swrRate = f->sample_rate;
        impl.swrChannels = channels;
        const auto count = static_cast<std::uint32_t>(impl.outChannels);
        impl.soundFormat = AudioFormatDescription::create(
            linearPCM16Description(f->sample_rate, count), layoutTagForChannels(count));
    }
    const int capacity = swr_get_out_samples(impl.swr.get(), f->nb_samples);
    if (capacity <= 0) {
        return 0;
    }
    const std::size_t bytes = static_cast<std::size_t>(capacity) * 2 * impl.outChannels;
    auto* memory = static_cast<std::uint8_t*>(std::malloc(bytes));
    if (memory == nullptr) {
        return AVERROR(ENOMEM);
    }
    std::uint8_t* outPlanes[1] = {memory};
    const int got = swr_convert(impl.swr.get(), outPlanes, capacity,
                                const_cast<const std::uint8_t**>(f->extended_data), f->nb_samples);
    if (got <= 0) {
        std::free(memory);
        return got;
    }
    DataBlockPtr block =
        DataBlock::createWithMemory(memory, static_cast<std::size_t>(got) * 2 * impl.outChannels);
    const double time = hostTime(f);
    auto sample =
        SampleBuffer::createAudio(block, true, impl.soundFormat, got,
                                  MediaTime::makeWithSeconds(time, kMicrosecondTimescale));
    if (_sinks.sound) {
        _sinks.sound(sample);
    }
    return 0;
}

ErrorPtr CaptureSource::readFailure(int ret) const {
    const bool stalled = ret == AVERROR_EXIT || ret == AVERROR(ETIMEDOUT);
    const std::string& device = _device->localizedName();
    const std::string what =
        ret == AVERROR_EOF ? withArguments(_("%1 stopped delivering."), {device})
        : stalled          ? withArguments(_("%1 stopped responding."), {device})
                           : withArguments(_("%1 failed (%2)."), {device, ff::errorText(ret)});
    return Error::make(kCaptureDomain, 0, what,
                       _("Check that the camera and microphone are connected, then record again."));
}

void CaptureSource::run() {
    Impl& impl = *_impl;
    ff::PacketPtr packet = ff::makePacket();
    ff::FramePtr frame = ff::makeFrame();
    ErrorPtr failure;
    while (!_stopping) {
        int ret = av_read_frame(impl.format.get(), packet.get());
        if (ret == AVERROR(EAGAIN)) {
            if (captureHostSeconds() - _lastDataSeconds.load() > kStallSeconds) {
                ret = AVERROR(ETIMEDOUT);
            } else {
                std::this_thread::sleep_for(kRetryDelay);
                continue;
            }
        }
        if (_stopping) {
            break;
        }
        if (ret < 0) {
            failure = readFailure(ret);
            break;
        }
        _lastDataSeconds = captureHostSeconds();
        if (packet->stream_index != impl.streamIndex) {
            av_packet_unref(packet.get());
            continue;
        }
        ret = avcodec_send_packet(impl.decoder.get(), packet.get());
        av_packet_unref(packet.get());
        while (ret >= 0) {
            ret = avcodec_receive_frame(impl.decoder.get(), frame.get());
            if (ret < 0) {
                break;
            }
            const int delivered =
                impl.isVideo ? deliverPicture(frame.get()) : deliverSound(frame.get());
            av_frame_unref(frame.get());
            if (delivered < 0) {
                ret = delivered;
                break;
            }
        }
        if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
            failure = ff::makeError(kCaptureDomain, _("cannot convert what the device delivers"),
                                    _device->localizedName(), ret);
            break;
        }
    }
    if (failure && !_stopping && _sinks.failure) {
        _sinks.failure(failure);
    }
}

} // namespace tx
