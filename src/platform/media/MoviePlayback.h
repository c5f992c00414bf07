// Plays a movie file for the player screen: a worker thread decodes the pictures forwards and
// scales them for the screen, and the main loop shows each one when the clock reaches its time.
// The clock is the sound's own (AudioPlayer) while the movie's sound plays, and the wall clock
// where it has none or after its sound has ended.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/foundation/Timer.h"
#include "platform/media/AudioPlayer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class MoviePlayback;

// A picture ready to draw: 32-bit pixels, bytes blue, green, red, 255 (QImage's RGB32 here),
// with its time in the movie and how the movie is meant to be turned for showing.
struct PlaybackPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    double seconds = 0;
    // Quarter turns clockwise that show the picture upright (from the movie's display matrix).
    int quarterTurns = 0;
    int bytesPerRow() const { return width * 4; }
};

using PlaybackPicturePtr = std::shared_ptr<const PlaybackPicture>;

// Hears a playback on the main thread.
class MoviePlaybackDelegate {
public:
    virtual ~MoviePlaybackDelegate() = default;
    // A new picture is on show (also after a seek while paused), or the clock moved on.
    virtual void moviePlaybackDidChange(MoviePlayback&) {}
    // The movie played to its end (no error) or could not be played on (the error says why).
    // Reported once; the playback stands still afterwards.
    virtual void moviePlaybackDidFinish(MoviePlayback& playback, const ErrorPtr& error) = 0;
};

class MoviePlayback : public Object, public AudioPlayerDelegate {
public:
    // Opens the movie; nothing, and an error saying what and where, when the file is missing or
    // has no pictures. The first picture is decoded at once and shown before `play`.
    static std::shared_ptr<MoviePlayback> create(const std::string& path, ErrorPtr* error = nullptr,
                                                 int maxPictureWidth = 640,
                                                 int maxPictureHeight = 1136);
    ~MoviePlayback() override;

    const std::string& path() const { return _path; }
    // The delegate is not retained.
    void setDelegate(std::weak_ptr<MoviePlaybackDelegate> delegate) {
        _delegate = std::move(delegate);
    }

    double duration() const { return _durationSeconds; }
    bool hasSound() const { return _audio != nullptr; }
    // Where playback stands, in seconds (0 to duration).
    double currentTime() const;
    bool isPlaying() const { return _playing; }
    bool isFinished() const { return _finished; }

    // Plays from the current time (from the start again once the end was reached).
    void play();
    void pause();
    // Moves to `seconds` (clamped to the movie); the picture at that time is shown next, also
    // while paused.
    void seekToTime(double seconds);
    // Stops for good without a report (the screen closing).
    void stop();

    // The picture on show; null before the first is decoded.
    PlaybackPicturePtr currentPicture() const { return _current; }
    // Grows by one with every picture shown.
    std::uint64_t pictureSerial() const { return _serial; }
    // Pictures skipped because their time had passed before they could be shown.
    int droppedPictures() const { return _dropped; }

    // Replaces the sound and wall clocks: the movie stands wherever `clock` says (tests step
    // time by hand). An empty clock restores the real ones.
    using Clock = std::function<double()>;
    void setClock(Clock clock);

    // One turn of the display: shows the picture due now and notices the end. Runs on a timer
    // while playing and whenever the decoder hands over a picture.
    void tick();

    void audioPlayerDidFinishPlaying(AudioPlayer& player, bool successfully) override;

    struct Worker;

private:
    MoviePlayback() = default;
    double rawTime() const;
    void restartDecoding(double seconds);
    void startClock();
    void finish(const ErrorPtr& error);

    std::string _path;
    std::weak_ptr<MoviePlaybackDelegate> _delegate;
    double _durationSeconds = 0;
    AudioPlayerPtr _audio;
    bool _audioPrepared = false;
    bool _audioRunning = false;
    bool _playing = false;
    bool _finished = false;
    // Where the clock stood when it was last set (play, pause, seek, end of the sound) and the
    // wall time then.
    double _positionSeconds = 0;
    std::chrono::steady_clock::time_point _anchor;
    Clock _clock;
    TimerPtr _timer;
    std::unique_ptr<Worker> _worker;
    PlaybackPicturePtr _current;
    bool _showNextAtOnce = true;
    std::uint64_t _serial = 0;
    int _dropped = 0;
};

using MoviePlaybackPtr = std::shared_ptr<MoviePlayback>;

} // namespace tx
