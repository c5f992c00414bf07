// What the music library shows of a sound file (title, artist, length from its tags) and whether
// its sound can be decoded at all.
#pragma once

#include "platform/foundation/Error.h"

#include <optional>
#include <string>

namespace tx {

struct SoundFileInfo {
    // The tags' texts; empty where a file has none.
    std::string title;
    std::string artist;
    double durationSeconds = 0;
};

// The facts of a file with a sound track, read from its header and tags (cheap enough to run
// over a whole music folder); nothing when it cannot be opened or has no sound.
std::optional<SoundFileInfo> readSoundFileInfo(const std::string& path);

// Decodes the start of the file's sound: false (and an error saying what and where) when the
// file is missing, has no sound or its sound does not decode.
bool canDecodeSound(const std::string& path, ErrorPtr* error = nullptr);

} // namespace tx
