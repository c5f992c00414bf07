#include "Songs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <numbers>
#include <utility>

namespace tx::synth {

namespace {

constexpr float kPeak = 0.89f; // -1 dBFS
constexpr double kTailSeconds = 1.5;
// Every track equally loud, about -15 LUFS.
constexpr float kTrackRms = 0.13f;

struct Chord {
    int root = 60;              // MIDI note of the root
    std::vector<int> intervals; // semitones above the root

    std::vector<int> tones(int octaveShift = 0) const {
        std::vector<int> out;
        for (int interval : intervals) {
            out.push_back(root + interval + 12 * octaveShift);
        }
        return out;
    }
    bool contains(int midi) const {
        for (int interval : intervals) {
            if (((midi - root - interval) % 12 + 12) % 12 == 0) {
                return true;
            }
        }
        return false;
    }
};

Chord major(int root) {
    return {root, {0, 4, 7}};
}
Chord minor(int root) {
    return {root, {0, 3, 7}};
}
Chord major7(int root) {
    return {root, {0, 4, 7, 11}};
}
Chord minor7(int root) {
    return {root, {0, 3, 7, 10}};
}
Chord dominant7(int root) {
    return {root, {0, 4, 7, 10}};
}

// Notes by instrument, placed in beats; each instrument is a bus with its level and reverb send.
class Song {
public:
    Song(double beatsPerMinute, int beatsPerBar)
        : _secondsPerBeat(60.0 / beatsPerMinute), _beatsPerBar(beatsPerBar) {}

    int beatsPerBar() const { return _beatsPerBar; }
    double barBeat(int bar) const { return static_cast<double>(bar * _beatsPerBar); }

    struct Bus {
        Instrument instrument;
        float level;
        float reverbSend;
    };
    void setBuses(std::initializer_list<Bus> buses) {
        for (const Bus& bus : buses) {
            _buses[bus.instrument] = {bus.level, bus.reverbSend};
        }
    }

    // Calls `body` with each bar's number, chord and first beat.
    template <typename Body> void forEachBar(const std::vector<Chord>& chords, Body body) {
        for (std::size_t bar = 0; bar < chords.size(); ++bar) {
            body(static_cast<int>(bar), chords[bar], barBeat(static_cast<int>(bar)));
        }
    }

    void play(Instrument instrument, double startBeat, double lengthBeats, double midi,
              float velocity, float pan = 0) {
        Note note;
        note.startSeconds = startBeat * _secondsPerBeat;
        note.lengthSeconds = lengthBeats * _secondsPerBeat;
        note.midi = midi;
        note.velocity = velocity;
        note.pan = pan;
        note.instrument = instrument;
        _notes.push_back(note);
    }

    void hit(Instrument drum, double beat, float velocity, float pan = 0) {
        play(drum, beat, 0.25, 0, velocity, pan);
    }

