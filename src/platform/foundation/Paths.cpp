#include "Paths.h"

#include <QUuid>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tx {

std::string documentsDirectory() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "/tmp") + "/.local/share";
    }
    const std::string dir = base + "/taluvex/Documents";
    std::error_code ec;
    fs::create_directories(dir, ec);
    return dir;
}

std::string temporaryDirectory() {
    std::error_code ec;
    std::string dir = fs::temp_directory_path(ec).string();
    if (ec || dir.empty()) {
        dir = "/tmp";
    }
    if (dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::string uniqueString() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().toStdString();
}

std::string pathByAppending(const std::string& directory, const std::string& component) {
    if (directory.empty()) {
        return component;
    }
    if (directory.back() == '/') {
        return directory + component;
    }
    return directory + "/" + component;
}

std::string pathByReplacingExtension(const std::string& path, const std::string& extension) {
    return fs::path(path).replace_extension(extension).string();
}

std::string lastPathComponent(const std::string& path) {
    return fs::path(path).filename().string();
}

std::string pathExtension(const std::string& path) {
    const std::string ext = fs::path(path).extension().string();
    return ext.empty() ? ext : ext.substr(1);
}

std::string deletingLastPathComponent(const std::string& path) {
    return fs::path(path).parent_path().string();
}

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::exists(path, ec);
}

bool removeFile(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
    return !fs::exists(path, ec);
}

long long fileSize(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(size);
}

std::string executableDirectory() {
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (ec) {
        return ".";
    }
    return self.parent_path().string();
}

std::string resourceDirectory() {
    return (fs::path(executableDirectory()).parent_path() / "share" / "taluvex").string();
}

std::string resourcePath(const std::string& name, const std::string& type) {
    std::string path =
        pathByAppending(resourceDirectory(), type.empty() ? name : name + "." + type);
    return fileExists(path) ? path : std::string();
}

} // namespace tx
