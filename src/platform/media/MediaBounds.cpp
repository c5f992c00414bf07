#include "MediaBounds.h"

#include <cmath>
#include <cstdio>

namespace tx {

namespace {

std::string describeSeconds(double seconds) {
    char text[64];
    if (seconds >= 2 * 60 * 60) {
        std::snprintf(text, sizeof text, "%.0f hours", seconds / 3600);
    } else if (seconds >= 2 * 60) {
        std::snprintf(text, sizeof text, "%.0f minutes", seconds / 60);
    } else {
        std::snprintf(text, sizeof text, "%.3g s", seconds);
    }
    return text;
}

} // namespace

std::string trackTimingDamage(const TrackTiming& timing) {
    const char* what = timing.pictures ? "the pictures" : "the sound";
    if (timing.timeBaseNum <= 0 || timing.timeBaseDen <= 0) {
        return std::string(what) + " have no clock (a timescale of 0)";
    }
    const double tick = static_cast<double>(timing.timeBaseNum) / timing.timeBaseDen;
    // In long double: tick counts near the int64 limits stay ordered.
    const long double length =
        (static_cast<long double>(timing.endTicks) - timing.firstTicks) * tick;
    if (!(length <= kLongestTrackSeconds)) {
        return std::string(what) + " would last " + describeSeconds(static_cast<double>(length)) +
               " (more than a day)";
    }
    const double step = static_cast<double>(timing.longestStepTicks) * tick;
    if (!(step <= kLongestSampleSeconds)) {
        return std::string(timing.pictures ? "one picture" : "one piece of the sound") +
               " would last " + describeSeconds(step);
    }
    if (timing.pictures && timing.picturesPerSecond > 0 &&
        !(1.0 / timing.picturesPerSecond <= kLongestSampleSeconds)) {
        return "the pictures would come one every " +
               describeSeconds(1.0 / timing.picturesPerSecond);
    }
    return {};
}

std::string damagedTimingText(const std::string& path, const std::string& damage) {
    return path + ": the movie's timing is damaged: " + damage;
}

} // namespace tx
