// Measured by bench/music-library-scan, not run by the suite: how soon the first songs of a large
// Music folder show, how long the whole folder takes, and the longest the window's loop waits
// meanwhile. TALUVEX_BENCH_MUSIC_DIR names the folder.
#include "platform/foundation/RunLoop.h"
#include "platform/system/MediaPickerController.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace tx {
namespace {

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(MusicLibraryBench, DISABLED_ScanOfALargeFolder) {
    const char* folder = std::getenv("TALUVEX_BENCH_MUSIC_DIR");
    ASSERT_TRUE(folder);
    auto window = std::make_shared<Window>(Screen::mainScreen().bounds());
    window->makeKeyAndVisible();
    auto root = std::make_shared<ViewController>();
    window->setRootViewController(root);

    const auto start = std::chrono::steady_clock::now();
    auto picker = std::make_shared<MediaPickerController>();
    picker->setMusicDirectory(folder);
    root->presentViewController(picker, false);
    const double opened = secondsSince(start);

    // The loop's longest wait between two turns while the folder is read.
    double firstRows = -1;
    double longestStall = 0;
    auto last = std::chrono::steady_clock::now();
    while (picker->isScanning()) {
        RunLoop::runFor(0.005);
        longestStall = std::max(longestStall, secondsSince(last));
        last = std::chrono::steady_clock::now();
        if (firstRows < 0 && !picker->items().empty())
            firstRows = secondsSince(start);
    }
    const double total = secondsSince(start);
    std::printf("songs %zu\nopen_seconds %.4f\nfirst_rows_seconds %.4f\nall_rows_seconds %.3f\n"
                "longest_loop_stall_seconds %.4f\n",
                picker->items().size(), opened, firstRows, total, longestStall);
}

} // namespace
} // namespace tx
