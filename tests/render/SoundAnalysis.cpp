#include "SoundAnalysis.h"

#include "platform/media/AssetReader.h"

#include <cmath>

namespace tx::test {

namespace {

// Every decoded sample of the file's first track of `type`.
std::vector<SampleBufferPtr> decodeAll(const std::string& path, const std::string& type) {
    std::vector<SampleBufferPtr> samples;
    auto asset = Asset::urlAsset(path, true);
    if (!asset || asset->tracksWithMediaType(type).empty()) {
        return samples;
    }
    auto reader = AssetReader::create(asset);
    auto output =
        AssetReaderTrackOutput::create(asset->tracksWithMediaType(type)[0], MediaSettings());
    reader->addOutput(output);
    reader->startReading();
    while (auto sample = output->copyNextSampleBuffer()) {
        samples.push_back(sample);
    }
    return samples;
}

} // namespace

RenderedPictures readPictures(const std::string& path) {
    RenderedPictures out;
    for (const SampleBufferPtr& sample : decodeAll(path, kMediaTypeVideo)) {
        const PixelBuffer& p = *sample->imageBuffer();
        long sum = 0;
        long count = 0;
        for (int y = 4; y < p.height() - 4; y += 4) {
            for (int x = 4; x < p.width() - 4; x += 4) {
                sum += p.baseAddressOfPlane(
                    0)[static_cast<std::size_t>(y) * p.bytesPerRowOfPlane(0) + x];
                ++count;
            }
        }
        out.indexes.push_back(
            static_cast<int>(std::lround((static_cast<double>(sum) / count - 16.0) / 2.0)));
        out.seconds.push_back(sample->presentationTime().seconds());
        out.luma.push_back(static_cast<double>(sum) / count);
    }
    return out;
}

RenderedSound readSound(const std::string& path) {
    RenderedSound out;
    for (const SampleBufferPtr& sample : decodeAll(path, kMediaTypeAudio)) {
        const auto asbd = sample->formatDescription()->streamDescription();
        out.rate = static_cast<int>(asbd.sampleRate);
        out.channels = static_cast<int>(asbd.channelsPerFrame);
        const auto* s = reinterpret_cast<const std::int16_t*>(sample->dataBlock()->data());
        for (long i = 0; i < sample->numSamples(); ++i) {
            float sum = 0;
            for (int c = 0; c < out.channels; ++c) {
                sum += s[i * out.channels + c];
            }
            out.samples.push_back(sum / static_cast<float>(out.channels) / 32768.0f);
        }
    }
    return out;
}

double longestSilence(const RenderedSound& sound, double from, double to) {
    const auto begin = static_cast<std::size_t>(std::max(0.0, from) * sound.rate);
    const auto end = std::min(sound.samples.size(), static_cast<std::size_t>(to * sound.rate));
    std::size_t run = 0;
    std::size_t longest = 0;
    for (std::size_t i = begin; i < end; ++i) {
        run = std::fabs(sound.samples[i]) < 0.003f ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return static_cast<double>(longest) / sound.rate;
}

double largestStep(const RenderedSound& sound, double from, double to) {
    const auto begin = static_cast<std::size_t>(std::max(0.0, from) * sound.rate) + 1;
    const auto end = std::min(sound.samples.size(), static_cast<std::size_t>(to * sound.rate));
    double largest = 0;
    for (std::size_t i = begin; i < end; ++i) {
        largest = std::max(largest, static_cast<double>(std::fabs(sound.samples[i] -
                                                                  sound.samples[i - 1])));
    }
    return largest;
}

double frequencyAt(const RenderedSound& sound, double at, double span) {
    const auto begin = static_cast<std::size_t>(std::max(0.0, at - span / 2) * sound.rate);
    const auto end =
        std::min(sound.samples.size(), static_cast<std::size_t>((at + span / 2) * sound.rate));
    int crossings = 0;
    for (std::size_t i = begin + 1; i < end; ++i) {
        if ((sound.samples[i - 1] < 0) != (sound.samples[i] < 0)) {
            ++crossings;
        }
    }
    return crossings / 2.0 / (static_cast<double>(end - begin) / sound.rate);
}

} // namespace tx::test
