// Opening a movie of arbitrary bytes and reading what a render reads first: the last second of
// pictures and the last two seconds of sound, from the end backwards.
#include "platform/media/AssetReader.h"

#include <cstdio>
#include <string>
#include <unistd.h>

namespace {

// Whole windows are read, but never more than a render would hold of one.
constexpr int kMostSamples = 400;

void readWindow(const tx::AssetPtr& asset, const tx::AssetTrackPtr& track, double seconds) {
    using namespace tx;
    auto reader = AssetReader::create(asset);
    MediaSettings settings = PlistValue::dictionary();
    if (track->mediaType() == kMediaTypeVideo) {
        settings.set(kPixelBufferPixelFormatTypeKey, PlistValue::integer(kPixelFormat420v));
    } else {
        settings.set(kFormatIDKey, PlistValue::integer(kAudioFormatLinearPCM));
        settings.set(kNumberOfChannelsKey, PlistValue::integer(2));
    }
    auto output = AssetReaderTrackOutput::create(track, settings);
    if (!reader || !reader->canAddOutput(output)) {
        return;
    }
    reader->addOutput(output);
    const TimeRange range = track->timeRange();
    MediaTime start = range.end() - MediaTime::makeWithSeconds(seconds, kMicrosecondTimescale);
    if (start < range.start) {
        start = range.start;
    }
    reader->setTimeRange(TimeRange::make(start, range.end() - start));
    if (!reader->startReading()) {
        return;
    }
    for (int i = 0; i < kMostSamples && output->copyNextSampleBuffer(); ++i) {
    }
    reader->cancelReading();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        return std::string(dir != nullptr ? dir : "/tmp") + "/taluvex-movie-fuzz-" +
               std::to_string(getpid()) + ".mov";
    }();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    if (auto asset = tx::Asset::urlAsset(path, true)) {
        for (const auto& track : asset->tracks()) {
            readWindow(asset, track, track->mediaType() == tx::kMediaTypeVideo ? 1.0 : 2.4);
        }
    }
    return 0;
}
