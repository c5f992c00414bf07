// Tempo change of the reversed sound with SoundTouch, keeping the pitch.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace soundtouch {
class SoundTouch;
}

namespace tx {

// One processor serves one whole reversed sound: samples go in in the order they are heard, and
// the processor is flushed once, at the end. (A processor per block would cut every block short
// or pad it with silence, since SoundTouch holds back several thousand frames.)
class AudioProcess {
public:
    AudioProcess();
    ~AudioProcess();

    int sampleRate = 0;
    int channels = 0;

    // Stores the format; a change of format starts a new stream.
    void setFormat(int rate, int channelCount);
    // Feeds `inputBytes` of interleaved 16-bit samples and appends to `output` whatever the
    // processor has ready; `outputBytes` grows by the bytes appended.
    void process(float tempoChange, const std::int16_t* input, int inputBytes,
                 std::vector<std::int16_t>& output, int& outputBytes);
    // Ends the stream: appends everything the processor still holds.
    void flush(std::vector<std::int16_t>& output, int& outputBytes);

private:
    void ensureProcessor(float tempoChange);
    void receiveAll(std::vector<std::int16_t>& output, int& outputBytes);

    std::unique_ptr<soundtouch::SoundTouch> _processor;
    float _tempoChange = 0;
    std::vector<float> _floatIn;
    std::vector<float> _floatOut;
};

} // namespace tx
