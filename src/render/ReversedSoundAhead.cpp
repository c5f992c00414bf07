#include "ReversedSoundAhead.h"

namespace tx {

namespace {

// Sound made but not yet encoded, at most: the maker is quicker than the encoder, and an hour of
// sound held at once would be hundreds of megabytes.
constexpr std::size_t kMadeBytesLimit = 4 * 1024 * 1024;

} // namespace

ReversedSoundAhead::ReversedSoundAhead(PumpSource source, const MediaTime& pictureEnd,
                                       PumpPace pace, AssetWriterPtr writer,
                                       AssetWriterInputPtr input)
    : _maker(std::move(source), pictureEnd, pace), _pace(pace), _writer(std::move(writer)),
      _input(std::move(input)) {
    _makeThread = std::thread([this] { make(); });
    _encodeThread = std::thread([this] { encode(); });
}

ReversedSoundAhead::~ReversedSoundAhead() {
    {
        std::lock_guard lock(_mutex);
        _cancelled = true;
    }
    _changed.notify_all();
    join();
}

void ReversedSoundAhead::join() {
    if (_makeThread.joinable()) {
        _makeThread.join();
    }
    if (_encodeThread.joinable()) {
        _encodeThread.join();
    }
}

void ReversedSoundAhead::make() {
    for (;;) {
        SampleBufferPtr sample = _cancelled ? nullptr : _maker.nextSample();
        std::unique_lock lock(_mutex);
        if (!sample) {
            _makingEnded = true;
            _changed.notify_all();
            return;
        }
        _madeBytes += sample->dataBlock()->dataLength();
        _made.push_back(std::move(sample));
        _changed.notify_all();
        _changed.wait(lock, [&] { return _cancelled.load() || _madeBytes < kMadeBytesLimit; });
    }
}

void ReversedSoundAhead::encode() {
    for (;;) {
        SampleBufferPtr sample;
        {
            std::unique_lock lock(_mutex);
            _changed.wait(lock,
                          [&] { return _cancelled.load() || !_made.empty() || _makingEnded; });
            if (_cancelled) {
                break;
            }
            if (_made.empty()) {
                _complete = true; // the maker has ended and everything it made is in
                break;
            }
            sample = std::move(_made.front());
            _made.pop_front();
            _madeBytes -= sample->dataBlock()->dataLength();
            _changed.notify_all();
        }
        if (_writer->status() != AssetWriterStatus::Writing) {
            break; // the writer failed: the job reports it
        }
        _input->appendSampleBuffer(sample);
        // As the pump reports it: where the buffer starts, in single precision.
        _progress =
            static_cast<float>(sample->presentationTime().seconds()) / _pace.outputSeconds();
    }
    {
        // The maker may be waiting for room that will no longer come.
        std::lock_guard lock(_mutex);
        _cancelled = _cancelled || !_complete;
    }
    _changed.notify_all();
    _done = true;
}

} // namespace tx
