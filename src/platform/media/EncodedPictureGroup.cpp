#include "EncodedPictureGroup.h"

#include "FFmpeg.h"

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
    AVRational timeBase{1, 1};
};

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
        return refuse("is not a group of H.264 pictures");
    }
    auto group = std::make_shared<EncodedPictureGroup>();
    group->_path = path;
    Impl& impl = *group->_impl;
    impl.parameters.reset(avcodec_parameters_alloc());
    if (!impl.parameters || avcodec_parameters_copy(impl.parameters.get(),
                                                    ctx->streams[0]->codecpar) < 0) {
        return refuse("cannot be read (out of memory)");
    }
    impl.timeBase = ctx->streams[0]->time_base;
    for (;;) {
        ff::PacketPtr packet = ff::makePacket();
        const int ret = av_read_frame(ctx.get(), packet.get());
        if (ret == AVERROR_EOF) {
            break;
        }
        if (ret < 0) {
            return refuse("cannot be read (" + ff::errorText(ret) + ")");
        }
        if (packet->pts == AV_NOPTS_VALUE || packet->dts == AV_NOPTS_VALUE) {
            return refuse("holds a picture without a time");
        }
        if (static_cast<int>(impl.packets.size()) >= kMostPacketsInGroup) {
            return refuse("holds more pictures than a group can");
        }
        impl.packets.push_back(std::move(packet));
    }
    if (impl.packets.empty() || (impl.packets.front()->flags & AV_PKT_FLAG_KEY) == 0) {
        return refuse("does not start with a keyframe");
    }
    return group;
}

int EncodedPictureGroup::pictureCount() const {
    return static_cast<int>(_impl->packets.size());
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

} // namespace tx
