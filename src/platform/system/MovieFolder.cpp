#include "MovieFolder.h"

#include "platform/media/Asset.h"

#include <QImage>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace tx {

namespace {

namespace fs = std::filesystem;

// The still of a list entry comes from a little way in: many clips open on black.
constexpr double kThumbnailSeconds = 1.0;
// A folder with more files than this is not read to the end: the list stays quick to fill.
constexpr std::size_t kMaximumFiles = 2000;

std::string lowercase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::int64_t modifiedSecondsOf(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return 0;
    return static_cast<std::int64_t>(info.st_mtime);
}

bool isHidden(const fs::path& path) {
    const std::string name = path.filename().string();
    return !name.empty() && name.front() == '.';
}

} // namespace

bool isMovieFileName(const std::string& path) {
    static const std::array<const char*, 9> kExtensions = {".mov", ".mp4", ".m4v", ".mkv", ".webm",
                                                           ".avi", ".3gp", ".mts", ".ogv"};
    const std::string extension = lowercase(fs::path(path).extension().string());
    return std::find(kExtensions.begin(), kExtensions.end(), extension) != kExtensions.end();
}

std::vector<MovieEntry> scanMovieFolder(const std::string& folder, Size thumbnailPoints,
                                        const std::atomic<bool>* cancelled,
                                        const std::function<void(const MovieEntry&)>& found) {
    std::vector<MovieEntry> movies;
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec))
        return movies;
    // The dates first, which cost nothing: the movies are then opened newest first, so a list
    // that shows them as they come is in order all along.
    std::vector<MovieEntry> candidates;
    auto it =
        fs::recursive_directory_iterator(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (isHidden(it->path())) {
            if (it->is_directory(ec))
                it.disable_recursion_pending();
            continue;
        }
        if (it->is_regular_file(ec) && isMovieFileName(it->path().string())) {
            MovieEntry entry;
            entry.path = it->path().string();
            entry.name = it->path().filename().string();
            entry.modifiedSeconds = modifiedSecondsOf(it->path());
            candidates.push_back(std::move(entry));
        }
        if (candidates.size() >= kMaximumFiles)
            break;
    }
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const MovieEntry& a, const MovieEntry& b) {
                         if (a.modifiedSeconds != b.modifiedSeconds)
                             return a.modifiedSeconds > b.modifiedSeconds;
                         return a.name < b.name;
                     });
    for (MovieEntry& entry : candidates) {
        if (cancelled && cancelled->load())
            return {};
        auto asset = Asset::urlAsset(entry.path, false);
        if (!asset || asset->tracksWithMediaType(kMediaTypeVideo).empty())
            continue;
        entry.durationSeconds = std::max(0.0, asset->duration().seconds());
        auto generator = ImageGenerator::create(asset);
        generator->setAppliesPreferredTrackTransform(true);
        entry.thumbnail = movieStill(
            *generator, std::min(kThumbnailSeconds, entry.durationSeconds / 2), thumbnailPoints);
        if (found)
            found(entry);
        movies.push_back(std::move(entry));
    }
    return movies;
}

std::string formatMovieLength(double seconds) {
    const long total = std::lround(std::max(0.0, std::isfinite(seconds) ? seconds : 0.0));
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60,
                      total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    return text;
}

std::string formatMoviePosition(double seconds) {
    const long tenths = std::lround(std::max(0.0, std::isfinite(seconds) ? seconds : 0.0) * 10);
    const long total = tenths / 10;
    char text[40];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld.%ld", total / 3600, total / 60 % 60,
                      total % 60, tenths % 10);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld.%ld", total / 60, total % 60, tenths % 10);
    return text;
}

ImagePtr movieStill(ImageGenerator& generator, double seconds, Size maxPoints) {
    RasterImage raster =
        generator.copyImageAtTime(MediaTime::makeWithSeconds(std::max(0.0, seconds), 600));
    if (raster.isNull())
        return nullptr;
    QImage wrapped(raster.rgba.data(), raster.width, raster.height, raster.width * 4,
                   QImage::Format_RGBA8888);
    const QSize box(std::max(1, static_cast<int>(maxPoints.width * 2)),
                    std::max(1, static_cast<int>(maxPoints.height * 2)));
    // Scaling copies the pixels out of the raster, which goes away with this call.
    QImage fitted = wrapped.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return std::make_shared<Image>(std::move(fitted), 2.0);
}

} // namespace tx
