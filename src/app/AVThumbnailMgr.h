// Takes the still picture that stands for a movie: the frame at half its length, upright.
#pragma once

#include "platform/foundation/Object.h"
#include "platform/ui/Image.h"

#include <string>

namespace tx {

class AVThumbnailMgr : public Object {
public:
    // The picture shown halfway through the movie at `movieURL` (a file path), turned as the
    // movie is meant to be shown, at scale 1; null when the file has no picture to take.
    static ImagePtr thumbnail(const std::string& movieURL);
};

} // namespace tx
