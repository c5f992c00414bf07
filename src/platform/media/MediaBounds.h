// The limits within which a movie's own numbers (lengths, sample steps, sizes, rates) are
// believed. A file beyond them is damaged: it is refused with the reason before any memory is
// reserved or any loop runs on those numbers.
#pragma once

#include <cstdint>
#include <string>

namespace tx {

// Longer than a day: no recording or edit we make or read lasts that long.
constexpr double kLongestTrackSeconds = 24.0 * 60 * 60;
// No picture is shown, and no sound packet lasts, longer than this; a longer step between two
// samples is a broken sample table, not a still picture.
constexpr double kLongestSampleSeconds = 60.0;
// Pictures and sound that decoders and our writer can hold.
constexpr int kLargestPictureSide = 16384;
constexpr int kHighestSampleRate = 768000;
constexpr int kMostSoundChannels = 64;

// What is damaged in a track's timing, in a person's words, or "" when it holds. `timeBaseNum`
// and `timeBaseDen` are the track's ticks; `firstTicks`/`endTicks` where it starts and ends;
// `longestStepTicks` the longest step from one sample to the next (or to the end); pictures
// also their nominal rate, which sets how long each is shown.
struct TrackTiming {
    bool pictures = false;
    int timeBaseNum = 0;
    int timeBaseDen = 0;
    std::int64_t firstTicks = 0;
    std::int64_t endTicks = 0;
    std::int64_t longestStepTicks = 0;
    double picturesPerSecond = 0;
};
std::string trackTimingDamage(const TrackTiming& timing);

// The error text for a movie at `path` whose timing is damaged as `damage` says.
std::string damagedTimingText(const std::string& path, const std::string& damage);

} // namespace tx
