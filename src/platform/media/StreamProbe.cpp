#include "StreamProbe.h"

#include <cstring>
#include <sys/stat.h>

namespace tx {

namespace {

// QuickTime and MP4 files index every packet with its times in their header; a probe only
// decodes a few pictures to fill in what the decoder could tell, which changes no packet.
bool headerGivesEveryPacket(const AVFormatContext* ctx) {
    return ctx->iformat != nullptr &&
           std::strcmp(ctx->iformat->name, "mov,mp4,m4a,3gp,3g2,mj2") == 0;
}

} // namespace

FileStamp fileStampOf(const std::string& path) {
    FileStamp stamp;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return stamp;
    }
    stamp.device = static_cast<std::uint64_t>(info.st_dev);
    stamp.inode = static_cast<std::uint64_t>(info.st_ino);
    stamp.sizeBytes = static_cast<std::int64_t>(info.st_size);
    stamp.modifiedNanoseconds =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

UnprobedShape unprobedShapeOf(const AVFormatContext* ctx) {
    UnprobedShape shape;
    shape.streamCount = ctx->nb_streams;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        shape.indexEntries.push_back(avformat_index_get_entries_count(ctx->streams[i]));
    }
    return shape;
}

void StreamProbe::remember(const FileStamp& stamp, const AVFormatContext* ctx, int streamIndex,
                           const UnprobedShape& before) {
    std::lock_guard lock(_mutex);
    ++_fullProbes;
    _known = false;
    _reusable = false;
    if (stamp.sizeBytes < 0 || streamIndex < 0 ||
        static_cast<unsigned>(streamIndex) >= ctx->nb_streams) {
        return;
    }
    const AVStream* stream = ctx->streams[streamIndex];
    _stamp = stamp;
    _streamCount = ctx->nb_streams;
    _indexEntries = avformat_index_get_entries_count(stream);
    // A probe that found streams or packets the header did not name read past it, as for
    // fragmented files: opening without one would not read the same.
    _reusable = headerGivesEveryPacket(ctx) && before.streamCount == ctx->nb_streams &&
                static_cast<std::size_t>(streamIndex) < before.indexEntries.size() &&
                before.indexEntries[streamIndex] == _indexEntries && _indexEntries > 0;
    if (!_parameters) {
        _parameters.reset(avcodec_parameters_alloc());
    }
    if (!_parameters || avcodec_parameters_copy(_parameters.get(), stream->codecpar) < 0) {
        _reusable = false;
    }
    _timeBase = stream->time_base;
    _realFrameRate = stream->r_frame_rate;
    _averageFrameRate = stream->avg_frame_rate;
    _sampleAspectRatio = stream->sample_aspect_ratio;
    _startTime = stream->start_time;
    _duration = stream->duration;
    _frameCount = stream->nb_frames;
    _known = true;
}

bool StreamProbe::applyTo(const FileStamp& stamp, AVFormatContext* ctx, int streamIndex) const {
    std::lock_guard lock(_mutex);
    if (!_known || !_reusable || stamp.sizeBytes < 0 || !(stamp == _stamp) ||
        !headerGivesEveryPacket(ctx) || ctx->nb_streams != _streamCount || streamIndex < 0 ||
        static_cast<unsigned>(streamIndex) >= ctx->nb_streams) {
        return false;
    }
    AVStream* stream = ctx->streams[streamIndex];
    if (stream->codecpar->codec_type != _parameters->codec_type ||
        stream->codecpar->codec_id != _parameters->codec_id ||
        av_cmp_q(stream->time_base, _timeBase) != 0 ||
        avformat_index_get_entries_count(stream) != _indexEntries) {
        return false;
    }
    if (avcodec_parameters_copy(stream->codecpar, _parameters.get()) < 0) {
        return false;
    }
    stream->r_frame_rate = _realFrameRate;
    stream->avg_frame_rate = _averageFrameRate;
    stream->sample_aspect_ratio = _sampleAspectRatio;
    stream->start_time = _startTime;
    stream->duration = _duration;
    stream->nb_frames = _frameCount;
    return true;
}

bool StreamProbe::changedSince(const FileStamp& stamp) const {
    std::lock_guard lock(_mutex);
    return _known && !(stamp == _stamp);
}

int StreamProbe::fullProbes() const {
    std::lock_guard lock(_mutex);
    return _fullProbes;
}

ff::FormatInputPtr openForTrack(const std::string& path, const AssetTrack& track, bool& changed,
                                ErrorPtr* error) {
    changed = false;
    const FileStamp stamp = fileStampOf(path);
    ff::FormatInputPtr ctx = ff::openInput(path, error, false);
    if (!ctx) {
        return nullptr;
    }
    StreamProbe& probe = track.streamProbe();
    if (probe.applyTo(stamp, ctx.get(), track.streamIndex())) {
        return ctx;
    }
    changed = probe.changedSince(stamp);
    const UnprobedShape before = unprobedShapeOf(ctx.get());
    if (!ff::probeStreams(ctx.get(), path, error)) {
        return nullptr;
    }
    probe.remember(stamp, ctx.get(), track.streamIndex(), before);
    return ctx;
}

} // namespace tx
