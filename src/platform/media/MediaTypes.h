// Media types, setting keys and format codes shared by readers, writers and their callers.
#pragma once

#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <string>

namespace tx {

inline const std::string kMediaTypeVideo = "vide";
inline const std::string kMediaTypeAudio = "soun";

// Output settings are dictionaries, as the engine builds them.
using MediaSettings = PlistValue;

inline const std::string kVideoCodecKey = "AVVideoCodecKey";
inline const std::string kVideoWidthKey = "AVVideoWidthKey";
inline const std::string kVideoHeightKey = "AVVideoHeightKey";
inline const std::string kVideoCompressionPropertiesKey = "AVVideoCompressionPropertiesKey";
inline const std::string kVideoAverageBitRateKey = "AVVideoAverageBitRateKey";
inline const std::string kVideoCodecH264 = "avc1";

inline const std::string kFormatIDKey = "AVFormatIDKey";
inline const std::string kNumberOfChannelsKey = "AVNumberOfChannelsKey";
inline const std::string kSampleRateKey = "AVSampleRateKey";
inline const std::string kEncoderBitRateKey = "AVEncoderBitRateKey";
inline const std::string kChannelLayoutKey = "AVChannelLayoutKey";
inline const std::string kPixelBufferPixelFormatTypeKey = "PixelFormatType";

constexpr std::uint32_t kAudioFormatMPEG4AAC = 0x61616320;  // 'aac '
constexpr std::uint32_t kAudioFormatLinearPCM = 0x6C70636D; // 'lpcm'
constexpr std::uint32_t kPixelFormat420v = 875704438;       // '420v': NV12, video range

constexpr std::uint32_t kAudioChannelLayoutTagMono = 0x640001;
constexpr std::uint32_t kAudioChannelLayoutTagStereo = 0x650002;
constexpr std::uint32_t kAudioChannelLayoutTagUnknown = 0xFFFF0000;

struct Size2f {
    float width = 0;
    float height = 0;
};

// A 2-D affine transform (a b; c d; tx ty), as a track's preferred transform.
struct MediaTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    bool isIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && tx == 0 && ty == 0; }
    // Quarter turns clockwise (0..3) of a pure rotation; -1 for anything else.
    int quarterTurns() const;
    static MediaTransform rotation(int quarterTurnsClockwise, double width, double height);
};

struct AudioStreamBasicDescription {
    double sampleRate = 0;
    std::uint32_t formatID = 0;
    std::uint32_t formatFlags = 0;
    std::uint32_t bytesPerPacket = 0;
    std::uint32_t framesPerPacket = 0;
    std::uint32_t bytesPerFrame = 0;
    std::uint32_t channelsPerFrame = 0;
    std::uint32_t bitsPerChannel = 0;
};

struct AudioFormatListItem {
    AudioStreamBasicDescription streamDescription;
    std::uint32_t channelLayoutTag = kAudioChannelLayoutTagUnknown;
};

} // namespace tx
