// The desktop's file dialog, for the "Other…" entries of the pickers and for saving a file where
// the user says. Answers arrive on the main run loop.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tx {

struct FileDialogRequest {
    std::string title;
    // Qt-style filters, such as "Movies (*.mov *.mp4 *.mkv)".
    std::vector<std::string> nameFilters;
    std::string directory;
    // Saving asks for a new file name; opening picks an existing file.
    bool save = false;
    std::string suggestedName;
    // Called instead of the completion when this desktop has no file chooser at all (no portal,
    // no dialog program), so the caller can say what works instead.
    std::function<void()> onUnavailable;
};

// One entry of `nameFilters` taken apart: "Movies (*.mov *.mp4)" is "Movies" with two patterns.
struct FileDialogFilter {
    std::string name;
    std::vector<std::string> patterns;
};
std::vector<FileDialogFilter> parseNameFilters(const std::vector<std::string>& nameFilters);

class FileDialog {
public:
    // The chosen path, or empty when the user cancelled or no dialog could be shown.
    using Completion = std::function<void(const std::string& path)>;
    using Handler = std::function<void(const FileDialogRequest& request, Completion completion)>;

    static void run(const FileDialogRequest& request, Completion completion);
    // Stands in for the desktop (tests, the gallery); an empty handler restores the desktop's.
    static void setHandler(Handler handler);
};

} // namespace tx
