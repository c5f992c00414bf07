// A movie or sound file opened for reading: its tracks and their facts.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/media/MediaTime.h"
#include "platform/media/MediaTypes.h"

#include <memory>
#include <string>
#include <vector>

namespace tx {

class Asset;
struct BackwardReadState;
class StreamProbe;

// The format of a sound: its stream description, channel layout, magic cookie and extensions.
class AudioFormatDescription : public Object {
public:
    static std::shared_ptr<AudioFormatDescription>
    create(const AudioStreamBasicDescription& asbd, std::uint32_t channelLayoutTag,
           std::vector<std::uint8_t> magicCookie = {}, PlistValue extensions = {});

    const AudioStreamBasicDescription& streamDescription() const { return _asbd; }
    std::uint32_t channelLayoutTag() const { return _channelLayoutTag; }
    // The channel layout record: the tag, a zero bitmap and no channel descriptions.
    std::vector<std::uint8_t> channelLayout() const;
    const std::vector<std::uint8_t>& magicCookie() const { return _magicCookie; }
    const PlistValue& extensions() const { return _extensions; }
    // The format list: one item, the stream description with the layout tag.
    std::vector<AudioFormatListItem> formatList() const;

private:
    AudioStreamBasicDescription _asbd;
    std::uint32_t _channelLayoutTag = kAudioChannelLayoutTagUnknown;
    std::vector<std::uint8_t> _magicCookie;
    PlistValue _extensions;
};

using AudioFormatDescriptionPtr = std::shared_ptr<AudioFormatDescription>;

class AssetTrack : public Object {
public:
    const std::string& mediaType() const { return _mediaType; }
    int trackID() const { return _streamIndex + 1; }
    float nominalFrameRate() const { return _nominalFrameRate; }
    float estimatedDataRate() const { return _estimatedDataRate; }
    Size2f naturalSize() const { return _naturalSize; }
    TimeRange timeRange() const { return _timeRange; }
    MediaTransform preferredTransform() const { return _preferredTransform; }
    // Pictures: how their values are to be read, and the shape of their pixels.
    VideoColorDescription colorDescription() const { return _colorDescription; }
    PixelAspectRatio pixelAspectRatio() const { return _pixelAspectRatio; }
    // Sound tracks: one description of the stored sound; pictures: none.
    const std::vector<AudioFormatDescriptionPtr>& formatDescriptions() const {
        return _formatDescriptions;
    }
    std::shared_ptr<Asset> asset() const { return _asset.lock(); }

    // Media layer internals.
    int streamIndex() const { return _streamIndex; }
    struct PacketInfo {
        std::int64_t pts;
        std::int64_t dts;
        bool keyframe;
    };
    // Every packet of the track in decode order: from the scan at open, or read through the
    // file when first asked for where the movie was timed from its sample tables.
    const std::vector<PacketInfo>& packets() const;
    // Pictures whose time lies in `range` (start <= time < end), as a ranged read delivers them.
    std::size_t packetCountInRange(const TimeRange& range) const;
    int timeBaseNum() const { return _timeBaseNum; }
    int timeBaseDen() const { return _timeBaseDen; }
    // What the ranged picture reads of this track keep from one read to the next when they go
    // backwards window by window (each reader is told so with setFollowingTimeRange): the
    // decoder, the pictures kept, what is being decoded ahead, and how many pictures may be
    // held. Made on first use.
    BackwardReadState& backwardReadState() const;
    // How the ranged picture reads of this track were served.
    struct ReadCounts {
        int decodedFromKeyframe = 0; // decoded on the caller's thread, from a keyframe
        int fromKeptPictures = 0;    // read back from the pictures kept by an earlier read
        int decodedAhead = 0;        // decoded ahead on a thread of its own
        int groupsKeptAhead = 0;     // groups of pictures decoded and kept on a thread of their own
        int picturesDecoded = 0;     // pictures out of the decoder, on any thread
        int mostPicturesHeld = 0;    // most pictures handed out and alive at one time
    };
    ReadCounts& readCounts() const { return _readCounts; }
    // What the last full probe of the file found about this track's stream, for later reads.
    StreamProbe& streamProbe() const { return *_streamProbe; }

private:
    friend class Asset;
    std::string _mediaType;
    int _streamIndex = -1;
    float _nominalFrameRate = 0;
    float _estimatedDataRate = 0;
    Size2f _naturalSize;
    TimeRange _timeRange = TimeRange::empty();
    MediaTransform _preferredTransform;
    VideoColorDescription _colorDescription;
    PixelAspectRatio _pixelAspectRatio;
    std::vector<AudioFormatDescriptionPtr> _formatDescriptions;
    mutable std::vector<PacketInfo> _packets;
    mutable bool _packetsLoaded = false;
    std::string _path;
    int _timeBaseNum = 1;
    int _timeBaseDen = 1;
    mutable std::shared_ptr<BackwardReadState> _backwardReadState;
    mutable ReadCounts _readCounts;
    std::shared_ptr<StreamProbe> _streamProbe;
    std::weak_ptr<Asset> _asset;
};

using AssetTrackPtr = std::shared_ptr<AssetTrack>;

class Asset : public Object {
public:
    // Opens a file. With precise timing every packet is scanned, so durations and time ranges
    // come from the packets themselves. Nothing (and an error saying what and where) when the
    // file is missing or holds no media.
    static std::shared_ptr<Asset> urlAsset(const std::string& path, bool preferPreciseTiming,
                                           ErrorPtr* error = nullptr);
    // Opens a file for its tracks' precise times and its duration only, as fast as the
    // container allows: what only a decoder can tell (pixel format, bit depth) may be missing.
    static std::shared_ptr<Asset> urlAssetForTiming(const std::string& path,
                                                    ErrorPtr* error = nullptr);

    const std::string& path() const { return _path; }
    std::vector<AssetTrackPtr> tracksWithMediaType(const std::string& mediaType) const;
    const std::vector<AssetTrackPtr>& tracks() const { return _tracks; }
    MediaTime duration() const { return _duration; }
    // How many packets opening the file read to time its tracks.
    std::size_t packetsReadWhileOpening() const { return _packetsRead; }

private:
    static std::shared_ptr<Asset> open(const std::string& path, bool preferPreciseTiming,
                                       bool timingOnly, ErrorPtr* error);
    std::string _path;
    std::vector<AssetTrackPtr> _tracks;
    MediaTime _duration = MediaTime::zero();
    std::size_t _packetsRead = 0;
};

using AssetPtr = std::shared_ptr<Asset>;

} // namespace tx
