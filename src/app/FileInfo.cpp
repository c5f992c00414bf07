#include "FileInfo.h"

#include "platform/foundation/Paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace tx {

std::vector<std::shared_ptr<FileInfo>>
FileInfo::moviesBelow(const std::string& folder,
                      const std::function<void(const std::string& moviePath)>& eachMovie) {
    std::vector<std::shared_ptr<FileInfo>> movies;
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
    for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        const fs::path& entry = it->path();
        // A folder named like a movie is no movie (deleting it would take its contents along).
        std::error_code typeError;
        if (entry.extension() != ".mov" || !it->is_regular_file(typeError))
            continue;
        std::error_code timeError;
        const auto modified = fs::last_write_time(entry, timeError);
        if (timeError)
            continue;
        const std::string path = entry.string();
        if (eachMovie)
            eachMovie(path);
        auto info = std::make_shared<FileInfo>();
        info->setPath(path);
        info->setDate(std::chrono::time_point_cast<std::chrono::system_clock::duration>(
            std::chrono::file_clock::to_sys(modified)));
        info->setThumbPath(pathByReplacingExtension(path, "jpg"));
        movies.push_back(std::move(info));
    }
    std::stable_sort(movies.begin(), movies.end(),
                     [](const auto& a, const auto& b) { return a->date() > b->date(); });
    return movies;
}

} // namespace tx
