#include "Asset.h"

#include "platform/foundation/Translation.h"

#include "FFmpeg.h"
#include "MediaBounds.h"
#include "StreamProbe.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace tx {

namespace {

std::uint32_t layoutTagFor(const AVChannelLayout& layout) {
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (av_channel_layout_compare(&layout, &mono) == 0) {
        return kAudioChannelLayoutTagMono;
    }
    if (av_channel_layout_compare(&layout, &stereo) == 0) {
        return kAudioChannelLayoutTagStereo;
    }
    return kAudioChannelLayoutTagUnknown;
}

AudioStreamBasicDescription describeStoredSound(const AVCodecParameters* par) {
    AudioStreamBasicDescription asbd;
    asbd.sampleRate = par->sample_rate;
    asbd.channelsPerFrame = static_cast<std::uint32_t>(par->ch_layout.nb_channels);
    switch (par->codec_id) {
    case AV_CODEC_ID_AAC:
        asbd.formatID = kAudioFormatMPEG4AAC;
        asbd.framesPerPacket = par->frame_size > 0 ? par->frame_size : 1024;
        break;
    case AV_CODEC_ID_PCM_S16LE:
    case AV_CODEC_ID_PCM_S16BE:
    case AV_CODEC_ID_PCM_S24LE:
    case AV_CODEC_ID_PCM_S32LE:
    case AV_CODEC_ID_PCM_F32LE:
    case AV_CODEC_ID_PCM_U8: {
        asbd.formatID = kAudioFormatLinearPCM;
        const int bits = av_get_bits_per_sample(par->codec_id);
        asbd.bitsPerChannel = static_cast<std::uint32_t>(bits);
        asbd.framesPerPacket = 1;
        asbd.bytesPerFrame = asbd.channelsPerFrame * static_cast<std::uint32_t>(bits / 8);
        asbd.bytesPerPacket = asbd.bytesPerFrame;
        break;
    }
    default: {
        // Any other codec: its four-character tag where the container gave one.
        asbd.formatID = par->codec_tag;
        asbd.framesPerPacket =
            par->frame_size > 0 ? static_cast<std::uint32_t>(par->frame_size) : 0;
        break;
    }
    }
    return asbd;
}

VideoColorDescription colorDescriptionOf(const AVCodecParameters* par) {
    // FFmpeg's colour enumerations are the H.273 code points.
    VideoColorDescription colour;
    colour.primaries = par->color_primaries;
    colour.transfer = par->color_trc;
    colour.matrix = par->color_space;
    colour.fullRange = par->color_range == AVCOL_RANGE_JPEG || par->format == AV_PIX_FMT_YUVJ420P ||
                       par->format == AV_PIX_FMT_YUVJ422P || par->format == AV_PIX_FMT_YUVJ444P;
    if (const AVPixFmtDescriptor* desc =
            av_pix_fmt_desc_get(static_cast<AVPixelFormat>(par->format))) {
        colour.bitsPerComponent = desc->comp[0].depth;
    }
    return colour;
}

MediaTransform transformFromDisplayMatrix(const AVStream* stream) {
    const auto* matrix = reinterpret_cast<const std::int32_t*>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    MediaTransform t;
    if (matrix == nullptr) {
        return t;
    }
    constexpr double kFixed16 = 65536.0;
    t.a = matrix[0] / kFixed16;
    t.b = matrix[1] / kFixed16;
    t.c = matrix[3] / kFixed16;
    t.d = matrix[4] / kFixed16;
    t.tx = matrix[6] / kFixed16;
    t.ty = matrix[7] / kFixed16;
    return t;
}

struct Scan {
    AssetTrackPtr track;
    std::int64_t firstPts = std::numeric_limits<std::int64_t>::max();
    std::int64_t endPts = std::numeric_limits<std::int64_t>::min();
    std::int64_t lastPts = std::numeric_limits<std::int64_t>::min();
    std::int64_t bytes = 0;
    std::int64_t count = 0;
    std::int64_t lastDuration = 0;
    // The longest step from one packet to the next in decoding order.
    std::int64_t lastDts = AV_NOPTS_VALUE;
    std::int64_t longestStep = 0;
    std::size_t packetsRead = 0;
    std::vector<AssetTrack::PacketInfo> packets;
};

// a + b, held at the int64 limits instead of wrapping: damaged tables give any numbers.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum = 0;
    if (__builtin_add_overflow(a, b, &sum)) {
        return b > 0 ? std::numeric_limits<std::int64_t>::max()
                     : std::numeric_limits<std::int64_t>::min();
    }
    return sum;
}

