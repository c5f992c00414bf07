// The six built-in music tracks and the four interface sounds, composed for the synthesizer.
#pragma once

#include "Synth.h"

#include <functional>
#include <string>
#include <vector>

namespace tx::synth {

struct Piece {
    std::string fileName; // without extension
    std::function<Stereo()> make;
};

std::vector<Piece> musicTracks();
std::vector<Piece> interfaceSounds();

} // namespace tx::synth
