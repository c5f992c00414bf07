#include "Synth.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <utility>

namespace tx::synth {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

double midiToHz(double midi) {
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

// A small deterministic noise source (xorshift), so every build makes the same sounds.
class Noise {
public:
    explicit Noise(std::uint32_t seed) : _state(seed == 0 ? 0x9E3779B9u : seed) {}
    float next() {
        _state ^= _state << 13;
        _state ^= _state >> 17;
        _state ^= _state << 5;
        return static_cast<float>(_state) / 2147483648.0f - 1.0f;
    }

private:
    std::uint32_t _state;
};

// Band-limited step correction for the saw and square oscillators.
double polyBlep(double t, double dt) {
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

struct Saw {
    double phase = 0;
    double next(double hz) {
        const double dt = hz / kSampleRate;
        double value = 2.0 * phase - 1.0 - polyBlep(phase, dt);
        phase += dt;
        phase -= std::floor(phase);
        return value;
    }
};

struct Square {
    double phase = 0;
    double next(double hz) {
        const double dt = hz / kSampleRate;
        double value = phase < 0.5 ? 1.0 : -1.0;
        value += polyBlep(phase, dt);
        value -= polyBlep(std::fmod(phase + 0.5, 1.0), dt);
        phase += dt;
        phase -= std::floor(phase);
        return value;
    }
};

// A sine that rotates a unit vector each sample instead of calling sin().
struct Phasor {
    double c = 1;
    double s = 0;
    double cosStep = 1;
    double sinStep = 0;
    explicit Phasor(double hz)
        : cosStep(std::cos(kTwoPi * hz / kSampleRate)),
          sinStep(std::sin(kTwoPi * hz / kSampleRate)) {}
    double next() {
        const double value = s;
        const double nc = c * cosStep - s * sinStep;
        s = s * cosStep + c * sinStep;
        c = nc;
        return value;
    }
};

// exp(-t / seconds), advanced one sample at a time.
struct Decay {
    double level = 1;
    double factor = 1;
    explicit Decay(double seconds) : factor(std::exp(-1.0 / (seconds * kSampleRate))) {}
    double next() {
        const double value = level;
        level *= factor;
        return value;
    }
};

// A partial of a struck instrument: a sine with its own decay.
struct Partial {
    Phasor sine;
    Decay decay;
    double gain;
    Partial(double hz, double decaySeconds, double gain)
        : sine(hz), decay(decaySeconds), gain(gain) {}
    double next() { return gain * sine.next() * decay.next(); }
};

// Chamberlin state-variable filter (low-pass and band-pass outputs).
struct Svf {
    double low = 0;
    double band = 0;
    void run(double input, double cutoffHz, double q) {
        // The small-angle form of 2 sin(pi fc / fs), close enough below fs / 6.
        const double f =
            2.0 * std::numbers::pi * std::min(cutoffHz, kSampleRate / 6.0) / kSampleRate;
        const double damp = 1.0 / q;
        const double high = input - low - damp * band;
        band += f * high;
        low += f * band;
    }
};

// Attack, then exponential decay with time constant `decaySeconds`, then a short release.
double envelope(double t, double lengthSeconds, double attackSeconds, double decaySeconds,
                double releaseSeconds) {
    if (t < 0) {
        return 0;
    }
    double level =
        t < attackSeconds ? t / attackSeconds : std::exp(-(t - attackSeconds) / decaySeconds);
    if (t > lengthSeconds) {
        level *= std::max(0.0, 1.0 - (t - lengthSeconds) / releaseSeconds);
    }
    return level;
}

// How long an instrument keeps sounding after the note's nominal length.
double ringSeconds(Instrument instrument) {
    switch (instrument) {
    case Instrument::Pluck:
        return 1.2;
    case Instrument::EPiano:
        return 1.5;
    case Instrument::Pad:
        return 0.8;
    case Instrument::Bass:
        return 0.08;
    case Instrument::MusicBox:
        return 1.6;
    case Instrument::Marimba:
        return 0.7;
    case Instrument::Lead:
        return 0.12;
    default:
        return 0.0;
    }
}

double drumSeconds(Instrument instrument) {
    switch (instrument) {
    case Instrument::Kick:
        return 0.45;
    case Instrument::Snare:
        return 0.3;
    case Instrument::HiHat:
        return 0.12;
    case Instrument::Clap:
        return 0.35;
    case Instrument::Shaker:
        return 0.12;
    default:
        return 0.0;
    }
}

bool isDrum(Instrument instrument) {
    return drumSeconds(instrument) > 0;
}

// Equal-power placement, unity in the middle.
std::pair<float, float> panGains(float pan) {
    const double angle = (static_cast<double>(pan) + 1.0) * std::numbers::pi / 4.0;
    return {static_cast<float>(std::cos(angle) * std::numbers::sqrt2),
            static_cast<float>(std::sin(angle) * std::numbers::sqrt2)};
}

void renderPluck(const Note& note, std::vector<float>& out, Noise& noise) {
    const double hz = midiToHz(note.midi);
    const auto period = static_cast<std::size_t>(std::max(2.0, kSampleRate / hz));
    std::vector<float> line(period);
    // A burst of noise, softened twice, gives a warm, nylon-like attack.
    for (float& sample : line) {
        sample = noise.next();
    }
    for (int pass = 0; pass < 2; ++pass) {
        float previous = line.back();
        for (float& sample : line) {
            const float fresh = sample;
            sample = 0.5f * (fresh + previous);
            previous = fresh;
        }
    }
    const double decay = 0.996;
    std::size_t index = 0;
    const std::size_t noteFrames = static_cast<std::size_t>(note.lengthSeconds * kSampleRate);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::size_t nextIndex = (index + 1) % period;
        const float value = line[index];
        line[index] = static_cast<float>(decay * 0.5 * (line[index] + line[nextIndex]));
        index = nextIndex;
        double damp = 1.0;
        if (i > noteFrames) {
            damp = std::exp(-static_cast<double>(i - noteFrames) / (0.25 * kSampleRate));
        }
        out[i] = static_cast<float>(value * damp);
    }
}

void renderTonal(const Note& note, std::vector<float>& out) {
    const double hz = midiToHz(note.midi);
    const double length = note.lengthSeconds;
    Saw sawA;
    Saw sawB;
    Saw sawC;
    Square square;
    Svf filter;
    double phase = 0;
    Phasor modulator(hz);
    Decay brightness(0.25);
    // Music box: high tines with inharmonic overtones; marimba: a wooden bar's partials.
    const bool box = note.instrument == Instrument::MusicBox;
    Partial struck[3] = {Partial(hz, box ? 0.9 : 0.35, 1.0),
                         Partial(hz * (box ? 3.0 : 4.0), box ? 0.3 : 0.06, box ? 0.25 : 0.3),
                         Partial(hz * (box ? 5.4 : 9.9), box ? 0.08 : 0.015, box ? 0.15 : 0.1)};
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        double value = 0;
        switch (note.instrument) {
        case Instrument::EPiano: {
            const double index = 0.3 + 2.2 * brightness.next();
            phase += hz / kSampleRate;
            value = std::sin(kTwoPi * phase + index * modulator.next()) *
                    envelope(t, length, 0.004, 1.1, 0.3);
            break;
        }
        case Instrument::Pad: {
            const double raw =
                (sawA.next(hz * 0.996) + sawB.next(hz) + sawC.next(hz * 1.005)) / 3.0;
            filter.run(raw, 900.0 + 500.0 * std::sin(kTwoPi * 0.2 * t), 0.8);
            const double attack = std::min(1.0, t / 0.35);
            double level = attack;
            if (t > length) {
                level *= std::max(0.0, 1.0 - (t - length) / 0.8);
            }
            value = filter.low * level;
            break;
        }
        case Instrument::Bass: {
            const double raw = 0.7 * modulator.next() + 0.35 * sawA.next(hz);
            filter.run(raw, 250.0 + 900.0 * std::exp(-t / 0.08), 1.2);
            value = filter.low * envelope(t, length, 0.005, 0.9, 0.08);
            break;
        }
        case Instrument::MusicBox:
        case Instrument::Marimba:
            value = struck[0].next() + struck[1].next() + struck[2].next();
            value *= std::min(1.0, t / (note.instrument == Instrument::MusicBox ? 0.002 : 0.001));
            break;
        case Instrument::Lead: {
            const double vibrato =
                1.0 + 0.004 * std::sin(kTwoPi * 5.5 * t) * std::min(1.0, t / 0.3);
            filter.run(square.next(hz * vibrato), 1800.0 + 1400.0 * std::exp(-t / 0.15), 0.9);
            value = 0.6 * filter.low * envelope(t, length, 0.01, 2.5, 0.12);
            break;
        }
        default:
            break;
        }
        out[i] = static_cast<float>(value);
    }
}

void renderDrum(const Note& note, std::vector<float>& out, Noise& noise) {
    Svf filter;
    Svf highPass;
    double phase = 0;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double t = static_cast<double>(i) / kSampleRate;
        double value = 0;
        switch (note.instrument) {
        case Instrument::Kick: {
            const double hz = 45.0 + 110.0 * std::exp(-t / 0.035);
            phase += hz / kSampleRate;
            value = std::sin(kTwoPi * phase) * std::exp(-t / 0.16) +
                    0.3 * noise.next() * std::exp(-t / 0.003);
            break;
        }
        case Instrument::Snare: {
            phase += 185.0 / kSampleRate;
            filter.run(noise.next(), 3500.0, 0.7);
            value = 0.45 * std::sin(kTwoPi * phase) * std::exp(-t / 0.05) +
                    0.8 * filter.band * std::exp(-t / 0.09);
            break;
        }
        case Instrument::HiHat: {
            const double input = noise.next();
            highPass.run(input, 7000.0, 0.7);
            value = 0.5 * (input - highPass.low) * std::exp(-t / 0.025);
            break;
        }
        case Instrument::Clap: {
            filter.run(noise.next(), 1400.0, 1.5);
            // Three quick bursts, then a short tail, like hands of several people.
            const double burst = std::fmod(t, 0.011) < 0.006 && t < 0.033 ? 1.0 : 0.0;
            value = filter.band * (burst * std::exp(-std::fmod(t, 0.011) / 0.004) +
                                   0.6 * std::exp(-t / 0.08) * (t >= 0.033 ? 1.0 : 0.0));
            break;
        }
        case Instrument::Shaker: {
            const double input = noise.next();
            highPass.run(input, 5000.0, 0.7);
            const double shape = std::sin(std::numbers::pi * std::min(1.0, t / 0.1));
            value = 0.35 * (input - highPass.low) * shape * shape;
            break;
        }
        default:
            break;
        }
        out[i] = static_cast<float>(value);
    }
}

} // namespace