// Notes one packet of a track: its times, its size and, with `keep`, the packet itself.
void notePacket(Scan& scan, const AVPacket& packet, bool keep) {
    ++scan.packetsRead;
    if (packet.size == 0) {
        return; // an index entry for a dropped picture (AVI): nothing is shown for it
    }
    if (packet.flags & AV_PKT_FLAG_DISCARD) {
        // Before or after the part an edit list shows: decoded on the way, never shown or heard.
        return;
    }
    const std::int64_t pts = packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
    if (packet.dts != AV_NOPTS_VALUE) {
        if (scan.lastDts != AV_NOPTS_VALUE && packet.dts > scan.lastDts) {
            scan.longestStep = std::max(scan.longestStep, packet.dts - scan.lastDts);
        }
        scan.lastDts = packet.dts;
    }
    if (pts != AV_NOPTS_VALUE) {
        scan.firstPts = std::min(scan.firstPts, pts);
        // A packet without a duration (the last one, where the demuxer was not asked to
        // analyse the streams) lasts as long as the one before it.
        const std::int64_t duration = packet.duration > 0 ? packet.duration : scan.lastDuration;
        scan.lastDuration = duration;
        scan.endPts = std::max(scan.endPts, saturatingAdd(pts, duration));
        scan.lastPts = std::max(scan.lastPts, pts);
        if (keep) {
            scan.packets.push_back({pts, packet.dts != AV_NOPTS_VALUE ? packet.dts : pts,
                                    (packet.flags & AV_PKT_FLAG_KEY) != 0});
        }
    }
    scan.bytes += packet.size;
    ++scan.count;
}

// Reads packets until the end of the file or until every track has `perTrack` packets; true
// at the end of the file. A read error other than the end means a damaged or cut-off file:
// what was read stands, as a player would show it.
bool scanPackets(AVFormatContext* ctx, std::vector<Scan>& scans, std::int64_t perTrack, bool keep) {
    ff::PacketPtr packet = ff::makePacket();
    while (av_read_frame(ctx, packet.get()) >= 0) {
        const int index = packet->stream_index;
        if (index >= 0 && static_cast<unsigned>(index) < scans.size() && scans[index].track) {
            notePacket(scans[index], *packet, keep);
        }
        av_packet_unref(packet.get());
        if (perTrack != std::numeric_limits<std::int64_t>::max() &&
            std::all_of(scans.begin(), scans.end(), [&](const Scan& s) {
                return !s.track || static_cast<std::int64_t>(s.packetsRead) >= perTrack;
            })) {
            return false;
        }
    }
    return true;
}

bool isFormat(const AVFormatContext* ctx, const char* name) {
    return ctx->iformat != nullptr && std::strstr(ctx->iformat->name, name) != nullptr &&
           ctx->pb != nullptr && (ctx->pb->seekable & AVIO_SEEKABLE_NORMAL) != 0;
}

bool hasIndexEntries(const AVFormatContext* ctx) {
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        if (avformat_index_get_entries_count(ctx->streams[i]) > 0) {
            return true;
        }
    }
    return false;
}

// QuickTime and MPEG-4 files list every sample of every track in their sample tables, AVI files
// in their index.
bool hasCompleteIndex(const AVFormatContext* ctx) {
    return isFormat(ctx, "mov") || (isFormat(ctx, "avi") && hasIndexEntries(ctx));
}

// Matroska files index their keyframes (cues, read at the first seek when they follow the
// pictures) and give their length in the header: enough to find the end, not to count or size
// every packet.
bool hasKeyframeIndex(const AVFormatContext* ctx) {
    return isFormat(ctx, "matroska") && (hasIndexEntries(ctx) || ctx->duration > 0);
}

