// One movie of the library: its path, its modification date and its thumbnail's path, and the walk
// of the Documents folder that lists them.
#pragma once

#include "platform/foundation/Object.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class FileInfo : public Object {
public:
    using Date = std::chrono::system_clock::time_point;

    const std::string& path() const { return _path; }
    void setPath(std::string path) { _path = std::move(path); }
    Date date() const { return _date; }
    void setDate(Date date) { _date = date; }
    const std::string& thumbPath() const { return _thumbPath; }
    void setThumbPath(std::string thumbPath) { _thumbPath = std::move(thumbPath); }

    // Every "mov" (exact, case-sensitive) below `folder`, subfolders included, newest first; equal
    // dates keep the walk's order. `eachMovie` runs for every movie found, before it is listed
    // (the screens write missing thumbnails there). Unreadable entries are skipped.
    static std::vector<std::shared_ptr<FileInfo>>
    moviesBelow(const std::string& folder,
                const std::function<void(const std::string& moviePath)>& eachMovie = {});

private:
    std::string _path;
    Date _date{};
    std::string _thumbPath;
};

} // namespace tx