void Stereo::ensureFrames(std::size_t frames) {
    if (left.size() < frames) {
        left.resize(frames, 0.0f);
        right.resize(frames, 0.0f);
    }
}

void Stereo::add(std::size_t frame, float sample, float pan) {
    ensureFrames(frame + 1);
    const auto [leftGain, rightGain] = panGains(pan);
    left[frame] += sample * leftGain;
    right[frame] += sample * rightGain;
}

void Stereo::mix(const Stereo& other, float gain) {
    ensureFrames(other.frames());
    for (std::size_t i = 0; i < other.frames(); ++i) {
        left[i] += gain * other.left[i];
        right[i] += gain * other.right[i];
    }
}

void renderNote(const Note& note, Stereo& out, std::uint32_t seed) {
    const double seconds = isDrum(note.instrument)
                               ? drumSeconds(note.instrument)
                               : note.lengthSeconds + ringSeconds(note.instrument);
    // One buffer for all voices: allocating (and zeroing) it per note dominated the run time.
    static std::vector<float> voice;
    voice.assign(static_cast<std::size_t>(seconds * kSampleRate), 0.0f);
    Noise noise(seed);
    if (note.instrument == Instrument::Pluck) {
        renderPluck(note, voice, noise);
    } else if (isDrum(note.instrument)) {
        renderDrum(note, voice, noise);
    } else {
        renderTonal(note, voice);
    }
    const auto start = static_cast<std::size_t>(note.startSeconds * kSampleRate);
    out.ensureFrames(start + voice.size());
    const auto [leftGain, rightGain] = panGains(note.pan);
    for (std::size_t i = 0; i < voice.size(); ++i) {
        out.left[start + i] += voice[i] * note.velocity * leftGain;
        out.right[start + i] += voice[i] * note.velocity * rightGain;
    }
}

