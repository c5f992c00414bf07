#include "EncodedPictureGroup.h"

#include "FFmpeg.h"
#include "TrackEncoder.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/Translation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tx {

namespace {

// A second of pictures, with room to spare; more packets than this is not a group of ours.
constexpr int kMostPacketsInGroup = 1000;

struct ParametersDeleter {
    void operator()(AVCodecParameters* p) const { avcodec_parameters_free(&p); }
};

} // namespace

struct EncodedPictureGroup::Impl {
    std::unique_ptr<AVCodecParameters, ParametersDeleter> parameters;
    std::vector<ff::PacketPtr> packets;
    std::vector<int> leads;
    AVRational timeBase{1, 1};
};

namespace {

// Each packet's lead: how many picture steps its decoding time lies before the time of the
// picture shown in its place in decoding order. The step is the group's own spacing; a group of
// one picture has it only as that picture's duration.
std::vector<int> packetLeads(const std::vector<ff::PacketPtr>& packets) {
    std::vector<std::int64_t> sortedPts;
    sortedPts.reserve(packets.size());
    for (const ff::PacketPtr& packet : packets) {
        sortedPts.push_back(packet->pts);
    }
    std::sort(sortedPts.begin(), sortedPts.end());
    const std::size_t count = packets.size();
    const double step =
        count > 1 ? static_cast<double>(sortedPts.back() - sortedPts.front()) /
                        static_cast<double>(count - 1)
                  : static_cast<double>(std::max<std::int64_t>(0, packets.front()->duration));
    std::vector<int> leads;
    leads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const double ahead = static_cast<double>(sortedPts[i] - packets[i]->dts);
        leads.push_back(step > 0 ? std::max(0, static_cast<int>(std::lround(ahead / step))) : 0);
    }
    return leads;
}

} // namespace

EncodedPictureGroup::EncodedPictureGroup() : _impl(std::make_unique<Impl>()) {}
EncodedPictureGroup::~EncodedPictureGroup() = default;

std::shared_ptr<EncodedPictureGroup> EncodedPictureGroup::open(const std::string& path,
                                                               ErrorPtr* error) {
    auto refuse = [&](const std::string& why) -> std::shared_ptr<EncodedPictureGroup> {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, path + ": " + why);
        }
        return nullptr;
    };
    ff::FormatInputPtr ctx = ff::openInput(path, error, false);
    if (!ctx) {
        return nullptr;
    }
    if (ctx->nb_streams != 1 || ctx->streams[0]->codecpar->codec_id != AV_CODEC_ID_H264 ||
        ctx->streams[0]->codecpar->extradata_size <= 0) {
        return refuse(_("is not a group of H.264 pictures"));
    }
    auto group = std::make_shared<EncodedPictureGroup>();
    group->_path = path;
    Impl& impl = *group->_impl;
    impl.parameters.reset(avcodec_parameters_alloc());
    if (!impl.parameters ||
        avcodec_parameters_copy(impl.parameters.get(), ctx->streams[0]->codecpar) < 0) {
        return refuse(_("cannot be read (out of memory)"));
    }
    impl.timeBase = ctx->streams[0]->time_base;
    for (;;) {
        ff::PacketPtr packet = ff::makePacket();
        const int ret = av_read_frame(ctx.get(), packet.get());
        if (ret == AVERROR_EOF) {
            break;
        }
        if (ret < 0) {
            return refuse(withArguments(_("cannot be read (%1)"), {ff::errorText(ret)}));
        }
        if (packet->pts == AV_NOPTS_VALUE || packet->dts == AV_NOPTS_VALUE) {
            return refuse(_("holds a picture without a time"));
        }
        if (static_cast<int>(impl.packets.size()) >= kMostPacketsInGroup) {
            return refuse(_("holds more pictures than a group can"));
        }
        impl.packets.push_back(std::move(packet));
    }
    if (impl.packets.empty() || (impl.packets.front()->flags & AV_PKT_FLAG_KEY) == 0) {
        return refuse(_("does not start with a keyframe"));
    }
    impl.leads = packetLeads(impl.packets);
    return group;
}

int EncodedPictureGroup::pictureCount() const {
    return static_cast<int>(_impl->packets.size());
}

int EncodedPictureGroup::decodeDelay() const {
    const std::vector<int>& leads = _impl->leads;
    return leads.empty() ? 0 : *std::max_element(leads.begin(), leads.end());
}

int EncodedPictureGroup::packetLead(int index) const {
    return _impl->leads.at(static_cast<std::size_t>(index));
}

