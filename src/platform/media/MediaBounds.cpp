#include "MediaBounds.h"

#include "platform/foundation/Translation.h"

#include <cmath>
#include <cstdio>

namespace tx {

namespace {

std::string describeSeconds(double seconds) {
    char number[32];
    if (seconds >= 2 * 60 * 60) {
        std::snprintf(number, sizeof number, "%.0f", seconds / 3600);
        return withArguments(_("%1 hours"), {number});
    }
    if (seconds >= 2 * 60) {
        std::snprintf(number, sizeof number, "%.0f", seconds / 60);
        return withArguments(_("%1 minutes"), {number});
    }
    std::snprintf(number, sizeof number, "%.3g", seconds);
    return withArguments(_("%1 s"), {number});
}

} // namespace

std::string trackTimingDamage(const TrackTiming& timing) {
    if (timing.timeBaseNum <= 0 || timing.timeBaseDen <= 0) {
        return timing.pictures ? _("the pictures have no clock (a timescale of 0)")
                               : _("the sound has no clock (a timescale of 0)");
    }
    const double tick = static_cast<double>(timing.timeBaseNum) / timing.timeBaseDen;
    // In long double: tick counts near the int64 limits stay ordered.
    const long double length =
        (static_cast<long double>(timing.endTicks) - timing.firstTicks) * tick;
    if (!(length <= kLongestTrackSeconds)) {
        const std::string lasts = describeSeconds(static_cast<double>(length));
        return withArguments(timing.pictures ? _("the pictures would last %1 (more than a day)")
                                             : _("the sound would last %1 (more than a day)"),
                             {lasts});
    }
    const double step = static_cast<double>(timing.longestStepTicks) * tick;
    if (!(step <= kLongestSampleSeconds)) {
        return withArguments(timing.pictures ? _("one picture would last %1")
                                             : _("one piece of the sound would last %1"),
                             {describeSeconds(step)});
    }
    if (timing.pictures && timing.picturesPerSecond > 0 &&
        !(1.0 / timing.picturesPerSecond <= kLongestSampleSeconds)) {
        return withArguments(_("the pictures would come one every %1"),
                             {describeSeconds(1.0 / timing.picturesPerSecond)});
    }
    return {};
}

std::string damagedTimingText(const std::string& path, const std::string& damage) {
    return withArguments(_("%1: the movie's timing is damaged: %2"), {path, damage});
}

} // namespace tx
