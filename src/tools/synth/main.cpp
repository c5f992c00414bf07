// taluvex-synth: writes Taluvex's built-in music tracks and interface sounds as WAV files.
#include "Songs.h"

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::fprintf(stderr, "usage: taluvex-synth OUTPUT-FOLDER\n"
                             "Writes the six music tracks and the four interface sounds as\n"
                             "44.1 kHz 16-bit stereo WAV files into OUTPUT-FOLDER.\n");
        return argc == 2 ? 0 : 2;
    }
    const std::string folder = argv[1];
    int failures = 0;
    for (const auto& list : {tx::synth::musicTracks(), tx::synth::interfaceSounds()}) {
        for (const tx::synth::Piece& piece : list) {
            const std::string path = folder + "/" + piece.fileName + ".wav";
            const tx::synth::Stereo sound = piece.make();
            if (!tx::synth::writeWav(sound, path)) {
                std::fprintf(stderr, "taluvex-synth: cannot write %s\n", path.c_str());
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
