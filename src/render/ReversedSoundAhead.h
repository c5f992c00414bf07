// A recording's reversed sound made while the screen waits to start its movie: the same maker
// as the pump's, run ahead on one thread, and the AAC encoding of what it makes on another, into
// the movie's sound input. What comes out is what the pump would write, buffer for buffer; only
// the waiting after the recording is shorter.
#pragma once

#include "platform/media/AssetWriter.h"
#include "render/ReversedSoundPump.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

namespace tx {

class ReversedSoundAhead {
public:
    // Starts at once. Until isDone(), nothing else may use `writer` or `input`: the threads
    // append to them (the writer keeps what they encode until its file is begun).
    ReversedSoundAhead(PumpSource source, const MediaTime& pictureEnd, PumpPace pace,
                       AssetWriterPtr writer, AssetWriterInputPtr input);
    // Cancels, and returns once both threads have ended.
    ~ReversedSoundAhead();

    // The appending has ended: the whole sound is in, the writer failed, or it was cancelled.
    // Once true, the writer and the input are the caller's again.
    bool isDone() const { return _done.load(); }
    // How far the sound appended so far reaches into the movie, 0 to 1.
    float progress() const { return _progress.load(); }
    // Whether every buffer of the sound was appended (false after a cancel or a writer failure).
    bool complete() const { return _complete.load(); }

private:
    void join();
    void make();
    void encode();

    ReversedSoundMaker _maker;
    PumpPace _pace;
    AssetWriterPtr _writer;
    AssetWriterInputPtr _input;

    std::mutex _mutex;
    std::condition_variable _changed;
    // Made, not yet appended; a null entry ends the sound.
    std::deque<SampleBufferPtr> _made;
    std::size_t _madeBytes = 0;
    bool _makingEnded = false;
    std::atomic<bool> _cancelled{false};
    std::atomic<bool> _done{false};
    std::atomic<bool> _complete{false};
    std::atomic<float> _progress{0};
    std::thread _makeThread;
    std::thread _encodeThread;
};

} // namespace tx
