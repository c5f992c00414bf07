// Where Taluvex keeps its files, and the small file operations the application uses.
#pragma once

#include <string>

namespace tx {

// $XDG_DATA_HOME/taluvex/Documents (default ~/.local/share/taluvex/Documents), created on demand.
std::string documentsDirectory();
// The system's temporary folder, with a trailing slash.
std::string temporaryDirectory();
// A fresh globally unique string, such as "3F2504E0-4F89-41D3-9A0C-0305E82C3301".
std::string uniqueString();

std::string pathByAppending(const std::string& directory, const std::string& component);
std::string pathByReplacingExtension(const std::string& path, const std::string& extension);
std::string lastPathComponent(const std::string& path);
std::string pathExtension(const std::string& path);
std::string deletingLastPathComponent(const std::string& path);

bool fileExists(const std::string& path);
// Removes a file; true when it is gone afterwards (also when it never existed).
bool removeFile(const std::string& path);
long long fileSize(const std::string& path);

// The folder that holds the running executable.
std::string executableDirectory();
// The application's bundled resources: <executable folder>/../share/taluvex, which is the same
// whether Taluvex runs from the build tree (build/bin) or is installed (/usr/bin).
std::string resourceDirectory();
// A bundled resource by name and type ("SoundTrackInfo", "plist"); empty when it is missing.
std::string resourcePath(const std::string& name, const std::string& type);

} // namespace tx