// Times every track from the packets at the start and from the last keyframe to the end of
// the file; with `everySample`, sizes and counts come from the index. False when that cannot be
// done.
bool scanEnds(AVFormatContext* ctx, std::vector<Scan>& scans, bool everySample) {
    // The earliest time of a track is among its first packets, whatever their order.
    constexpr std::int64_t kHeadPackets = 48;
    // Starting this long before the end reaches back past the last keyframe of every track.
    constexpr std::int64_t kTailMicroseconds = 2000000;
    if (scanPackets(ctx, scans, kHeadPackets, false)) {
        return true; // a short movie: every packet has been read
    }
    std::int64_t end = 0;
    for (const Scan& scan : scans) {
        if (!scan.track) {
            continue;
        }
        AVStream* stream = ctx->streams[scan.track->streamIndex()];
        const int entries = avformat_index_get_entries_count(stream);
        for (int i = entries; i-- > 0;) {
            const AVIndexEntry* e = avformat_index_get_entry(stream, i);
            if (e != nullptr && !(e->flags & AVINDEX_DISCARD_FRAME)) {
                end = std::max(end, av_rescale_q(e->timestamp, stream->time_base, AV_TIME_BASE_Q));
                break;
            }
        }
    }
    if (!everySample && ctx->duration > 0) {
        // A keyframe index grows as the file is read (and its rest may only be read at the first
        // seek): the header's length says where the end is.
        end = std::max(end, ctx->duration);
    }
    std::vector<Scan> tail(scans.size());
    for (std::size_t i = 0; i < scans.size(); ++i) {
        tail[i].track = scans[i].track;
    }
    if (av_seek_frame(ctx, -1, std::max<std::int64_t>(0, end - kTailMicroseconds),
                      AVSEEK_FLAG_BACKWARD) < 0) {
        return false;
    }
    scanPackets(ctx, tail, std::numeric_limits<std::int64_t>::max(), false);
    for (std::size_t i = 0; i < scans.size(); ++i) {
        Scan& scan = scans[i];
        if (!scan.track) {
            continue;
        }
        if (tail[i].count == 0) {
            return false;
        }
        scan.endPts = std::max(scan.endPts, tail[i].endPts);
        scan.lastPts = std::max(scan.lastPts, tail[i].lastPts);
        scan.packetsRead += tail[i].packetsRead;
        if (!everySample) {
            continue;
        }
        AVStream* stream = ctx->streams[scan.track->streamIndex()];
        std::int64_t bytes = 0;
        std::int64_t count = 0;
        const int entries = avformat_index_get_entries_count(stream);
        for (int e = 0; e < entries; ++e) {
            const AVIndexEntry* entry = avformat_index_get_entry(stream, e);
            if (entry != nullptr && !(entry->flags & AVINDEX_DISCARD_FRAME) && entry->size > 0) {
                bytes += entry->size;
                ++count;
            }
        }
        scan.bytes = bytes;
        scan.count = count;
    }
    return true;
}

// The longest step between two samples of a track in decoding order, from the index where it
// lists every sample; otherwise from the packets read, where every packet was.
std::int64_t longestSampleStep(AVStream* stream, const Scan& scan, bool fromIndex,
                               bool scannedAll) {
    if (!fromIndex) {
        return scannedAll ? scan.longestStep : 0;
    }
    std::int64_t longest = 0;
    std::int64_t previous = AV_NOPTS_VALUE;
    const int entries = avformat_index_get_entries_count(stream);
    for (int e = 0; e < entries; ++e) {
        const AVIndexEntry* entry = avformat_index_get_entry(stream, e);
        if (entry == nullptr || (entry->flags & AVINDEX_DISCARD_FRAME)) {
            continue;
        }
        if (previous != AV_NOPTS_VALUE && entry->timestamp > previous) {
            longest = std::max(longest, entry->timestamp - previous);
        }
        previous = entry->timestamp;
    }
    return longest;
}

// What is wrong with a stream's stored picture size or sound format, or "" when it holds.
std::string formatDamage(const AVCodecParameters* par, bool video) {
    if (video && (par->width < 0 || par->height < 0 || par->width > kLargestPictureSide ||
                  par->height > kLargestPictureSide)) {
        return "the movie's picture size is damaged: " + std::to_string(par->width) + "x" +
               std::to_string(par->height);
    }
    if (!video && (par->sample_rate < 0 || par->sample_rate > kHighestSampleRate ||
                   par->ch_layout.nb_channels < 0 ||
                   par->ch_layout.nb_channels > kMostSoundChannels)) {
        return "the movie's sound format is damaged: " + std::to_string(par->sample_rate) +
               " Hz, " + std::to_string(par->ch_layout.nb_channels) + " channels";
    }
    return {};
}

} // namespace

