// The reversed sound of a render job: the sound read backwards in two-second windows from its
// end, each decoded buffer reversed, the whole reversed stream tempo-changed by one SoundTouch
// processor, and written on a contiguous timeline from zero, as long as the picture. The maker
// makes it; the pump writes it on the main run loop, as it is made or from a maker running
// ahead on threads of its own (ReversedSoundAhead).
#pragma once

#include "platform/media/AssetReader.h"
#include "platform/media/AssetWriter.h"
#include "platform/media/SampleBuffer.h"
#include "render/AudioProcess.h"
#include "render/RenderPumpHost.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tx {

// Makes the movie's reversed sound a buffer at a time, in the order it is written. The same
// source, picture end and pace always give the same buffers, on whatever thread.
class ReversedSoundMaker {
public:
    // Where the sound ends before `pictureEnd`, the movie's sound starts with silence.
    ReversedSoundMaker(PumpSource source, const MediaTime& pictureEnd, PumpPace pace);

    // The next buffer of the movie's sound, timed from the movie's start; none once the sound
    // is as long as the picture.
    SampleBufferPtr nextSample();
    // How far the buffers made so far reach into the movie, as the pump reports it.
    float progress() const { return _progress; }

private:
    // One window's sound as read: its decoded buffers in the order they came, each reversed.
    struct WindowSound {
        std::vector<std::vector<std::int16_t>> parts;
        double rate = 0;
    };
    struct WindowReader {
        AssetReaderPtr reader;
        AssetReaderTrackOutputPtr output;
    };

    // Fills _blocks with the window's sound, processed, in blocks to be written from the back.
    void readWindow(const TimeRange& window);
    // The steps of readWindow.
    WindowSound readReversed(const TimeRange& window);
    // Reads the window with a margin on either side, as 16-bit samples of one or two channels;
    // none when it cannot start.
    WindowReader openWindowReader(const TimeRange& window);
    void takeLeadingSilence();
    std::vector<std::int16_t> changeTempo(const WindowSound& sound, int channels, bool lastWindow);
    void fitToPicture(std::vector<std::int16_t>& processed, int channels, bool lastWindow);
    void pushBlocksLatestFirst(const std::vector<std::int16_t>& processed, int channels);
    // The next block to write: the leading silence, then the window's sound, then the silence
    // that fills the sound up to the picture's end; none when the window is used up.
    DataBlockPtr takeNextBlock();
    // One block of at most kSilenceBlockBytes from `frames` of silence still to write.
    DataBlockPtr takeSilence(std::uint64_t& frames) const;

    PumpSource _source;
    PumpPace _pace;
    // The start of the next window to read: counts down from the sound's end to its start.
    MediaTime _windowStart = MediaTime::zero();
    // By how much the picture outlasts the sound; put before the sound once, then zero.
    MediaTime _silence = MediaTime::zero();
    // Frames still to write before the sound is as long as the picture; known (not negative)
    // once the sound's rate is.
    std::int64_t _framesLeft = -1;
    // The tempo processor of this whole sound.
    AudioProcess _tempoProcessor;
    // The format of the decoded sound, taken from its first buffer.
    AudioFormatDescriptionPtr _format;
    std::uint64_t _bytesMade = 0;
    float _progress = 0;
    // The current window's blocks not written yet; the earliest to be heard is at the back.
    std::vector<DataBlockPtr> _blocks;
    // Silence still to write before the sound, and after it: made a block at a time as it is
    // written, so that hours of it take no more memory than one block.
    std::uint64_t _leadingSilenceFrames = 0;
    std::uint64_t _trailingSilenceFrames = 0;
};

class ReversedSoundPump : public std::enable_shared_from_this<ReversedSoundPump> {
public:
    // The pump keeps `host` alive while it runs; the host drops the pump when the job ends.
    ReversedSoundPump(std::shared_ptr<RenderPumpHost> host, PumpSource source,
                      const MediaTime& pictureEnd, PumpPace pace);

    // Writes to `input` whenever it is ready, until the sound is as long as the picture.
    void start(const AssetWriterInputPtr& input);

    // Zero-filled blocks of at most 44100 bytes, as long as `duration` of source sound is once
    // heard at `tempo` percent.
    static std::vector<DataBlockPtr> silenceBlocks(const MediaTime& duration, std::int32_t tempo,
                                                   const AudioStreamBasicDescription& asbd);
    // How many frames those blocks hold together.
    static std::uint64_t silenceFrames(const MediaTime& duration, std::int32_t tempo,
                                       const AudioStreamBasicDescription& asbd);

private:
    void writeWhileReady(AssetWriterInput& input);

    std::shared_ptr<RenderPumpHost> _host;
    ReversedSoundMaker _maker;
};

} // namespace tx
