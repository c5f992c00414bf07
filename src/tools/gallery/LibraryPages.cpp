// Pages of the movie library: the list with sample movies, its edit mode with a delete
// confirmation, and the YouTube tab's header over an empty list.
#include "Gallery.h"
#include "GalleryMovies.h"

#include "app/AppConfigureInfo.h"
#include "app/TaluvexAppDelegate.h"
#include "library/MoviesViewController.h"
#include "library/MyMoviesViewController.h"
#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace tx::gallery {

const std::vector<std::string>& sampleMovies() {
    static const std::vector<std::string> movies = [] {
        static const std::string home = temporaryDirectory() + "taluvex-gallery-" + uniqueString();
        setenv("XDG_DATA_HOME", home.c_str(), 1);
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(home, ec);
        });
        const std::string documents = documentsDirectory();
        struct Sample {
            std::string name;
            double seconds;
            const char* source;
            int hoursAgo;
        };
        const Sample samples[] = {{"B1C4E2D0.mov", 7.9, "testsrc2=size=480x360:rate=30", 2},
                                  {"holiday/5A7F0C11.mov", 3.4, "testsrc=size=480x360:rate=30", 30},
                                  {"9E2D4F6A.mov", 75.9, "smptehdbars=size=480x360:rate=30", 80},
                                  {"0C3B8E77.mov", 12.5, "rgbtestsrc=size=360x480:rate=25", 200}};
        std::vector<std::string> paths;
        TaluvexAppDelegate thumbnails;
        for (const Sample& s : samples) {
            const std::string path = documents + "/" + s.name;
            fs::create_directories(fs::path(path).parent_path());
            const std::string command =
                "ffmpeg -nostdin -loglevel error -y -f lavfi -i " + std::string(s.source) +
                ":duration=" + std::to_string(s.seconds) +
                " -f lavfi -i sine=frequency=330:duration=" + std::to_string(s.seconds) +
                " -c:v libx264 -preset ultrafast -pix_fmt yuv420p -c:a aac -shortest '" + path +
                "'";
            if (std::system(command.c_str()) != 0) {
                continue;
            }
            fs::last_write_time(path,
                                fs::file_time_type::clock::now() - std::chrono::hours(s.hoursAgo));
            thumbnails.generatorThumbFile(path);
            paths.push_back(path);
        }
        return paths;
    }();
    return movies;
}

namespace {

std::shared_ptr<MoviesViewController> presentLibrary(Window& window, int tab) {
    sampleMovies();
    AppConfigureInfo::shareAppConfigureInfo()->setMoviesTabIndex(tab);
    auto root = std::make_shared<ViewController>();
    window.setRootViewController(root);
    auto library = std::make_shared<MoviesViewController>();
    root->presentViewController(library, false);
    return library;
}

MyMoviesViewController& listOf(MoviesViewController& library) {
    return dynamic_cast<MyMoviesViewController&>(*library.curViewController());
}

GalleryRegistration library({"library", [](Window& window) {
                                 auto shown = presentLibrary(window, 0);
                                 listOf(*shown).tableView()->layoutIfNeeded();
                             }});

GalleryRegistration libraryEdit({"library-edit-delete", [](Window& window) {
                                     auto shown = presentLibrary(window, 0);
                                     MyMoviesViewController& list = listOf(*shown);
                                     list.onEdit();
                                     list.tableView()->layoutIfNeeded();
                                     if (auto cell = list.tableView()->cellForRowAtIndexPath(
                                             IndexPath::forRow(1))) {
                                         cell->showDeleteConfirmation(true);
                                     }
                                 }});

GalleryRegistration libraryAsk({"library-delete-alert", [](Window& window) {
                                    auto shown = presentLibrary(window, 0);
                                    MyMoviesViewController& list = listOf(*shown);
                                    list.tableView()->layoutIfNeeded();
                                    KeyEvent down;
                                    down.key = KeyEvent::Key::Down;
                                    KeyEvent remove;
                                    remove.key = KeyEvent::Key::Delete;
                                    window.sendKey(down);
                                    window.sendKey(remove);
                                }});

GalleryRegistration youtubeTab({"library-youtube-tab",
                                [](Window& window) { presentLibrary(window, 1); }});

} // namespace
} // namespace tx::gallery
