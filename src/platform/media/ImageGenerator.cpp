#include "ImageGenerator.h"

#include "FFmpeg.h"
#include "platform/foundation/Translation.h"
#include "platform/media/AssetReader.h"

#include <algorithm>

namespace tx {

namespace {

RasterImage toRgba(const PixelBuffer& picture, ErrorPtr* error) {
    const AVFrame* frame = picture.frame();
    RasterImage image;
    image.width = frame->width;
    image.height = frame->height;
    image.rgba.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    std::uint8_t* dst[1] = {image.rgba.data()};
    const int dstStride[1] = {image.width * 4};
    ff::SwsPtr sws;
    if (ff::scalePicture(sws, ff::pictureOf(frame), dst, dstStride, frame->width, frame->height,
                         AV_PIX_FMT_RGBA, SWS_BICUBIC) < 0) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0, _("cannot convert the picture"));
        }
        return {};
    }
    return image;
}

RasterImage rotate(const RasterImage& in, int quarterTurnsClockwise) {
    if (quarterTurnsClockwise == 0) {
        return in;
    }
    RasterImage out;
    const bool swap = quarterTurnsClockwise % 2 == 1;
    out.width = swap ? in.height : in.width;
    out.height = swap ? in.width : in.height;
    out.rgba.resize(in.rgba.size());
    for (int y = 0; y < in.height; ++y) {
        for (int x = 0; x < in.width; ++x) {
            int ox = x;
            int oy = y;
            switch (quarterTurnsClockwise) {
            case 1:
                ox = in.height - 1 - y;
                oy = x;
                break;
            case 2:
                ox = in.width - 1 - x;
                oy = in.height - 1 - y;
                break;
            case 3:
                ox = y;
                oy = in.width - 1 - x;
                break;
            default:
                break;
            }
            const std::size_t from = (static_cast<std::size_t>(y) * in.width + x) * 4;
            const std::size_t to = (static_cast<std::size_t>(oy) * out.width + ox) * 4;
            std::copy_n(&in.rgba[from], 4, &out.rgba[to]);
        }
    }
    return out;
}

} // namespace

std::shared_ptr<ImageGenerator> ImageGenerator::create(AssetPtr asset) {
    if (!asset) {
        return nullptr;
    }
    auto generator = std::make_shared<ImageGenerator>();
    generator->_asset = std::move(asset);
    return generator;
}

RasterImage ImageGenerator::copyImageAtTime(const MediaTime& time, MediaTime* actualTime,
                                            ErrorPtr* error) {
    auto tracks = _asset->tracksWithMediaType(kMediaTypeVideo);
    if (tracks.empty()) {
        if (error != nullptr) {
            *error = Error::make(kMediaErrorDomain, 0,
                                 withArguments(_("%1: has no pictures"), {_asset->path()}));
        }
        return {};
    }
    const AssetTrackPtr& track = tracks.front();
    MediaTime start = time;
    if (!start.isNumeric() || start < track->timeRange().start) {
        start = track->timeRange().start;
    }
    if (start >= track->timeRange().end()) {
        start = track->timeRange().end();
    }
    // The last picture in the second up to `time`; the reader starts at the keyframe before it.
    const MediaTime oneTick = MediaTime::make(1, kMicrosecondTimescale);
    MediaTime from = start - MediaTime::make(1, 1);
    if (from < MediaTime::zero()) {
        from = MediaTime::zero();
    }
    ErrorPtr readError;
    SampleBufferPtr chosen;
    auto readRange = [&](const TimeRange& range, bool keepLast) {
        auto reader = AssetReader::create(_asset, &readError);
        auto output = AssetReaderTrackOutput::create(track, MediaSettings());
        reader->addOutput(output);
        reader->setTimeRange(range);
        if (!reader->startReading()) {
            readError = reader->error();
            return;
        }
        while (auto sample = output->copyNextSampleBuffer()) {
            chosen = sample;
            if (!keepLast) {
                break;
            }
        }
        if (!chosen && reader->error()) {
            readError = reader->error();
        }
        reader->cancelReading();
    };
    readRange(TimeRange::make(from, start - from + oneTick), true);
    if (!chosen) {
        // Earlier than every picture: the first one.
        readRange(TimeRange::make(start, MediaTime::positiveInfinity()), false);
    }
    if (!chosen) {
        if (error != nullptr) {
            *error = readError ? readError
                               : Error::make(kMediaErrorDomain, 0,
                                             _asset->path() + ": no picture at that time");
        }
        return {};
    }
    if (actualTime != nullptr) {
        *actualTime = chosen->presentationTime();
    }
    RasterImage image = toRgba(*chosen->imageBuffer(), error);
    if (_appliesTransform && !image.isNull()) {
        const int turns = track->preferredTransform().quarterTurns();
        image = rotate(image, turns < 0 ? 0 : turns);
    }
    return image;
}

} // namespace tx
