// A run of pictures encoded once as a closed H.264 group (it starts with a keyframe and refers
// to nothing outside itself), kept in a small movie file of its own, so that a writer can copy
// it into a movie later without decoding or encoding it again.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/media/MediaTypes.h"
#include "platform/media/SampleBuffer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct AVCodecParameters;
struct AVPacket;

namespace tx {

class EncodedPictureGroup : public Object {
public:
    // Encodes `pictures`, in the order given, into a new group file at `path`: H.264 with the
    // settings of a writer's picture input (as AssetWriterInput::create takes them), the pictures
    // `spacingSeconds` apart. The file takes its name only when complete; on failure (or when
    // `cancelled` turns true) nothing is left at `path` and the error says why.
    static ErrorPtr write(const std::string& path, const MediaSettings& videoSettings,
                          double spacingSeconds, const std::vector<PixelBufferPtr>& pictures,
                          const std::atomic<bool>* cancelled = nullptr);
    // Reads a group file whole (a second of pictures is small). Null, and an error naming the
    // file, when it is not a group that can be copied.
    static std::shared_ptr<EncodedPictureGroup> open(const std::string& path,
                                                     ErrorPtr* error = nullptr);
    EncodedPictureGroup();
    ~EncodedPictureGroup() override;

    const std::string& path() const { return _path; }
    int pictureCount() const;
    // Whether pictures of both can follow each other in one track: same size and coding
    // parameters.
    bool sameFormatAs(const EncodedPictureGroup& other) const;

    // Media layer internals: the coding parameters, and the packets in decode order with their
    // times in `timeBaseNum`/`timeBaseDen`.
    const AVCodecParameters* parameters() const;
    int packetCount() const;
    const AVPacket* packet(int index) const;
    int timeBaseNum() const;
    int timeBaseDen() const;

    struct Impl;

private:
    std::string _path;
    std::unique_ptr<Impl> _impl;
};

using EncodedPictureGroupPtr = std::shared_ptr<EncodedPictureGroup>;

} // namespace tx
