// The small synthesizer behind Taluvex's own sounds: a few instruments, a sequencer of notes,
// a room reverb and a master stage, rendering stereo 44.1 kHz sound.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tx::synth {

constexpr int kSampleRate = 44100;

struct Stereo {
    std::vector<float> left;
    std::vector<float> right;

    std::size_t frames() const { return left.size(); }
    void ensureFrames(std::size_t frames);
    // Adds a mono sample at `frame`, placed by `pan` (-1 left … +1 right, equal power).
    void add(std::size_t frame, float sample, float pan);
    void mix(const Stereo& other, float gain);
};

enum class Instrument {
    Pluck,    // plucked string (Karplus-Strong)
    EPiano,   // bell-like electric piano (two-operator FM)
    Pad,      // slow detuned saw pad through a low-pass filter
    Bass,     // round synth bass
    MusicBox, // high tines with inharmonic overtones
    Marimba,  // wooden bar
    Lead,     // soft square lead with vibrato
    Kick,
    Snare,
    HiHat,
    Clap,
    Shaker,
};

struct Note {
    double startSeconds = 0;
    double lengthSeconds = 0;
    double midi = 60;   // pitch as a MIDI note number (ignored by drums)
    float velocity = 1; // 0 … 1
    float pan = 0;
    Instrument instrument = Instrument::Pluck;
};

// Renders `note` into `out` (dry); the noise of drums comes from `seed`.
void renderNote(const Note& note, Stereo& out, std::uint32_t seed);

// A stereo room: parallel combs and series all-passes per side.
void applyReverb(const Stereo& dry, Stereo& wet, float roomSize, float damping);

// Brings the sound to `targetRms` (or, when it is 0, its loudest moment just above `peak`),
// limits softly at `peak` and fades at both ends.
void master(Stereo& sound, float peak, double fadeInSeconds, double fadeOutSeconds,
            float targetRms = 0);

// 16-bit stereo WAV.
bool writeWav(const Stereo& sound, const std::string& path);

} // namespace tx::synth
