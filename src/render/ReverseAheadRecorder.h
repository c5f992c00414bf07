// Reverses a recording while it is being made: every completed second of its pictures is
// encoded backwards, on a thread of its own, as a closed group of pictures with the engine's
// encoder settings, so that when the recording stops the engine only has to place the groups in
// the movie. The capture never waits for this: pictures reach the thread through a bounded
// queue, and a recording it cannot keep up with is rendered the ordinary way.
#pragma once

#include "platform/foundation/Object.h"
#include "platform/media/capture/CapturePictureTap.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tx {

class EncodedPictureGroup;

class ReverseAheadRecorder : public Object, public CapturePictureTap {
public:
    enum class State {
        Waiting,   // no recording yet
        Recording, // pictures arrive and are encoded a second at a time
        Finishing, // the recording ended; the last groups are being encoded
        Ready,     // every picture of the recording is in a group
        Unusable,  // something was missed or failed, or it was discarded: render the ordinary way
    };
    struct Group {
        std::string path;
        // The movie times of its pictures, earliest first; the group holds them latest first.
        std::vector<double> pictureSeconds;
        // How many pictures its decoding runs ahead of its showing.
        int decodeDelay = 0;
    };

    // Groups are encoded for a movie at `tempo` percent (their pictures at its spacing) and kept
    // in a folder of their own under `folder` (the private temporary folder when empty), at
    // most `maxBytes` of them.
    static std::shared_ptr<ReverseAheadRecorder> create(std::int32_t tempo,
                                                        const std::string& folder = {},
                                                        long long maxBytes = kDefaultMaxBytes);
    ReverseAheadRecorder(std::int32_t tempo, std::string folder, long long maxBytes);
    // Discards.
    ~ReverseAheadRecorder() override;

    void recordingBegan(const std::string& fileURL, const MediaSettings& videoSettings,
                        double framesPerSecond) override;
    void recordingKeptPicture(const PixelBufferPtr& picture, double movieSeconds) override;
    void recordingEnded(bool kept) override;

    // Stops the work and removes every group; the recorder is Unusable afterwards.
    void discard();
    // Waits (at most `timeoutSeconds`) until the recorder is neither Recording nor Finishing.
    State waitUntilSettled(double timeoutSeconds);

    State state() const;
    const std::string& recordingURL() const { return _url; }
    std::int32_t tempo() const { return _tempo; }
    const MediaSettings& videoSettings() const { return _videoSettings; }
    double framesPerSecond() const { return _framesPerSecond; }
    // Once Ready: the groups in recording order and how many pictures they hold. Every group
    // is coded alike, so they can follow each other in one track.
    std::vector<Group> groups() const;
    int pictureCount() const;
    // Most bytes of groups on disk at one time, and pictures the thread could not take.
    long long peakBytes() const;
    int picturesMissed() const;

    static constexpr long long kDefaultMaxBytes = 2LL * 1024 * 1024 * 1024;

private:
    struct Item {
        PixelBufferPtr picture; // none: the recording has ended
        double seconds = 0;
    };
    void run();
    // Encodes the pictures gathered so far as the next group; false when it fails.
    bool encodeGroup(std::vector<PixelBufferPtr>& pictures, std::vector<double>& seconds);
    void becomeUnusable(std::unique_lock<std::mutex>& lock);
    void removeGroups();

    const std::int32_t _tempo;
    const std::string _parentFolder;
    const long long _maxBytes;
    std::string _folder;
    std::string _url;
    MediaSettings _videoSettings;
    double _framesPerSecond = 0;
    int _groupPictures = 0;
    std::size_t _queueLimit = 0;

    mutable std::mutex _mutex;
    std::condition_variable _changed;
    std::deque<Item> _queue;
    // The first group written: every later one must be coded like it.
    std::shared_ptr<EncodedPictureGroup> _firstGroup;
    State _state = State::Waiting;
    std::vector<Group> _groups;
    long long _bytes = 0;
    long long _peakBytes = 0;
    int _missed = 0;
    std::atomic<bool> _cancelled{false};
    std::thread _thread;
};

using ReverseAheadRecorderPtr = std::shared_ptr<ReverseAheadRecorder>;

} // namespace tx
