// Media types, setting keys and format codes shared by readers, writers and their callers.
#pragma once

#include "platform/foundation/PropertyList.h"

#include <cstdint>
#include <string>

namespace tx {

inline const std::string kMediaTypeVideo = "vide";
inline const std::string kMediaTypeAudio = "soun";

// The domain of every error the media layer makes.
inline const std::string kMediaErrorDomain = "Media";

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
// Optional picture settings: the colour description (a dictionary of the three code points
// below and the range) and the pixel aspect ratio (a dictionary of the two spacings).
inline const std::string kVideoColorPropertiesKey = "AVVideoColorPropertiesKey";
inline const std::string kVideoColorPrimariesKey = "AVVideoColorPrimariesKey";
inline const std::string kVideoTransferFunctionKey = "AVVideoTransferFunctionKey";
inline const std::string kVideoYCbCrMatrixKey = "AVVideoYCbCrMatrixKey";
inline const std::string kVideoFullRangeKey = "FullRange";
inline const std::string kVideoPixelAspectRatioKey = "AVVideoPixelAspectRatioKey";
inline const std::string kVideoPixelAspectRatioHorizontalSpacingKey = "HorizontalSpacing";
inline const std::string kVideoPixelAspectRatioVerticalSpacingKey = "VerticalSpacing";

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

// How a track's picture values are to be read: the ITU-T H.273 code points of its colour
// primaries, transfer function and matrix (2: unspecified), whether its values use the full
// range, and the bits per component it was coded with.
struct VideoColorDescription {
    static constexpr int kUnspecified = 2;
    int primaries = kUnspecified;
    int transfer = kUnspecified;
    int matrix = kUnspecified;
    bool fullRange = false;
    int bitsPerComponent = 8;
    bool isSpecified() const {
        return primaries != kUnspecified || transfer != kUnspecified || matrix != kUnspecified ||
               fullRange;
    }
};

// The shape of one stored pixel: horizontal to vertical spacing (1:1 for square pixels).
struct PixelAspectRatio {
    int horizontalSpacing = 1;
    int verticalSpacing = 1;
    bool isSquare() const { return horizontalSpacing == verticalSpacing; }
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

// The layout tag of interleaved sound with this many channels: mono, stereo, or unknown.
constexpr std::uint32_t layoutTagForChannels(std::uint32_t channels) {
    return channels == 1   ? kAudioChannelLayoutTagMono
           : channels == 2 ? kAudioChannelLayoutTagStereo
                           : kAudioChannelLayoutTagUnknown;
}

// Interleaved signed 16-bit linear PCM, as readers deliver sound and writers take it.
inline AudioStreamBasicDescription linearPCM16Description(double sampleRate,
                                                          std::uint32_t channels) {
    AudioStreamBasicDescription asbd;
    asbd.sampleRate = sampleRate;
    asbd.formatID = kAudioFormatLinearPCM;
    asbd.formatFlags = 0x4 | 0x8; // signed integer, packed
    asbd.bytesPerFrame = 2 * channels;
    asbd.bytesPerPacket = asbd.bytesPerFrame;
    asbd.framesPerPacket = 1;
    asbd.channelsPerFrame = channels;
    asbd.bitsPerChannel = 16;
    return asbd;
}

struct AudioFormatListItem {
    AudioStreamBasicDescription streamDescription;
    std::uint32_t channelLayoutTag = kAudioChannelLayoutTagUnknown;
};

} // namespace tx
