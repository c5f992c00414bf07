// taluvex-gallery <folder> [--height 480|568]: renders every page of the screenshot tour into
// <folder>/<nn>-<page>.png, without a display. With --accessibility it prints each page as a
// screen reader finds it instead, and fails when a control there has no name.
#include "Gallery.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Application.h"
#include "platform/ui/OffscreenRenderer.h"
#include "platform/ui/Screen.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace tx;

int main(int argc, char** argv) {
    std::string folder;
    double height = 480;
    bool accessibility = false;
    bool usage = false;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--height") == 0 && i + 1 < argc)
            height = std::atof(argv[++i]);
        else if (std::strcmp(argv[i], "--accessibility") == 0)
            accessibility = true;
        else if (std::strcmp(argv[i], "--help") == 0 || argv[i][0] == '-')
            usage = true, i = argc;
        else
            folder = argv[i];
    }
    if (usage || (folder.empty() && !accessibility) || (height != 480 && height != 568)) {
        std::fprintf(stderr,
                     "usage: taluvex-gallery <output folder> [--height 480|568]\n"
                     "       taluvex-gallery --accessibility [--height 480|568]\n"
                     "Renders sample screens built from the interface kit into PNG files, or\n"
                     "prints each as a screen reader finds it and lists controls without a name.\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // What the screens save (the settings file) goes to a folder of the tour's own, never into
    // the user's Documents.
    std::string data = (std::filesystem::temp_directory_path() / "taluvex-gallery-XXXXXX").string();
    if (::mkdtemp(data.data()) != nullptr)
        setenv("XDG_DATA_HOME", data.c_str(), 1);
    Application::ensureGuiApplication();
    Screen::mainScreen().setHeight(height);
    if (!folder.empty())
        std::filesystem::create_directories(folder);
    std::vector<std::string> unnamed;

    double now = 0;
    View::setAnimationClock([&] { return now; });
    int index = 0;
    for (const auto& page : gallery::galleryPages()) {
        now = 0;
        auto window = std::make_shared<Window>(Screen::mainScreen().bounds());
        window->makeKeyWindow();
        page.build(*window);
        now = page.advanceSeconds;
        RunLoop::runFor(0.05); // completions of the animations that ended run now
        if (accessibility) {
            // Read as on screen: the tour's windows are never shown on the desktop.
            window->setHidden(false);
            std::printf("== %02d-%s\n%s", ++index, page.name.c_str(),
                        accessibleTreeText(*window).c_str());
            for (const std::string& missing : unnamedAccessibleElements(*window))
                unnamed.push_back(page.name + ": " + missing);
            window->setHidden(true);
            continue;
        }
        char name[256];
        std::snprintf(name, sizeof name, "%02d-%s.png", ++index, page.name.c_str());
        std::string path = (std::filesystem::path(folder) / name).string();
        if (!writeViewPNG(*window, path)) {
            std::fprintf(stderr, "taluvex-gallery: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    std::error_code ec;
    std::filesystem::remove_all(data, ec);
    if (!unnamed.empty()) {
        std::fprintf(stderr, "taluvex-gallery: %zu controls have no name:\n", unnamed.size());
        for (const std::string& line : unnamed)
            std::fprintf(stderr, "  %s\n", line.c_str());
        return 1;
    }
    return 0;
}
