#include "app/TaluvexAppDelegate.h"

#include "app/AVThumbnailMgr.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/PropertyList.h"

#include <QImage>

#include <algorithm>
#include <cmath>

namespace tx {

namespace {

const char* const kCatalogueName = "SoundTrackInfo";
const char* const kCatalogueTracksKey = "Tracks";
constexpr std::size_t kBuiltInTrackCount = 6;

constexpr Size kWideThumbnailBox{150.0, 112.5};
constexpr Size kTallThumbnailBox{160.0, 120.0};
// Strongest compression: thumbnails are small and many.
constexpr double kThumbnailJpegQuality = 0.0;

std::vector<std::string> readCatalogue() {
    std::vector<std::string> tracks;
    tracks.reserve(kBuiltInTrackCount);
    const std::string path = resourcePath(kCatalogueName, "plist");
    std::optional<PlistValue> info = path.empty() ? std::nullopt : readPropertyList(path);
    const PlistValue* names = info ? info->find(kCatalogueTracksKey) : nullptr;
    if (names == nullptr || names->type() != PlistValue::Type::Array) {
        return tracks;
    }
    for (const PlistValue& name : names->asArray()) {
        if (name.type() == PlistValue::Type::String) {
            // The catalogue does not check the files: a missing one keeps its place, so the
            // picker's rows and the catalogue indexes stay in step.
            tracks.push_back(
                pathByAppending(resourceDirectory(), lastPathComponent(name.asString())));
        }
    }
    return tracks;
}

} // namespace

TaluvexAppDelegate* TaluvexAppDelegate::sharedDelegate() {
    return dynamic_cast<TaluvexAppDelegate*>(Application::sharedApplication().delegate());
}

bool TaluvexAppDelegate::selectAudioTrack(unsigned code, const std::string& title,
                                          const std::string& url) {
    if (code < kFirstTrackCode) {
        // Only a library song comes with a title and a file of its own.
        static const char* const kTitles[] = {nullptr, "From Video", "Mute"};
        _audioType = static_cast<std::int32_t>(code);
        _audioTitle = code == 0 ? title : kTitles[code];
        _audioTrackURL = code == 0 ? url : std::string();
        _audioTrackIndex = -1;
        return true;
    }
    const std::size_t index = code - kFirstTrackCode;
    const std::vector<std::string>& tracks = soundTrackInfo();
    if (index >= tracks.size()) {
        return false;
    }
    _audioType = kAudioTypeBuiltInTrack;
    _audioTitle = "Track " + std::to_string(index + 1);
    _audioTrackURL = tracks[index];
    _audioTrackIndex = static_cast<std::int32_t>(index);
    return true;
}

const std::vector<std::string>& TaluvexAppDelegate::soundTrackInfo() const {
    // Built on first use and kept for the whole process.
    static const auto* tracks = new std::vector<std::string>(readCatalogue());
    return *tracks;
}

Size TaluvexAppDelegate::thumbnailSize(Size pictureSize) {
    if (pictureSize.width <= 0 || pictureSize.height <= 0) {
        return {};
    }
    const Size box = pictureSize.width > pictureSize.height ? kWideThumbnailBox : kTallThumbnailBox;
    const double factor = std::min(box.width / pictureSize.width, box.height / pictureSize.height);
    return {pictureSize.width * factor, pictureSize.height * factor};
}

void TaluvexAppDelegate::generatorThumbFile(const std::string& moviePath) {
    const std::string thumbPath = pathByReplacingExtension(moviePath, "jpg");
    if (fileExists(thumbPath)) {
        return;
    }
    ImagePtr picture = AVThumbnailMgr::thumbnail(moviePath);
    if (!picture) {
        return;
    }
    const Size size = thumbnailSize(picture->size());
    // A half-pixel size (112.5) takes the whole next pixel, filled by the picture.
    const QImage pixels = picture->pixels().scaled(static_cast<int>(std::ceil(size.width)),
                                                   static_cast<int>(std::ceil(size.height)),
                                                   Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const std::vector<unsigned char> jpeg = Image(pixels, 1.0).jpegData(kThumbnailJpegQuality);
    writeFileAtomically(thumbPath, jpeg.data(), jpeg.size());
}

} // namespace tx