int MediaTransform::quarterTurns() const {
    auto near = [](double v, double want) { return std::fabs(v - want) < 1e-6; };
    if (near(a, 1) && near(b, 0) && near(c, 0) && near(d, 1)) {
        return 0;
    }
    if (near(a, 0) && near(b, 1) && near(c, -1) && near(d, 0)) {
        return 1;
    }
    if (near(a, -1) && near(b, 0) && near(c, 0) && near(d, -1)) {
        return 2;
    }
    if (near(a, 0) && near(b, -1) && near(c, 1) && near(d, 0)) {
        return 3;
    }
    return -1;
}

MediaTransform MediaTransform::rotation(int quarterTurnsClockwise, double width, double height) {
    switch (((quarterTurnsClockwise % 4) + 4) % 4) {
    case 1:
        return {0, 1, -1, 0, height, 0};
    case 2:
        return {-1, 0, 0, -1, width, height};
    case 3:
        return {0, -1, 1, 0, 0, width};
    default:
        return {};
    }
}

std::shared_ptr<AudioFormatDescription>
AudioFormatDescription::create(const AudioStreamBasicDescription& asbd,
                               std::uint32_t channelLayoutTag,
                               std::vector<std::uint8_t> magicCookie, PlistValue extensions) {
    auto description = std::make_shared<AudioFormatDescription>();
    description->_asbd = asbd;
    description->_channelLayoutTag = channelLayoutTag;
    description->_magicCookie = std::move(magicCookie);
    description->_extensions = std::move(extensions);
    return description;
}

std::vector<std::uint8_t> AudioFormatDescription::channelLayout() const {
    std::vector<std::uint8_t> layout(12, 0);
    std::memcpy(layout.data(), &_channelLayoutTag, sizeof _channelLayoutTag);
    return layout;
}

std::vector<AudioFormatListItem> AudioFormatDescription::formatList() const {
    return {AudioFormatListItem{_asbd, _channelLayoutTag}};
}

std::shared_ptr<Asset> Asset::urlAsset(const std::string& path, bool preferPreciseTiming,
                                       ErrorPtr* error) {
    return open(path, preferPreciseTiming, false, error);
}

std::shared_ptr<Asset> Asset::urlAssetForTiming(const std::string& path, ErrorPtr* error) {
    return open(path, true, true, error);
}

