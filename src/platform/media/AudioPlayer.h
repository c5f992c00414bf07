// Plays a sound file: the interface sounds and the previews of the built-in tracks. FFmpeg
// decodes the whole file; the sound goes to the sound server through QtMultimedia, or, where
// there is no sound device, to a silent output that keeps real time so the end still comes.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class AudioPlayer;
class Asset;

// Told on the main thread when a sound has played to its end (or its output failed).
class AudioPlayerDelegate {
public:
    virtual ~AudioPlayerDelegate() = default;
    virtual void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) = 0;
};

// A whole decoded sound: interleaved signed 16-bit samples.
struct AudioPlayerPcm {
    int sampleRate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;

    long frameCount() const {
        return channels > 0 ? static_cast<long>(samples.size()) / channels : 0;
    }
    double durationSeconds() const {
        return sampleRate > 0 ? static_cast<double>(frameCount()) / sampleRate : 0.0;
    }
};

// Where a player's sound goes. A sink plays one sound at a time from its start and calls
// `finished` on the main loop when it ran out (true) or the output failed (false); after `stop`
// it calls nothing.
class AudioPlayerSink {
public:
    using FinishHandler = std::function<void(bool successfully)>;
    virtual ~AudioPlayerSink() = default;
    virtual bool start(std::shared_ptr<const AudioPlayerPcm> pcm, float volume,
                       FinishHandler finished) = 0;
    // Plays from the sample frame `firstFrame` on; a sink that can only start at the beginning
    // refuses any other frame.
    virtual bool startAtFrame(std::shared_ptr<const AudioPlayerPcm> pcm, float volume,
                              FinishHandler finished, long firstFrame) {
        return firstFrame == 0 && start(std::move(pcm), volume, std::move(finished));
    }
    // Seconds of the sound played since the start, counted from its beginning (the first
    // frame's time included); a negative value when the sink cannot tell.
    virtual double position() const { return -1; }
    virtual void stop() = 0;
    virtual void setVolume(float volume) = 0;
};

using AudioPlayerSinkFactory = std::function<std::unique_ptr<AudioPlayerSink>()>;

class AudioPlayer : public Object {
public:
    // Opens a sound file (or the sound of a movie). Nothing, and an error, when the file is
    // missing, unreadable or has no sound.
    static std::shared_ptr<AudioPlayer> create(const std::string& path, ErrorPtr* error = nullptr);
    ~AudioPlayer() override;

    // Sinks of new players come from `factory`; an empty one restores the default (the sound
    // device when one answers, else the silent sink).
    static void setSinkFactory(AudioPlayerSinkFactory factory);
    // Keeps real time without making a sound.
    static std::unique_ptr<AudioPlayerSink> makeSilentSink();
    // Plays through QtMultimedia's default output, falling back to silence when it fails.
    static std::unique_ptr<AudioPlayerSink> makeDeviceSink();

    const std::string& path() const { return _path; }
    float volume() const { return _volume; }
    // 0 (silent) to 1 (full), applied at once also while playing.
    void setVolume(float volume);
    // The delegate is not retained.
    void setDelegate(std::weak_ptr<AudioPlayerDelegate> delegate) {
        _delegate = std::move(delegate);
    }

    // Decodes the sound ahead of `play`; false when it cannot be decoded.
    bool prepareToPlay();
    // Plays from the start (also after the sound ended or was stopped), or from where `pause`
    // left it; true when it plays.
    bool play();
    // Plays from `seconds` into the sound (a time at or past the end plays nothing and reports
    // the end at once).
    bool playAtTime(double seconds);
    // Stops and keeps the position for the next `play`; the delegate hears nothing of it.
    void pause();
    // Stops at once and goes back to the start; the delegate hears nothing of it.
    void stop();
    bool isPlaying() const { return _playing; }
    // Where the sound is now, in seconds from its start: it runs on while playing (as the output
    // tells it, or by the wall clock where the output cannot) and stands still otherwise.
    double currentTime() const;
    // Length of the sound in seconds (known once decoded; the file's own figure before).
    double duration() const;

private:
    void sinkFinished(std::uint64_t session, bool successfully);

    std::string _path;
    std::shared_ptr<Asset> _asset;
    float _volume = 1.0f;
    std::weak_ptr<AudioPlayerDelegate> _delegate;
    std::shared_ptr<const AudioPlayerPcm> _pcm;
    std::unique_ptr<AudioPlayerSink> _sink;
    bool _playing = false;
    // Where the current playing began, or where a pause left the sound.
    double _startSeconds = 0;
    std::chrono::steady_clock::time_point _startedAt;
    // Tells the end of the current playing apart from that of an earlier, stopped one.
    std::uint64_t _session = 0;
};

using AudioPlayerPtr = std::shared_ptr<AudioPlayer>;

} // namespace tx
