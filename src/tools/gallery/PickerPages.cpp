// Pages of the tour for the movie picker: the list of a Videos folder and the trim screen, on
// clips made for the tour with the ffmpeg command-line tool.
#include "Gallery.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/system/ImagePickerController.h"
#include "platform/system/MovieTrimViewController.h"

#include <cstdlib>
#include <filesystem>

namespace tx::gallery {
namespace {

struct TourClip {
    const char* name;
    const char* source; // a lavfi source
    const char* seconds;
    const char* date;
};

// A Videos folder of the tour's own, made once per run.
const std::string& tourVideos() {
    static const std::string folder = [] {
        const std::string dir = privateTemporaryDirectory() + "Videos";
        std::filesystem::create_directories(dir);
        const TourClip clips[] = {
            {"Skate park.mov", "testsrc2=size=320x240:rate=30", "7.9", "2026-12-08 18:20"},
            {"Fractal zoom.mp4", "mandelbrot=size=320x240:rate=25", "12.4", "2026-12-06 09:05"},
            {"Game of life.mov",
             "life=size=320x240:rate=30:mold=10:ratio=0.1:death_color=#101820:"
             "life_color=#ffb13b",
             "3.4", "2026-11-30 14:40"},
            {"Colour bars.mkv", "smptehdbars=size=320x180:rate=24", "65.2", "2026-11-12 20:00"},
        };
        for (const TourClip& clip : clips) {
            const std::string path = dir + "/" + clip.name;
            const std::string make = "ffmpeg -nostdin -loglevel error -y -f lavfi -i \"" +
                                     std::string(clip.source) + "\" -t " + clip.seconds +
                                     " -c:v libx264 -preset ultrafast -pix_fmt yuv420p \"" + path +
                                     "\" && touch -d '" + clip.date + "' \"" + path + "\"";
            if (std::system(make.c_str()) != 0)
                std::fprintf(stderr, "taluvex-gallery: cannot make %s\n", path.c_str());
        }
        return dir;
    }();
    return folder;
}

std::shared_ptr<ImagePickerController> showPicker(Window& window, const std::string& initial) {
    auto picker = std::make_shared<ImagePickerController>();
    picker->setAllowsEditing(true);
    picker->setMovieFolder(tourVideos());
    picker->setInitialMoviePath(initial);
    window.setRootViewController(picker);
    return picker;
}

GalleryRegistration list({"movie-picker", [](Window& window) {
                              auto picker = showPicker(window, {});
                              RunLoop::runUntil([&] { return !picker->isScanning(); }, 20);
                              picker->selectRow(2);
                          }});

// The trim screen of a tour clip, once its strip of stills is complete.
MovieTrimViewController* showTrim(Window& window, const std::string& clip) {
    auto picker = showPicker(window, tourVideos() + "/" + clip);
    RunLoop::runUntil(
        [&] {
            auto* t = picker->trimViewController();
            return t && t->isReady() && t->stripStillCount() == 10;
        },
        20);
    return picker->trimViewController();
}

GalleryRegistration trim({"trim-screen", [](Window& window) {
                              if (auto* t = showTrim(window, "Skate park.mov")) {
                                  t->setRange({1.6, 5.9});
                                  t->setActiveHandle(TrimHandle::End);
                                  RunLoop::runFor(0.5); // the still at the handle arrives
                              }
                          }});

} // namespace
} // namespace tx::gallery