std::shared_ptr<Asset> Asset::open(const std::string& path, bool preferPreciseTiming,
                                   bool timingOnly, ErrorPtr* error) {
    // The probe's findings are kept for the readers of the tracks, which then need not probe.
    const FileStamp stamp = fileStampOf(path);
    ff::FormatInputPtr ctx = ff::openInput(path, error, false);
    UnprobedShape unprobed;
    if (ctx && !timingOnly) {
        unprobed = unprobedShapeOf(ctx.get());
        if (!ff::probeStreams(ctx.get(), path, error)) {
            ctx.reset();
        }
    }
    if (ctx && timingOnly && !hasCompleteIndex(ctx.get())) {
        // Without sample tables the header may not even name the streams.
        ctx = ff::openInput(path, error);
    }
    if (!ctx) {
        return nullptr;
    }
    auto asset = std::make_shared<Asset>();
    asset->_path = path;

    std::vector<Scan> scans(ctx->nb_streams);
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        AVStream* stream = ctx->streams[i];
        const AVCodecParameters* par = stream->codecpar;
        const bool video = par->codec_type == AVMEDIA_TYPE_VIDEO &&
                           !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC);
        const bool audio = par->codec_type == AVMEDIA_TYPE_AUDIO;
        if (!video && !audio) {
            continue;
        }
        if (const std::string damage = formatDamage(par, video); !damage.empty()) {
            if (error != nullptr) {
                *error = Error::make(kMediaErrorDomain, 0, path + ": " + damage);
            }
            return nullptr;
        }
        auto track = std::make_shared<AssetTrack>();
        track->_mediaType = video ? kMediaTypeVideo : kMediaTypeAudio;
        track->_streamIndex = static_cast<int>(i);
        track->_path = path;
        track->_timeBaseNum = stream->time_base.num;
        track->_timeBaseDen = stream->time_base.den;
        track->_asset = asset;
        track->_streamProbe = std::make_shared<StreamProbe>();
        if (!timingOnly) {
            track->_streamProbe->remember(stamp, ctx.get(), static_cast<int>(i), unprobed);
        }
        if (video) {
            AVRational rate =
                stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
            track->_nominalFrameRate = rate.num > 0 ? static_cast<float>(av_q2d(rate)) : 0.0f;
            track->_naturalSize = {static_cast<float>(par->width), static_cast<float>(par->height)};
            track->_preferredTransform = transformFromDisplayMatrix(stream);
            track->_colorDescription = colorDescriptionOf(par);
            const AVRational sar = av_guess_sample_aspect_ratio(nullptr, stream, nullptr);
            if (sar.num > 0 && sar.den > 0) {
                AVRational reduced{};
                av_reduce(&reduced.num, &reduced.den, sar.num, sar.den, 1 << 16);
                track->_pixelAspectRatio = {reduced.num, reduced.den};
            }
        } else {
            track->_formatDescriptions.push_back(AudioFormatDescription::create(
                describeStoredSound(par), layoutTagFor(par->ch_layout),
                std::vector<std::uint8_t>(par->extradata, par->extradata + par->extradata_size)));
        }
        scans[i].track = track;
        asset->_tracks.push_back(track);
    }
    if (asset->_tracks.empty()) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0,
                                 withArguments(_("%1: holds no picture or sound"), {path}));
        }
        return nullptr;
    }

    bool scannedAll = false;
    // Sizes and counts from a keyframe index alone are not the track's: its data rate is then
    // the one its header gives.
    bool sizedFromIndex = true;
    if (preferPreciseTiming) {
        // Movies that index every sample are timed from their first and last packets, and so
        // are those that index their keyframes when only times are wanted; the others are read
        // through once.
        const bool everySample = hasCompleteIndex(ctx.get());
        const bool indexed = everySample || (timingOnly && hasKeyframeIndex(ctx.get()));
        scannedAll = !indexed || !scanEnds(ctx.get(), scans, everySample);
        sizedFromIndex = scannedAll || everySample;
        if (scannedAll) {
            if (indexed) {
                // Start over from the top of a file that could not be timed from its ends.
                for (Scan& scan : scans) {
                    AssetTrackPtr track = std::move(scan.track);
                    scan = Scan();
                    scan.track = std::move(track);
                }
                ctx = ff::openInput(path, error);
                if (!ctx) {
                    return nullptr;
                }
            }
            scanPackets(ctx.get(), scans, std::numeric_limits<std::int64_t>::max(), true);
            for (Scan& scan : scans) {
                if (scan.track) {
                    scan.track->_packets = std::move(scan.packets);
                }
            }
        }
        asset->_packetsRead = 0;
        for (const Scan& scan : scans) {
            asset->_packetsRead += scan.packetsRead;
        }
    }

    for (Scan& scan : scans) {
        if (!scan.track) {
            continue;
        }
        AssetTrack& track = *scan.track;
        AVStream* stream = ctx->streams[track._streamIndex];
        const AVRational tb = stream->time_base;
        std::int64_t first = 0;
        std::int64_t end = 0;
        // Packets without a single time among them leave the header's times to go by.
        if (preferPreciseTiming && scan.count > 0 &&
            scan.firstPts != std::numeric_limits<std::int64_t>::max()) {
            track._packetsLoaded = scannedAll;
            first = std::max<std::int64_t>(0, scan.firstPts);
            end = scan.endPts;
            if (track._mediaType == kMediaTypeVideo && track._nominalFrameRate > 0) {
                // Containers that leave the last picture's duration out still show it for one
                // frame interval.
                const std::int64_t lastPts = scan.lastPts;
                if (end <= lastPts) {
                    end = saturatingAdd(
                        lastPts,
                        av_rescale_q(1, av_inv_q(av_d2q(track._nominalFrameRate, 100000)), tb));
                }
            }
            const double seconds =
                (static_cast<double>(end) - static_cast<double>(first)) * av_q2d(tb);
            track._estimatedDataRate =
                !sizedFromIndex ? static_cast<float>(stream->codecpar->bit_rate)
                : seconds > 0 ? static_cast<float>(static_cast<double>(scan.bytes) * 8.0 / seconds)
                              : 0.0f;
        } else {
            first = stream->start_time != AV_NOPTS_VALUE
                        ? std::max<std::int64_t>(0, stream->start_time)
                        : 0;
            end = stream->duration != AV_NOPTS_VALUE
                      ? saturatingAdd(first, stream->duration)
                      : av_rescale_q(std::max<std::int64_t>(0, ctx->duration), AV_TIME_BASE_Q, tb);
            track._estimatedDataRate = static_cast<float>(stream->codecpar->bit_rate);
        }
        if (end < first) {
            end = first;
        }
        // How long the last sample lasts: from its start to the track's end.
        std::int64_t lastStep = 0;
        if (preferPreciseTiming && scan.count > 0 &&
            scan.lastPts != std::numeric_limits<std::int64_t>::min() && scan.lastPts < end) {
            lastStep = saturatingAdd(end, -scan.lastPts);
        }
        TrackTiming timing;
        timing.pictures = track._mediaType == kMediaTypeVideo;
        timing.timeBaseNum = tb.num;
        timing.timeBaseDen = tb.den;
        timing.firstTicks = first;
        timing.endTicks = end;
        timing.longestStepTicks =
            std::max(lastStep, longestSampleStep(stream, scan, hasCompleteIndex(ctx.get()),
                                                 preferPreciseTiming && scannedAll));
        timing.picturesPerSecond = track._nominalFrameRate;
        const std::string damage = trackTimingDamage(timing);
        if (!damage.empty()) {
            if (error != nullptr) {
                *error = Error::make(kMediaErrorDomain, 0, damagedTimingText(path, damage));
            }
            return nullptr;
        }
        const MediaTime start = ff::timeFromStream(first, tb);
        track._timeRange = TimeRange::make(start, ff::timeFromStream(end, tb) - start);
        if (track._mediaType == kMediaTypeVideo && track._nominalFrameRate <= 0 &&
            track._timeRange.duration.seconds() > 0) {
            track._nominalFrameRate = static_cast<float>(static_cast<double>(scan.count) /
                                                         track._timeRange.duration.seconds());
        }
        if (track._timeRange.end() > asset->_duration) {
            asset->_duration = track._timeRange.end();
        }
    }
    return asset;
}

