#include "TrackDecoder.h"

#include "platform/foundation/Translation.h"

#include <algorithm>
#include <cstdlib>

namespace tx {

namespace {

// AAC decodes its first frame after a seek wrongly: start this much earlier and drop it.
constexpr double kSoundPrerollSeconds = 0.1;

std::atomic<void (*)()> gFrameHook{nullptr};

bool isFullRange(const AVFrame* frame) {
    return frame->color_range == AVCOL_RANGE_JPEG || frame->format == AV_PIX_FMT_YUVJ420P ||
           frame->format == AV_PIX_FMT_YUVJ422P || frame->format == AV_PIX_FMT_YUVJ444P;
}

} // namespace

const AssetTrack::PacketInfo* keyframeAtOrBefore(const AssetTrack& track, std::int64_t ts) {
    const AssetTrack::PacketInfo* key = nullptr;
    for (const auto& p : track.packets()) {
        if (p.keyframe && p.pts <= ts && (key == nullptr || p.pts > key->pts)) {
            key = &p;
        }
    }
    return key;
}

SampleBufferPtr pictureSample(OwnedFrame frame, AVRational timeBase) {
    const MediaTime time = ff::timeFromStream(frame->best_effort_timestamp, timeBase);
    const MediaTime duration = frame->pkt_duration > 0
                                   ? ff::timeFromStream(frame->pkt_duration, timeBase)
                                   : MediaTime::invalid();
    return SampleBuffer::createPicture(PixelBuffer::wrap(std::move(frame), kPixelFormat420v), time,
                                       duration);
}

TrackDecoder::TrackDecoder(std::string path, const AssetTrack& track, int maxChannels,
                           ff::CodecContextPtr* decoderSlot)
    : _path(std::move(path)), _track(track), _decoderSlot(decoderSlot),
      _video(track.mediaType() == kMediaTypeVideo), _maxChannels(maxChannels) {}

void TrackDecoder::setFrameHookForTesting(void (*hook)()) {
    gFrameHook = hook;
}

TrackDecoder::~TrackDecoder() {
    if (_abandoned != nullptr && *_abandoned) {
        return; // the decoder and its counts go with it
    }
    _track.readCounts().picturesDecoded += _picturesDecoded;
    if (_decoder && _decoderSlot != nullptr) {
        avcodec_flush_buffers(_decoder.get());
        *_decoderSlot = std::move(_decoder);
    }
}

bool TrackDecoder::open(std::int64_t startTs, std::int64_t endTs, ErrorPtr* error) {
    _startTs = startTs;
    _endTs = endTs;
    _format = ff::openInput(_path, error);
    if (!_format) {
        return false;
    }
    if (_track.streamIndex() < 0 ||
        static_cast<unsigned>(_track.streamIndex()) >= _format->nb_streams) {
        *error = Error::make(kMediaErrorDomain, 0,
                             withArguments(_("%1: the track is gone"), {_path}));
        return false;
    }
    for (unsigned i = 0; i < _format->nb_streams; ++i) {
        if (static_cast<int>(i) != _track.streamIndex()) {
            _format->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    _stream = _format->streams[_track.streamIndex()];
    if (_decoderSlot != nullptr && *_decoderSlot) {
        _decoder = std::move(*_decoderSlot);
    }
    if (!_decoder) {
        _decoder = ff::openDecoder(_stream, error, _path);
    }
    if (!_decoder) {
        return false;
    }
    std::int64_t seekTo = AV_NOPTS_VALUE;
    if (_video) {
        // The keyframe at or before the range start, from the packet scan where there is one.
        const auto& packets = _track.packets();
        _keyframe = keyframeAtOrBefore(_track, startTs);
        if (_keyframe != nullptr && _keyframe != &packets.front()) {
            seekTo = _keyframe->dts;
            _firstDts = _keyframe->dts;
        } else if (packets.empty() && startTs > 0) {
            seekTo = startTs;
        }
    } else {
        const AVRational tb{_track.timeBaseNum(), _track.timeBaseDen()};
        const std::int64_t preroll = av_rescale_q(
            static_cast<std::int64_t>(kSoundPrerollSeconds * 1000000), AVRational{1, 1000000}, tb);
        if (startTs - preroll > 0) {
            seekTo = startTs - preroll;
        }
    }
    if (seekTo != AV_NOPTS_VALUE) {
        const int ret = av_seek_frame(_format.get(), _stream->index, seekTo, AVSEEK_FLAG_BACKWARD);
        if (ret < 0) {
            *error = ff::makeError(kMediaErrorDomain, _("cannot seek"), _path, ret);
            return false;
        }
    }
    return true;
}

int TrackDecoder::nextFrame(AVFrame* frame) {
    for (;;) {
        int ret = avcodec_receive_frame(_decoder.get(), frame);
        if (ret == 0) {
            return 0;
        }
        if (ret == AVERROR_EOF) {
            return AVERROR_EOF;
        }
        if (ret != AVERROR(EAGAIN)) {
            return ret;
        }
        if (_sentEndOfInput) {
            return AVERROR_EOF;
        }
        // Feed the decoder the next packet of our stream.
        for (;;) {
            ret = av_read_frame(_format.get(), _packet.get());
            if (ret < 0) {
                // End of file, or a cut-off file: drain what the decoder holds.
                avcodec_send_packet(_decoder.get(), nullptr);
                _sentEndOfInput = true;
                break;
            }
            if (_packet->stream_index != _stream->index) {
                av_packet_unref(_packet.get());
                continue;
            }
            if (_firstDts != AV_NOPTS_VALUE) {
                // QuickTime seeks by a time that is not the decoding time when pictures are
                // reordered, and lands one keyframe too early: skip up to the one wanted.
                if (_packet->dts != AV_NOPTS_VALUE && _packet->dts < _firstDts) {
                    av_packet_unref(_packet.get());
                    continue;
                }
                _firstDts = AV_NOPTS_VALUE;
            }
            ret = avcodec_send_packet(_decoder.get(), _packet.get());
            av_packet_unref(_packet.get());
            if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_INVALIDDATA) {
                return ret;
            }
            break;
        }
    }
}

SampleBufferPtr TrackDecoder::next(ErrorPtr& error) {
    ff::UniqueFramePtr frame(av_frame_alloc());
    // Every call decodes at least one picture before it looks at the deadline: a caller whose
    // turns are short still gets on.
    for (bool first = true;; first = false) {
        if (_abandoned != nullptr && *_abandoned) {
            return nullptr;
        }
        if (!first && _deadline && std::chrono::steady_clock::now() >= *_deadline) {
            _timedOut = true;
            return nullptr;
        }
        if (void (*hook)() = gFrameHook.load(); hook != nullptr) {
            hook();
        }
        const int ret = nextFrame(frame.get());
        if (ret == AVERROR_EOF) {
            return nullptr;
        }
        if (ret < 0) {
            error = ff::makeError(kMediaErrorDomain, _("cannot decode"), _path, ret);
            return nullptr;
        }
        if (_video) {
            ++_picturesDecoded;
        }
        std::int64_t pts = frame->best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) {
            pts = frame->pts;
        }
        frame->best_effort_timestamp = pts;
        if (pts == AV_NOPTS_VALUE) {
            av_frame_unref(frame.get());
            continue;
        }
        if (pts >= _endTs) {
            return nullptr;
        }
        bool before = pts < _startTs;
        if (_video && _early) {
            const Taken taken = _early(frame.get(), pts, before, error);
            if (taken == Taken::Failed) {
                return nullptr;
            }
            if (taken == Taken::Yes) {
                continue;
            }
        }
        if (!_video && before) {
            // A sound buffer that reaches into the range is delivered whole.
            const std::int64_t length = av_rescale_q(
                frame->nb_samples, AVRational{1, frame->sample_rate}, _stream->time_base);
            before = pts + length <= _startTs;
        }
        if (before) {
            av_frame_unref(frame.get());
            continue;
        }
        return _video ? makePicture(frame.get(), &error) : makeSound(frame.get(), &error);
    }
}

SampleBufferPtr TrackDecoder::makePicture(AVFrame* frame, ErrorPtr* error) {
    OwnedFrame picture = toNV12(frame, error);
    if (!picture) {
        return nullptr;
    }
    if (_onPicture) {
        _onPicture(picture.get());
    }
    return pictureSample(std::move(picture), _stream->time_base);
}

OwnedFrame TrackDecoder::toNV12(AVFrame* frame, ErrorPtr* error) {
    if (frame->format == AV_PIX_FMT_NV12) {
        OwnedFrame owned(av_frame_alloc());
        av_frame_move_ref(owned.get(), frame);
        return owned;
    }
    // The values keep their range; the movie written from them says which it is.
    OwnedFrame converted = ff::allocNV12(frame->width, frame->height);
    const int ret = converted ? ff::scalePicture(_sws, ff::pictureOf(frame), converted->data,
                                                 converted->linesize, frame->width, frame->height,
                                                 AV_PIX_FMT_NV12, SWS_BILINEAR, isFullRange(frame))
                              : AVERROR(ENOMEM);
    if (ret < 0) {
        *error = ff::makeError(kMediaErrorDomain, _("cannot convert a picture to NV12"), _path, ret);
        return nullptr;
    }
    av_frame_copy_props(converted.get(), frame);
    av_frame_unref(frame);
    return converted;
}

SampleBufferPtr TrackDecoder::makeSound(AVFrame* frame, ErrorPtr* error) {
    const int sourceChannels = frame->ch_layout.nb_channels;
    const int rate = frame->sample_rate;
    if (sourceChannels <= 0 || rate <= 0) {
        *error = Error::make(kMediaErrorDomain, 0,
                             withArguments(_("%1: the sound has no channels or no rate"), {_path}));
        return nullptr;
    }
    const int channels = _maxChannels > 0 ? std::min(sourceChannels, _maxChannels) : sourceChannels;
    if (!_soundFormat ||
        _soundFormat->streamDescription().channelsPerFrame !=
            static_cast<std::uint32_t>(channels) ||
        _soundFormat->streamDescription().sampleRate != rate ||
        _swrSourceChannels != sourceChannels) {
        const auto count = static_cast<std::uint32_t>(channels);
        _soundFormat = AudioFormatDescription::create(linearPCM16Description(rate, count),
                                                      layoutTagForChannels(count));
        AVChannelLayout outLayout{};
        if (channels == sourceChannels) {
            av_channel_layout_copy(&outLayout, &frame->ch_layout);
        } else {
            av_channel_layout_default(&outLayout, channels);
        }
        int ret = 0;
        _swr = ff::makeResampler(outLayout, AV_SAMPLE_FMT_S16, rate, frame->ch_layout,
                                 static_cast<AVSampleFormat>(frame->format), rate, ret);
        av_channel_layout_uninit(&outLayout);
        _swrSourceChannels = sourceChannels;
        if (ret < 0) {
            *error = ff::makeError(kMediaErrorDomain, _("cannot convert the sound"), _path, ret);
            return nullptr;
        }
    }
    const std::size_t bytes = static_cast<std::size_t>(frame->nb_samples) * 2 * channels;
    auto* memory = static_cast<std::uint8_t*>(std::malloc(bytes > 0 ? bytes : 1));
    std::uint8_t* out[1] = {memory};
    const int got =
        swr_convert(_swr.get(), out, frame->nb_samples,
                    const_cast<const std::uint8_t**>(frame->extended_data), frame->nb_samples);
    if (got < 0) {
        std::free(memory);
        *error = ff::makeError(kMediaErrorDomain, _("cannot convert the sound"), _path, got);
        return nullptr;
    }
    const MediaTime time = ff::timeFromStream(frame->best_effort_timestamp, _stream->time_base);
    auto block = DataBlock::createWithMemory(memory, static_cast<std::size_t>(got) * 2 * channels);
    return SampleBuffer::createAudio(block, true, _soundFormat, got, time);
}

} // namespace tx