void applyReverb(const Stereo& dry, Stereo& wet, float roomSize, float damping) {
    // Delay lengths in samples at 44.1 kHz, as in the classic Schroeder-Moorer room.
    static constexpr std::array<int, 4> kCombs = {1116, 1277, 1422, 1557};
    static constexpr std::array<int, 2> kAllPasses = {556, 341};
    constexpr int kStereoSpread = 23;
    const std::size_t tail = static_cast<std::size_t>(2.0 * kSampleRate);
    wet.left.assign(dry.frames() + tail, 0.0f);
    wet.right.assign(dry.frames() + tail, 0.0f);
    for (int side = 0; side < 2; ++side) {
        const std::vector<float>& input = side == 0 ? dry.left : dry.right;
        std::vector<float>& output = side == 0 ? wet.left : wet.right;
        const int spread = side * kStereoSpread;
        for (int length : kCombs) {
            std::vector<float> line(static_cast<std::size_t>(length + spread), 0.0f);
            std::size_t at = 0;
            float store = 0;
            for (std::size_t i = 0; i < output.size(); ++i) {
                const float in = i < input.size() ? input[i] : 0.0f;
                const float delayed = line[at];
                store = delayed * (1.0f - damping) + store * damping;
                line[at] = in + store * roomSize;
                at = (at + 1) % line.size();
                output[i] += delayed * 0.25f;
            }
        }
        for (int length : kAllPasses) {
            std::vector<float> line(static_cast<std::size_t>(length + spread), 0.0f);
            std::size_t at = 0;
            for (float& sample : output) {
                const float delayed = line[at];
                line[at] = sample + delayed * 0.5f;
                sample = delayed - sample;
                at = (at + 1) % line.size();
            }
        }
    }
}

