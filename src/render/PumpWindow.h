// Internal to the render engine: the next window of a pump that reads its source from the end.
#pragma once

#include "platform/media/MediaTime.h"

namespace tx {

// Moves `baseTime` one window of `windowSeconds` towards zero and gives that window; false when
// nothing is left. The last window is the remainder, from zero.
inline bool nextWindowBackwards(MediaTime& baseTime, double windowSeconds, TimeRange& window) {
    constexpr std::int32_t kTimescale = 1000000;
    const double s = baseTime.seconds();
    if (!(s > 0)) {
        return false;
    }
    if (s - windowSeconds < 0) {
        window = TimeRange::make(MediaTime::makeWithSeconds(0, kTimescale),
                                 MediaTime::makeWithSeconds(s, kTimescale));
    } else {
        window = TimeRange::make(MediaTime::makeWithSeconds(s - windowSeconds, kTimescale),
                                 MediaTime::makeWithSeconds(windowSeconds, kTimescale));
    }
    baseTime = window.start;
    return true;
}

} // namespace tx