    // The song with its room, cut 1.5 s after the last note ends and faded out.
    Stereo render(double roomSize) const {
        double endSeconds = 0;
        for (const Note& note : _notes) {
            endSeconds = std::max(endSeconds, note.startSeconds + note.lengthSeconds);
        }
        const auto frames = static_cast<std::size_t>((endSeconds + kTailSeconds) * kSampleRate);
        std::map<Instrument, Stereo> buses;
        for (const Note& note : _notes) {
            buses[note.instrument].ensureFrames(frames);
        }
        std::uint32_t seed = 1;
        for (const Note& note : _notes) {
            renderNote(note, buses[note.instrument], seed++ * 2654435761u);
        }
        Stereo dry;
        Stereo send;
        for (const auto& [instrument, bus] : buses) {
            const auto found = _buses.find(instrument);
            const Level level = found != _buses.end() ? found->second : Level{};
            dry.mix(bus, level.level);
            send.mix(bus, level.level * level.send);
        }
        Stereo wet;
        applyReverb(send, wet, static_cast<float>(roomSize), 0.35f);
        wet.mix(dry, 1.0f);
        wet.left.resize(frames);
        wet.right.resize(frames);
        master(wet, kPeak, 0.02, kTailSeconds + 0.5, kTrackRms);
        return wet;
    }

private:
    struct Level {
        float level = 0.5f;
        float send = 0.2f;
    };
    double _secondsPerBeat;
    int _beatsPerBar;
    std::vector<Note> _notes;
    std::map<Instrument, Level> _buses;
};

// Deterministic choices for the melodies (a linear congruential generator).
class Dice {
public:
    explicit Dice(std::uint32_t seed) : _state(seed) {}
    int roll(int sides) {
        _state = _state * 1664525u + 1013904223u;
        return static_cast<int>((_state >> 16) % static_cast<std::uint32_t>(sides));
    }

private:
    std::uint32_t _state;
};

std::vector<int> scaleNotes(int tonic, bool minorKey, int low, int high) {
    static const int kMajor[] = {0, 2, 4, 5, 7, 9, 11};
    static const int kMinor[] = {0, 2, 3, 5, 7, 8, 10};
    std::vector<int> notes;
    for (int midi = low; midi <= high; ++midi) {
        const int degree = ((midi - tonic) % 12 + 12) % 12;
        for (int step : minorKey ? kMinor : kMajor) {
            if (step == degree) {
                notes.push_back(midi);
            }
        }
    }
    return notes;
}

struct Event {
    double beat;   // within the bar
    double length; // in beats
};

// A melody over `chords` (one a bar) with a rhythm a bar; phrases of four bars follow `plan`
// ("AABA": the same letter plays the same phrase again over its own chords). Strong beats take
// chord tones, the others move by step; the last note of a phrase lands on a chord tone.
struct MelodySpec {
    Instrument instrument;
    int firstBar;
    std::string plan;
    std::vector<std::vector<Event>> rhythms; // chosen by bar within the phrase (cycled)
    int tonic;
    bool minorKey;
    int low;
    int high;
    float velocity;
    float pan;
    std::uint32_t seed;
};

void addMelody(Song& song, const std::vector<Chord>& chords, const MelodySpec& spec) {
    const std::vector<int> scale = scaleNotes(spec.tonic, spec.minorKey, spec.low, spec.high);
    for (std::size_t phrase = 0; phrase < spec.plan.size(); ++phrase) {
        Dice dice(spec.seed + static_cast<std::uint32_t>(spec.plan[phrase]) * 7919u);
        int index = static_cast<int>(scale.size()) / 2;
        int direction = dice.roll(2) == 0 ? 1 : -1;
        for (int barInPhrase = 0; barInPhrase < 4; ++barInPhrase) {
            const int bar = spec.firstBar + static_cast<int>(phrase) * 4 + barInPhrase;
            if (bar >= static_cast<int>(chords.size())) {
                return;
            }
            const Chord& chord = chords[static_cast<std::size_t>(bar)];
            const auto& rhythm =
                spec.rhythms[static_cast<std::size_t>(barInPhrase) % spec.rhythms.size()];
            const int top = static_cast<int>(scale.size()) - 1;
            // The chord tone nearest `from`, looking first in the direction of travel.
            auto chordToneNear = [&](int from, bool rootOnly) {
                for (int distance = 0; distance <= 7; ++distance) {
                    for (int sign : {direction, -direction}) {
                        const int candidate = from + sign * distance;
                        if (candidate < 0 || candidate > top) {
                            continue;
                        }
                        const int midi = scale[static_cast<std::size_t>(candidate)];
                        const bool fits =
                            rootOnly ? (midi - chord.root) % 12 == 0 : chord.contains(midi);
                        if (fits) {
                            return candidate;
                        }
                    }
                }
                return from;
            };
            for (std::size_t e = 0; e < rhythm.size(); ++e) {
                const Event& event = rhythm[e];
                const bool strong = std::fmod(event.beat, 1.0) == 0.0;
                const bool last = barInPhrase == 3 && e + 1 == rhythm.size();
                if (strong || last) {
                    // A leap of one to three steps onto a chord tone; a phrase ends on the root.
                    const int target = std::clamp(index + direction * (1 + dice.roll(3)), 0, top);
                    index = chordToneNear(target, last);
                } else {
                    // Passing notes move by step, now and then by a third.
                    index = std::clamp(index + direction * (dice.roll(4) == 0 ? 2 : 1), 0, top);
                }
                if (index <= 2) {
                    direction = 1;
                } else if (index >= top - 2) {
                    direction = -1;
                } else if (dice.roll(4) == 0) {
                    direction = -direction;
                }
                const float accent = strong ? 1.0f : 0.8f;
                song.play(spec.instrument, song.barBeat(bar) + event.beat, event.length,
                          scale[static_cast<std::size_t>(index)], spec.velocity * accent, spec.pan);
            }
        }
    }
}

std::vector<Chord> repeatChords(const std::vector<Chord>& cycle, int bars) {
    std::vector<Chord> out;
    for (int bar = 0; bar < bars; ++bar) {
        out.push_back(cycle[static_cast<std::size_t>(bar) % cycle.size()]);
    }
    return out;
}

// C major, 112 bpm: nylon-string arpeggios, an electric piano tune, bass and light drums.
Stereo sunnySteps() {
    Song song(112, 4);
    const int bars = 16;
    const auto chords = repeatChords({major(60), major(55), minor(57), major(53)}, bars);
    song.setBuses({{Instrument::Pluck, 0.5f, 0.25f},
                   {Instrument::EPiano, 0.35f, 0.3f},
                   {Instrument::Bass, 0.55f, 0.05f},
                   {Instrument::Kick, 0.6f, 0.05f},
                   {Instrument::Snare, 0.3f, 0.2f},
                   {Instrument::HiHat, 0.15f, 0.1f}});
    const int arp[] = {0, 1, 2, 1, 3, 2, 1, 2};
    song.forEachBar(chords, [&](int bar, const Chord& chord, double at) {
        std::vector<int> tones = chord.tones();
        tones.push_back(chord.root + 12);
        for (int step = 0; step < 8; ++step) {
            song.play(Instrument::Pluck, at + step * 0.5, 0.5,
                      tones[static_cast<std::size_t>(arp[step])], step % 2 == 0 ? 0.9f : 0.7f,
                      0.3f);
        }
        song.play(Instrument::Bass, at, 1.5, chord.root - 24, 0.9f);
        song.play(Instrument::Bass, at + 2, 1.0, chord.root - 24, 0.8f);
        song.play(Instrument::Bass, at + 3.5, 0.5, chord.root - 12, 0.7f);
        if (bar >= 4 && bar < bars - 1) {
            for (int beat = 0; beat < 4; ++beat) {
                song.hit(beat % 2 == 0 ? Instrument::Kick : Instrument::Snare, at + beat, 0.9f);
                song.hit(Instrument::HiHat, at + beat, 0.6f, -0.3f);
                song.hit(Instrument::HiHat, at + beat + 0.5, 0.4f, -0.3f);
            }
        }
    });
    song.play(Instrument::EPiano, song.barBeat(bars), 3, 60, 0.6f);
    song.play(Instrument::Pluck, song.barBeat(bars), 3, 48, 0.8f);
    addMelody(song, chords,
              {Instrument::EPiano,
               4,
               "AABA",
               {{{0, 1}, {1, 0.5}, {1.5, 1.5}, {3, 1}},
                {{0, 1.5}, {1.5, 0.5}, {2, 2}},
                {{0, 0.5}, {0.5, 0.5}, {1, 1}, {2, 1}, {3, 1}},
                {{0, 3}}},
               60,
               false,
               67,
               84,
               0.7f,
               -0.2f,
               11});
    return song.render(0.78);
}

// A minor, 96 bpm: a warm pad, pulsing bass, a square-wave tune and hand claps.
Stereo nightDrive() {
    Song song(96, 4);
    const int bars = 12;
    const auto chords = repeatChords({minor(57), major(53), major(60), major(55)}, bars);
    song.setBuses({{Instrument::Pad, 0.45f, 0.4f},
                   {Instrument::Bass, 0.55f, 0.05f},
                   {Instrument::Pluck, 0.25f, 0.45f},
                   {Instrument::Lead, 0.4f, 0.35f},
                   {Instrument::Kick, 0.6f, 0.05f},
                   {Instrument::Clap, 0.35f, 0.3f},
                   {Instrument::HiHat, 0.18f, 0.1f}});
    song.forEachBar(chords, [&](int bar, const Chord& chord, double at) {
        for (int tone : chord.tones()) {
            song.play(Instrument::Pad, at, 4, tone, 0.5f, tone % 2 == 0 ? -0.4f : 0.4f);
        }
        for (int step = 0; step < 8; ++step) {
            song.play(Instrument::Bass, at + step * 0.5, 0.4, chord.root - 24,
                      step % 2 == 0 ? 0.9f : 0.6f);
        }
        const auto tones = chord.tones(1);
        for (int step = 0; step < 16; ++step) {
            song.play(Instrument::Pluck, at + step * 0.25, 0.25,
                      tones[static_cast<std::size_t>(step % 3)], 0.5f,
                      step % 2 == 0 ? 0.6f : -0.6f);
        }
        if (bar >= 2 && bar < bars - 1) {
            for (int beat = 0; beat < 4; ++beat) {
                song.hit(beat % 2 == 0 ? Instrument::Kick : Instrument::Clap, at + beat, 0.9f);
                for (int sixteenth = 0; sixteenth < 4; ++sixteenth) {
                    song.hit(Instrument::HiHat, at + beat + sixteenth * 0.25,
                             sixteenth == 2 ? 0.6f : 0.3f, 0.3f);
                }
            }
        }
    });
    song.play(Instrument::Pad, song.barBeat(bars), 2, 57, 0.5f);
    song.play(Instrument::Bass, song.barBeat(bars), 2, 33, 0.8f);
    addMelody(song, chords,
              {Instrument::Lead,
               4,
               "AB",
               {{{0, 1.5}, {1.5, 1.5}, {3, 1}},
                {{0, 0.5}, {0.5, 0.5}, {1, 2}, {3, 0.5}, {3.5, 0.5}},
                {{0, 2}, {2, 2}},
                {{0, 4}}},
               57,
               true,
               64,
               81,
               0.8f,
               0.0f,
               23});
    return song.render(0.84);
}

// F major waltz, 132 bpm: a music box over a soft pad, no drums.
Stereo musicBoxWaltz() {
    Song song(132, 3);
    const int bars = 24;
    const std::vector<Chord> cycle = {major(53), minor(50), major(58), major(60),
                                      major(53), minor(57), major(58), dominant7(60)};
    const auto chords = repeatChords(cycle, bars);
    song.setBuses({{Instrument::MusicBox, 0.5f, 0.45f},
                   {Instrument::Pad, 0.25f, 0.5f},
                   {Instrument::Marimba, 0.35f, 0.3f}});
    song.forEachBar(chords, [&](int bar, const Chord& chord, double at) {
        song.play(Instrument::Marimba, at, 1, chord.root - 12, 0.9f, -0.2f);
        const auto tones = chord.tones();
        for (int beat = 1; beat < 3; ++beat) {
            for (std::size_t t = 1; t < tones.size(); ++t) {
                song.play(Instrument::Marimba, at + beat, 0.8, tones[t], 0.45f, 0.2f);
            }
        }
        if (bar % 2 == 0) {
            for (int tone : tones) {
                song.play(Instrument::Pad, at, 6, tone, 0.35f, 0.0f);
            }
        }
    });
    song.play(Instrument::MusicBox, song.barBeat(bars), 3, 77, 0.8f);
    song.play(Instrument::Marimba, song.barBeat(bars), 3, 41, 0.8f);
    song.play(Instrument::Pad, song.barBeat(bars), 3, 53, 0.4f);
    addMelody(song, chords,
              {Instrument::MusicBox,
               0,
               "AABAAB",
               {{{0, 1}, {1, 0.5}, {1.5, 0.5}, {2, 1}},
                {{0, 2}, {2, 1}},
                {{0, 1}, {1, 1}, {2, 1}},
                {{0, 3}}},
               53,
               false,
               72,
               89,
               0.75f,
               0.15f,
               37});
    return song.render(0.86);
}

// G major, 120 bpm: bouncing marimbas, a plucked bass and a shaker.
Stereo marimbaBounce() {
    Song song(120, 4);
    const int bars = 16;
    const auto chords = repeatChords({major(55), minor(52), major(48), major(50)}, bars);
    song.setBuses({{Instrument::Marimba, 0.5f, 0.25f},
                   {Instrument::Bass, 0.5f, 0.05f},
                   {Instrument::Shaker, 0.3f, 0.15f},
                   {Instrument::Kick, 0.5f, 0.05f},
                   {Instrument::Clap, 0.25f, 0.25f},
                   {Instrument::MusicBox, 0.3f, 0.35f}});
    // Off-beat accents: a syncopated figure of eighths.
    const double figure[] = {0, 0.5, 1.5, 2, 2.5, 3.5};
    song.forEachBar(chords, [&](int bar, const Chord& chord, double at) {
        const auto tones = chord.tones(1);
        for (std::size_t i = 0; i < std::size(figure); ++i) {
            song.play(Instrument::Marimba, at + figure[i], 0.5, tones[i % tones.size()],
                      i == 0 ? 0.9f : 0.7f, i % 2 == 0 ? -0.35f : 0.35f);
        }
        song.play(Instrument::Bass, at, 0.5, chord.root - 12, 0.9f);
        song.play(Instrument::Bass, at + 1.5, 0.5, chord.root - 12, 0.7f);
        song.play(Instrument::Bass, at + 3, 0.5, chord.root - 5, 0.7f);
        if (bar >= 2 && bar < bars - 1) {
            for (int eighth = 0; eighth < 8; ++eighth) {
                song.hit(Instrument::Shaker, at + eighth * 0.5, eighth % 2 == 1 ? 0.9f : 0.5f,
                         0.4f);
            }
            song.hit(Instrument::Kick, at, 0.9f);
            song.hit(Instrument::Kick, at + 2.5, 0.6f);
            song.hit(Instrument::Clap, at + 3, 0.7f);
        }
    });
    song.play(Instrument::Marimba, song.barBeat(bars), 2, 67, 0.9f);
    song.play(Instrument::Bass, song.barBeat(bars), 2, 43, 0.9f);
    addMelody(song, chords,
              {Instrument::MusicBox,
               4,
               "ABA",
               {{{0, 0.5}, {0.5, 1}, {1.5, 0.5}, {2, 1}, {3, 1}},
                {{0, 1}, {1, 0.5}, {1.5, 2.5}},
                {{0, 0.5}, {0.5, 0.5}, {1, 0.5}, {1.5, 0.5}, {2, 2}},
                {{0, 2}, {2, 2}}},
               55,
               false,
               74,
               91,
               0.6f,
               0.1f,
               53});
    return song.render(0.75);
}

// D major, 72 bpm with a lazy swing: electric piano seventh chords, soft drums, a sparse tune.
Stereo slowGlow() {
    Song song(72, 4);
    const int bars = 10;
    const auto chords = repeatChords({major7(62), minor7(59), major7(55), dominant7(57)}, bars);
    song.setBuses({{Instrument::EPiano, 0.45f, 0.35f},
                   {Instrument::Bass, 0.5f, 0.05f},
                   {Instrument::Kick, 0.45f, 0.05f},
                   {Instrument::Snare, 0.22f, 0.3f},
                   {Instrument::HiHat, 0.16f, 0.15f},
                   {Instrument::Pluck, 0.4f, 0.45f}});
    const double swing = 0.66; // the off-beat eighth comes late
    song.forEachBar(chords, [&](int bar, const Chord& chord, double at) {
        for (int tone : chord.tones()) {
            song.play(Instrument::EPiano, at, 1.6, tone, 0.45f, -0.15f);
            song.play(Instrument::EPiano, at + 2 + swing, 1.2, tone, 0.35f, -0.15f);
        }
        song.play(Instrument::Bass, at, 1.5, chord.root - 24, 0.9f);
        song.play(Instrument::Bass, at + 2.5, 1.0, chord.root - 17, 0.7f);
        if (bar >= 1 && bar < bars - 1) {
            song.hit(Instrument::Kick, at, 0.9f);
            song.hit(Instrument::Kick, at + 2 + swing, 0.6f);
            song.hit(Instrument::Snare, at + 1, 0.8f);
            song.hit(Instrument::Snare, at + 3, 0.8f);
            for (int beat = 0; beat < 4; ++beat) {
                song.hit(Instrument::HiHat, at + beat, 0.6f, 0.3f);
                song.hit(Instrument::HiHat, at + beat + swing, 0.4f, 0.3f);
            }
        }
    });
    for (int tone : major7(62).tones()) {
        song.play(Instrument::EPiano, song.barBeat(bars), 4, tone, 0.45f);
    }
    song.play(Instrument::Bass, song.barBeat(bars), 3, 38, 0.8f);
    addMelody(song, chords,
              {Instrument::Pluck,
               1,
               "AB",
               {{{0, 1}, {1 + swing, 1.4}, {3, 1}},
                {{0.66, 0.5}, {1, 3}},
                {{0, 0.66}, {0.66, 0.34}, {1, 1}, {2, 2}},
                {{0, 4}}},
               62,
               false,
               69,
               86,
               0.8f,
               0.25f,
               71});
    return song.render(0.85);
}

// E minor, 140 bpm: driving eighth-note bass, a bright lead, pad and full drums.
Stereo upbeatChase() {
    Song song(140, 4);
    const int bars = 18;
    const auto chords = repeatChords({minor(52), major(48), major(55), major(50)}, bars);
    song.setBuses({{Instrument::Bass, 0.55f, 0.05f},
                   {Instrument::Lead, 0.45f, 0.25f},
                   {Instrument::Pad, 0.3f, 0.35f},
                   {Instrument::Kick, 0.65f, 0.03f},
                   {Instrument::Snare, 0.4f, 0.2f},
                   {Instrument::HiHat, 0.25f, 0.1f},
                   {Instrument::Pluck, 0.25f, 0.3f}});
    song.forEachBar(chords, [&](int bar, const Chord& chord, double at) {
        for (int step = 0; step < 8; ++step) {
            const int midi = chord.root - 24 + (step == 6 ? 12 : 0);
            song.play(Instrument::Bass, at + step * 0.5, 0.45, midi, step % 2 == 0 ? 0.95f : 0.7f);
        }
        for (int tone : chord.tones(1)) {
            song.play(Instrument::Pad, at, 4, tone, 0.4f, 0.0f);
        }
        if (bar >= 2 && bar < bars - 1) {
            for (int beat = 0; beat < 4; ++beat) {
                song.hit(Instrument::Kick, at + beat, 0.9f);
                if (beat % 2 == 1) {
                    song.hit(Instrument::Snare, at + beat, 0.9f);
                }
                song.hit(Instrument::HiHat, at + beat + 0.5, 0.7f, 0.3f);
            }
        } else if (bar < 2) {
            const auto tones = chord.tones(2);
            for (int step = 0; step < 8; ++step) {
                song.play(Instrument::Pluck, at + step * 0.5, 0.5,
                          tones[static_cast<std::size_t>(step % 3)], 0.7f, 0.4f);
            }
        }
    });
    song.play(Instrument::Bass, song.barBeat(bars), 2, 28, 0.9f);
    song.hit(Instrument::Kick, song.barBeat(bars), 1.0f);
    song.play(Instrument::Pad, song.barBeat(bars), 2, 64, 0.5f);
    addMelody(song, chords,
              {Instrument::Lead,
               2,
               "AABA",
               {{{0, 0.5}, {0.5, 0.5}, {1, 0.5}, {1.5, 1}, {2.5, 0.5}, {3, 1}},
                {{0, 1.5}, {1.5, 0.5}, {2, 0.5}, {2.5, 1.5}},
                {{0, 0.5}, {0.5, 0.5}, {1, 1}, {2, 0.5}, {2.5, 0.5}, {3, 1}},
                {{0, 2}, {2, 2}}},
               52,
               true,
               64,
               83,
               0.75f,
               -0.1f,
               97});
    return song.render(0.72);
}

// A short mono gesture rendered by a function of time, mastered like the tracks.
Stereo gesture(double seconds, const std::function<double(double, double)>& sample, double room) {
    Stereo dry;
    const auto frames = static_cast<std::size_t>(seconds * kSampleRate);
    dry.ensureFrames(frames);
    std::uint32_t noiseState = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        noiseState = noiseState * 1664525u + 1013904223u;
        const double noise = static_cast<double>(noiseState >> 8) / 8388608.0 - 1.0;
        dry.add(i, static_cast<float>(sample(static_cast<double>(i) / kSampleRate, noise)), 0.0f);
    }
    Stereo out = dry;
    if (room > 0) {
        Stereo wet;
        applyReverb(dry, wet, static_cast<float>(room), 0.5f);
        out.mix(wet, 0.25f);
        out.left.resize(frames);
        out.right.resize(frames);
    }
    master(out, kPeak, 0.001, 0.01);
    return out;
}

// A soft whoosh that opens onto a rising two-note chime.
Stereo doorOpen() {
    constexpr double kDoorSeconds = 1.8;
    Song chime(120, 4);
    chime.setBuses({{Instrument::MusicBox, 0.35f, 0.4f}});
    chime.play(Instrument::MusicBox, 0.5, 0.5, 79, 0.8f, -0.2f);
    chime.play(Instrument::MusicBox, 0.9, 0.8, 84, 0.9f, 0.2f);
    Stereo bell = chime.render(0.7);
    double band = 0;
    double low = 0;
    Stereo whoosh = gesture(
        1.3,
        [&](double t, double noise) {
            const double cutoff =
                300.0 + 2800.0 * std::sin(std::numbers::pi * std::min(1.0, t / 1.1));
            const double f = 2.0 * std::sin(std::numbers::pi * cutoff / kSampleRate);
            const double high = noise - low - 0.7 * band;
            band += f * high;
            low += f * band;
            const double shape = std::sin(std::numbers::pi * std::min(1.0, t / 1.2));
            return band * shape * shape;
        },
        0.0);
    whoosh.mix(bell, 0.7f);
    const auto frames = static_cast<std::size_t>(kDoorSeconds * kSampleRate);
    whoosh.left.resize(frames);
    whoosh.right.resize(frames);
    master(whoosh, kPeak, 0.001, 0.3);
    return whoosh;
}

// A quick airy swish, meant to be played very quietly.
Stereo navigation() {
    double band = 0;
    double low = 0;
    return gesture(
        0.28,
        [&](double t, double noise) {
            const double cutoff = 1800.0 + 5000.0 * t / 0.28;
            const double f = 2.0 * std::sin(std::numbers::pi * cutoff / kSampleRate);
            const double high = noise - low - 0.5 * band;
            band += f * high;
            low += f * band;
            return band * std::sin(std::numbers::pi * t / 0.28);
        },
        0.3);
}

// A short wooden tick.
Stereo buttonClick() {
    return gesture(
        0.09,
        [](double t, double noise) {
            return std::sin(2.0 * std::numbers::pi * 1250.0 * t) * std::exp(-t / 0.012) +
                   0.4 * noise * std::exp(-t / 0.0015);
        },
        0.0);
}

// Two rising beeps, the second a fifth above the first.
Stereo recordingBeep() {
    return gesture(
        0.42,
        [](double t, double) {
            auto beep = [](double local, double hz, double length) {
                if (local < 0 || local > length) {
                    return 0.0;
                }
                const double edge = std::min({1.0, local / 0.008, (length - local) / 0.03});
                return std::sin(2.0 * std::numbers::pi * hz * local) * edge;
            };
            return beep(t, 880.0, 0.13) + beep(t - 0.17, 1320.0, 0.22);
        },
        0.2);
}

} // namespace

std::vector<Piece> musicTracks() {
    return {{"SunnySteps", sunnySteps},       {"NightDrive", nightDrive},
            {"MusicBoxWaltz", musicBoxWaltz}, {"MarimbaBounce", marimbaBounce},
            {"SlowGlow", slowGlow},           {"UpbeatChase", upbeatChase}};
}

std::vector<Piece> interfaceSounds() {
    return {{"Default_door_open", doorOpen},
            {"Navigation3", navigation},
            {"Button_click", buttonClick},
            {"recording", recordingBeep}};
}

} // namespace tx::synth