void master(Stereo& sound, float peak, double fadeInSeconds, double fadeOutSeconds,
            float targetRms) {
    float loudest = 1e-9f;
    double energy = 0;
    for (std::size_t i = 0; i < sound.frames(); ++i) {
        loudest = std::max({loudest, std::fabs(sound.left[i]), std::fabs(sound.right[i])});
        energy += static_cast<double>(sound.left[i]) * sound.left[i] +
                  static_cast<double>(sound.right[i]) * sound.right[i];
    }
    const double rms =
        std::sqrt(energy / std::max<double>(1.0, 2.0 * static_cast<double>(sound.frames())));
    // Either equal loudness (the limiter below rounds off what then rises above `peak`) or the
    // loudest moment a little above `peak`.
    const float gain =
        targetRms > 0 && rms > 0 ? static_cast<float>(targetRms / rms) : 1.15f * peak / loudest;
    const auto fadeIn = static_cast<std::size_t>(fadeInSeconds * kSampleRate);
    const auto fadeOut = static_cast<std::size_t>(fadeOutSeconds * kSampleRate);
    const std::size_t frames = sound.frames();
    for (std::size_t i = 0; i < frames; ++i) {
        float fade = 1.0f;
        if (i < fadeIn) {
            fade = static_cast<float>(i) / static_cast<float>(fadeIn);
        }
        if (frames - i < fadeOut) {
            fade = std::min(fade, static_cast<float>(frames - i) / static_cast<float>(fadeOut));
        }
        for (float* sample : {&sound.left[i], &sound.right[i]}) {
            *sample = peak * std::tanh(*sample * gain / peak) * fade;
        }
    }
}

bool writeWav(const Stereo& sound, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    const auto frames = static_cast<std::uint32_t>(sound.frames());
    const std::uint32_t dataBytes = frames * 4;
    auto put32 = [&](std::uint32_t v) {
        const unsigned char b[4] = {
            static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
            static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        std::fwrite(b, 1, 4, file);
    };
    auto put16 = [&](std::uint16_t v) {
        const unsigned char b[2] = {static_cast<unsigned char>(v),
                                    static_cast<unsigned char>(v >> 8)};
        std::fwrite(b, 1, 2, file);
    };
    std::fwrite("RIFF", 1, 4, file);
    put32(36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, file);
    put32(16);
    put16(1);
    put16(2);
    put32(kSampleRate);
    put32(kSampleRate * 4);
    put16(4);
    put16(16);
    std::fwrite("data", 1, 4, file);
    put32(dataBytes);
    for (std::uint32_t i = 0; i < frames; ++i) {
        for (float sample : {sound.left[i], sound.right[i]}) {
            const long value = std::lround(std::clamp(sample, -1.0f, 1.0f) * 32767.0f);
            put16(static_cast<std::uint16_t>(static_cast<std::int16_t>(value)));
        }
    }
    return std::fclose(file) == 0;
}

} // namespace tx::synth
