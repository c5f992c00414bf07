// Internal to the render engine: the next window of a pump that reads its source from the end.
#pragma once

#include "platform/media/MediaTime.h"

#include <chrono>

namespace tx {

// Every time the engine makes from a number of seconds has this timescale.
constexpr std::int32_t kRenderTimescale = kMicrosecondTimescale;

// Moves `baseTime` one window of `windowSeconds` towards `floor` and gives that window; false
// when nothing is left. The last window is the remainder, from `floor`. A window ends exactly
// where the one before it began, so consecutive windows neither overlap nor leave a gap.
inline bool nextWindowBackwards(MediaTime& baseTime, double windowSeconds, TimeRange& window,
                                const MediaTime& floor = MediaTime::zero()) {
    if (!(baseTime > floor)) {
        return false;
    }
    MediaTime start =
        MediaTime::makeWithSeconds(baseTime.seconds() - windowSeconds, kRenderTimescale);
    if (start < floor) {
        start = floor;
    }
    window = TimeRange::make(start, baseTime - start);
    baseTime = start;
    return true;
}

// The window nextWindowBackwards would give next, without moving anything.
inline bool peekWindowBackwards(MediaTime baseTime, double windowSeconds, TimeRange& window,
                                const MediaTime& floor = MediaTime::zero()) {
    return nextWindowBackwards(baseTime, windowSeconds, window, floor);
}

// How long a pump writes before it lets the run loop turn again: a stop, a key or a signal waits
// no longer than this plus the read of one window, however long the movie.
constexpr std::chrono::milliseconds kPumpTurnLength{40};

// One turn of a pump's writing, from when it was made.
class PumpTurn {
public:
    bool over() const { return std::chrono::steady_clock::now() >= end(); }
    std::chrono::steady_clock::time_point end() const { return _began + kPumpTurnLength; }

private:
    std::chrono::steady_clock::time_point _began = std::chrono::steady_clock::now();
};

} // namespace tx
