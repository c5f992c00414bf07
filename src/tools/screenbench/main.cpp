// taluvex-screen-bench library | play MOVIE
//   library  opens the movie library on the Documents folder (XDG_DATA_HOME) in an offscreen
//            window, then scrolls it to the end a screen at a time; prints the seconds to the
//            first drawn frame, the slowest scroll step, the thumbnails still waiting and the
//            seconds quitting then takes.
//   play     plays MOVIE to its end in the player screen (silent sound output); prints the
//            seconds to the first picture, pictures shown and dropped, CPU seconds and peak
//            memory.
#include "app/ThumbnailQueue.h"
#include "library/MoviesViewController.h"
#include "library/MyMoviesViewController.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/RunLoop.h"
#include "platform/media/AudioPlayer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"
#include "share/MyMPMoviePlayerViewController.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace tx;

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

int benchLibrary(Window& window, const std::shared_ptr<ViewController>& root) {
    const auto start = Clock::now();
    auto library = std::make_shared<MoviesViewController>();
    root->presentViewController(library, false);
    window.displayNow();
    const double open = since(start);
    auto* list = dynamic_cast<MyMoviesViewController*>(library->curViewController().get());
    if (list == nullptr) {
        std::fprintf(stderr, "taluvex-screen-bench: the library did not show its list\n");
        return 1;
    }
    const auto& table = list->tableView();
    const double page = table->bounds().size.height;
    double slowest = 0;
    int steps = 0;
    for (double y = 0; y + page < table->contentSize().height + page; y += page / 4) {
        const auto step = Clock::now();
        table->setContentOffset(Point(0, y));
        table->layoutIfNeeded();
        window.displayNow();
        slowest = std::max(slowest, since(step));
        ++steps;
    }
    std::printf("movies %zu\nopen_seconds %.4f\nscroll_steps %d\nslowest_step_seconds %.4f\n",
                list->fileInfoArr().size(), open, steps, slowest);
    // Thumbnails still to be made after the scroll, and how long quitting waits for them.
    const std::size_t pending = ThumbnailQueue::shared().pendingCount();
    const auto quitting = Clock::now();
    ThumbnailQueue::shared().stop();
    std::printf("thumbnails_pending %zu\nquit_seconds %.4f\n", pending, since(quitting));
    return 0;
}

int benchPlay(const std::shared_ptr<ViewController>& root, const std::string& movie) {
    AudioPlayer::setSinkFactory([] { return AudioPlayer::makeSilentSink(); });
    const auto start = Clock::now();
    auto player = std::make_shared<MyMPMoviePlayerViewController>(movie);
    const double opened = since(start);
    bool finished = false;
    NotificationCenter::defaultCenter().addObserver(
        &finished, kMPMoviePlayerPlaybackDidFinishNotification,
        [&](const Notification&) { finished = true; }, player->moviePlayer().get());
    root->presentViewController(player, false);
    const auto& playback = player->moviePlayer()->playback();
    if (!playback) {
        std::fprintf(stderr, "taluvex-screen-bench: %s cannot be played\n", movie.c_str());
        return 1;
    }
    RunLoop::runUntil([&] { return player->pictureView()->picture() != nullptr; }, 10);
    const double first = since(start);
    RunLoop::runUntil([&] { return finished; }, playback->duration() + 30);
    const double wall = since(start);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                       usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    std::printf("open_seconds %.4f\n", opened);
    std::printf("duration_seconds %.3f\nfirst_picture_seconds %.4f\nwall_seconds %.3f\n"
                "pictures_shown %llu\npictures_dropped %d\ncpu_seconds %.3f\npeak_kib %ld\n",
                playback->duration(), first, wall,
                static_cast<unsigned long long>(playback->pictureSerial()),
                playback->droppedPictures(), cpu, usage.ru_maxrss);
    NotificationCenter::defaultCenter().removeObserver(&finished);
    return finished ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const bool library = argc == 2 && std::strcmp(argv[1], "library") == 0;
    const bool play = argc == 3 && std::strcmp(argv[1], "play") == 0;
    if (!library && !play) {
        std::fprintf(stderr, "usage: taluvex-screen-bench library | play MOVIE\n");
        return 2;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    Application::ensureGuiApplication();
    Screen::mainScreen().setHeight(568);
    auto window = std::make_shared<Window>(Screen::mainScreen().bounds());
    auto root = std::make_shared<ViewController>();
    window->setRootViewController(root);
    window->makeKeyAndVisible();
    return library ? benchLibrary(*window, root) : benchPlay(root, argv[2]);
}
