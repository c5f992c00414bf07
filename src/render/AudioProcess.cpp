#include "AudioProcess.h"

#include <soundtouch/SoundTouch.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <stdexcept>

namespace tx {

namespace {

// SoundTouch is fed at most this many samples per call and emptied after each call.
constexpr int kMaxSamplesPerPut = 1024;
constexpr int kReceiveSamples = 2048;

std::int16_t toS16(float v) {
    const float scaled = std::round(v * 32768.0f);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

} // namespace

AudioProcess::AudioProcess() = default;
AudioProcess::~AudioProcess() = default;

void AudioProcess::setFormat(int rate, int channelCount) {
    if (_processor && (rate != sampleRate || channelCount != channels)) {
        _processor.reset();
    }
    sampleRate = rate;
    channels = channelCount;
}

void AudioProcess::ensureProcessor(float tempoChange) {
    if (_processor && tempoChange == _tempoChange) {
        return;
    }
    if (!_processor) {
        _processor = std::make_unique<soundtouch::SoundTouch>();
        _processor->setSampleRate(static_cast<unsigned>(sampleRate));
        _processor->setChannels(static_cast<unsigned>(channels));
    }
    _processor->setTempoChange(tempoChange);
    _processor->setPitchSemiTones(0);
    _processor->setRateChange(0);
    _processor->setSetting(SETTING_USE_QUICKSEEK, 0);
    _processor->setSetting(SETTING_USE_AA_FILTER, 0);
    _tempoChange = tempoChange;
}

void AudioProcess::receiveAll(std::vector<std::int16_t>& output, int& outputBytes) {
    const int framesPerReceive = kReceiveSamples / channels;
    _floatOut.resize(static_cast<std::size_t>(kReceiveSamples));
    for (;;) {
        const unsigned got =
            _processor->receiveSamples(_floatOut.data(), static_cast<unsigned>(framesPerReceive));
        if (got == 0) {
            return;
        }
        const std::size_t samples =
            static_cast<std::size_t>(got) * static_cast<std::size_t>(channels);
        for (std::size_t i = 0; i < samples; ++i) {
            output.push_back(toS16(_floatOut[i]));
        }
        outputBytes += static_cast<int>(samples * 2);
    }
}

void AudioProcess::process(float tempoChange, const std::int16_t* input, int inputBytes,
                           std::vector<std::int16_t>& output, int& outputBytes) {
    if (channels < 1 || channels > 2 || sampleRate <= 0) {
        return;
    }
    try {
        ensureProcessor(tempoChange);
        while (inputBytes > 0) {
            const int samples =
                inputBytes <= 2 * kMaxSamplesPerPut ? inputBytes / 2 : kMaxSamplesPerPut;
            const int frames = samples / channels;
            if (frames == 0) {
                break;
            }
            _floatIn.resize(static_cast<std::size_t>(frames * channels));
            for (int i = 0; i < frames * channels; ++i) {
                _floatIn[static_cast<std::size_t>(i)] = static_cast<float>(input[i]) / 32768.0f;
            }
            _processor->putSamples(_floatIn.data(), static_cast<unsigned>(frames));
            receiveAll(output, outputBytes);
            inputBytes -= frames * channels * 2;
            input += frames * channels;
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
    }
}

void AudioProcess::flush(std::vector<std::int16_t>& output, int& outputBytes) {
    if (!_processor) {
        return;
    }
    try {
        _processor->flush();
        receiveAll(output, outputBytes);
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
    }
    _processor.reset();
}

} // namespace tx
