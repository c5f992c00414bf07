// Reading a rendered movie back for tests: its pictures' order and times, its sound's shape.
#pragma once

#include "platform/media/Asset.h"

#include <string>
#include <vector>

namespace tx::test {

struct RenderedPictures {
    std::vector<int> indexes;    // the brightness index each picture carries
    std::vector<double> seconds; // each picture's time
    std::vector<double> luma;    // each picture's mean luma
};
RenderedPictures readPictures(const std::string& path);

// The sound as mono floats (channels averaged) with its rate.
struct RenderedSound {
    std::vector<float> samples;
    int rate = 0;
    int channels = 0;
    double seconds() const { return rate > 0 ? static_cast<double>(samples.size()) / rate : 0; }
};
RenderedSound readSound(const std::string& path);

// The longest run of near-silence, in seconds, between `from` and `to` seconds.
double longestSilence(const RenderedSound& sound, double from, double to);
// The largest change from one sample to the next between `from` and `to` seconds: a smooth
// sound changes little, a sound cut and put together in pieces jumps at every seam.
double largestStep(const RenderedSound& sound, double from, double to);
// The sound's frequency around `at` seconds, from zero crossings over `span` seconds.
double frequencyAt(const RenderedSound& sound, double at, double span = 0.1);

} // namespace tx::test