const std::vector<AssetTrack::PacketInfo>& AssetTrack::packets() const {
    if (_packetsLoaded) {
        return _packets;
    }
    _packetsLoaded = true;
    bool fileChanged = false;
    ff::FormatInputPtr ctx = openForTrack(_path, *this, fileChanged, nullptr);
    if (!ctx || _streamIndex < 0 || static_cast<unsigned>(_streamIndex) >= ctx->nb_streams) {
        return _packets;
    }
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        if (static_cast<int>(i) != _streamIndex) {
            ctx->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    std::vector<Scan> scans(ctx->nb_streams);
    scans[_streamIndex].track = std::const_pointer_cast<AssetTrack>(
        std::static_pointer_cast<const AssetTrack>(shared_from_this()));
    scanPackets(ctx.get(), scans, std::numeric_limits<std::int64_t>::max(), true);
    _packets = std::move(scans[_streamIndex].packets);
    return _packets;
}

std::size_t AssetTrack::packetCountInRange(const TimeRange& range) const {
    const AVRational tb{_timeBaseNum, _timeBaseDen};
    const std::int64_t first = ff::streamTickAtOrAfter(range.start, tb);
    const std::int64_t end = ff::streamTickAtOrAfter(range.end(), tb);
    std::size_t count = 0;
    for (const PacketInfo& packet : packets()) {
        if (packet.pts >= first && packet.pts < end) {
            ++count;
        }
    }
    return count;
}

std::vector<AssetTrackPtr> Asset::tracksWithMediaType(const std::string& mediaType) const {
    std::vector<AssetTrackPtr> found;
    for (const auto& track : _tracks) {
        if (track->mediaType() == mediaType) {
            found.push_back(track);
        }
    }
    return found;
}

} // namespace tx