bool EncodedPictureGroup::sameFormatAs(const EncodedPictureGroup& other) const {
    const AVCodecParameters* a = parameters();
    const AVCodecParameters* b = other.parameters();
    return a != nullptr && b != nullptr && a->width == b->width && a->height == b->height &&
           a->format == b->format && a->extradata_size == b->extradata_size &&
           std::memcmp(a->extradata, b->extradata, static_cast<std::size_t>(a->extradata_size)) ==
               0;
}

const AVCodecParameters* EncodedPictureGroup::parameters() const {
    return _impl->parameters.get();
}

int EncodedPictureGroup::packetCount() const {
    return static_cast<int>(_impl->packets.size());
}

const AVPacket* EncodedPictureGroup::packet(int index) const {
    return _impl->packets.at(static_cast<std::size_t>(index)).get();
}

int EncodedPictureGroup::timeBaseNum() const {
    return _impl->timeBase.num;
}

int EncodedPictureGroup::timeBaseDen() const {
    return _impl->timeBase.den;
}

// ---- Writing --------------------------------------------------------------------------------

ErrorPtr EncodedPictureGroup::write(const std::string& path, const MediaSettings& videoSettings,
                                    double spacingSeconds, int fullGroupPictures,
                                    const std::vector<PixelBufferPtr>& pictures,
                                    const std::atomic<bool>* cancelled) {
    PictureEncoder encoder;
    if (const std::string why = encoder.configure(videoSettings); !why.empty()) {
        return Error::make(kMediaErrorDomain, 0, why);
    }
    if (pictures.empty() || !(spacingSeconds > 0)) {
        return Error::make(kMediaErrorDomain, 0,
                           withArguments(_("%1: there are no pictures to encode"), {path}));
    }
    ff::initialize();
    // One keyframe, at the start: the group stands alone. Its length in the encoder's setup is
    // that of a full group, whatever it holds.
    encoder.maxKeyFrameInterval = std::max(fullGroupPictures, static_cast<int>(pictures.size()));
    const std::string dir = deletingLastPathComponent(path);
    const std::string temp = pathByAppending(
        dir.empty() ? "." : dir, "." + lastPathComponent(path) + "." + uniqueString() + ".partial");
    ff::FormatOutputPtr format;
    auto failWith = [&](const std::string& what, int ret) {
        encoder.close();
        format.reset();
        removeFile(temp);
        return ff::makeError(kMediaErrorDomain, what, path, ret);
    };
    AVFormatContext* raw = nullptr;
    int ret = avformat_alloc_output_context2(&raw, nullptr, "mov", temp.c_str());
    format.reset(raw);
    if (ret < 0) {
        return failWith(_("cannot write a group of pictures here"), ret);
    }
    AVStream* stream = avformat_new_stream(raw, nullptr);
    if (stream == nullptr) {
        return failWith(_("cannot write a group of pictures here"), AVERROR(ENOMEM));
    }
    stream->time_base = kPictureStreamTimeBase;
    ret =
        encoder.open(stream, (raw->oformat->flags & AVFMT_GLOBALHEADER) != 0, 1.0 / spacingSeconds);
    if (ret >= 0) {
        ret = avio_open(&raw->pb, temp.c_str(), AVIO_FLAG_WRITE);
    }
    if (ret >= 0) {
        ret = avformat_write_header(raw, nullptr);
    }
    if (ret < 0) {
        return failWith(_("cannot write a group of pictures here"), ret);
    }
    const PacketSink sink = [raw](AVPacket* packet) {
        return av_interleaved_write_frame(raw, packet);
    };
    const std::int64_t step = std::max<std::int64_t>(1, std::llround(spacingSeconds * 1e6));
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        if (cancelled != nullptr && cancelled->load()) {
            return failWith(_("cancelled"), AVERROR_EXIT);
        }
        if (!pictures[i]) {
            return failWith(_("a picture is missing"), AVERROR(EINVAL));
        }
        ff::FramePtr frame = ff::makeFrame();
        ret = encoder.frameFor(*pictures[i], *frame);
        if (ret >= 0) {
            ret = encoder.encode(frame.get(), static_cast<std::int64_t>(i) * step, sink);
        }
        if (ret < 0) {
            return failWith(_("cannot encode a group of pictures"), ret);
        }
    }
    ret = encoder.flush(sink);
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
        return failWith(_("cannot finish a group of pictures"), ret);
    }
    encoder.close();
    format.reset();
    return nullptr;
}

} // namespace tx
