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
    // `spacingSeconds` apart. Groups that are to follow each other in one track are written with
    // the same `fullGroupPictures` (the most any of them holds): the encoder shapes its coding
    // parameters by the group length, so a short group written for its own length would not fit
    // beside the others. The file takes its name only when complete; on failure (or when
    // `cancelled` turns true) nothing is left at `path` and the error says why.
    static ErrorPtr write(const std::string& path, const MediaSettings& videoSettings,
                          double spacingSeconds, int fullGroupPictures,
                          const std::vector<PixelBufferPtr>& pictures,
                          const std::atomic<bool>* cancelled = nullptr);
    // Reads a group file whole (a second of pictures is small). Null, and an error naming the
    // file, when it is not a group that can be copied.
    static std::shared_ptr<EncodedPictureGroup> open(const std::string& path,
                                                     ErrorPtr* error = nullptr);
    EncodedPictureGroup();
    ~EncodedPictureGroup() override;

    const std::string& path() const { return _path; }
    int pictureCount() const;
    // How many pictures at most the group's decoding runs ahead of its showing: a group whose
    // pictures are reordered decodes the first of them that many pictures early. 0 for a
    // group shown in decoding order (as a short group may be, whatever the encoder's setup).
    int decodeDelay() const;
    // Whether pictures of both can follow each other in one track: same size and coding
    // parameters.
    bool sameFormatAs(const EncodedPictureGroup& other) const;

    // Media layer internals: the coding parameters, and the packets in decode order with their
    // times in `timeBaseNum`/`timeBaseDen`.
    const AVCodecParameters* parameters() const;
    int packetCount() const;
    const AVPacket* packet(int index) const;
    // How many pictures the decoding of packet `index` runs ahead of the picture shown in its
    // place (the `index`-th earliest).
    int packetLead(int index) const;
    int timeBaseNum() const;
    int timeBaseDen() const;

    struct Impl;

private:
    std::string _path;
    std::unique_ptr<Impl> _impl;
};

using EncodedPictureGroupPtr = std::shared_ptr<EncodedPictureGroup>;

} // namespace tx
