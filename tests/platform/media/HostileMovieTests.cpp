// Damaged and hostile inputs: refused at open with the reason and the file, quickly and without
// reserving memory for the numbers they claim.
#include "platform/media/Asset.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <sys/stat.h>
#include <unistd.h>

using namespace tx;
using namespace tx::test;

namespace {

// Box field offsets in version 0 boxes: mdhd's timescale and duration, stts's first delta.
constexpr int kMdhdTimescale = 20;
constexpr int kMdhdDuration = 24;
constexpr int kSttsFirstDelta = 20;

std::string plainClip() {
    ClipSpec spec;
    spec.seconds = 2;
    spec.width = 64;
    spec.height = 48;
    return makeClip(spec);
}

} // namespace

TEST(HostileMovies, DamagedTimingIsRefusedNamingTheFile) {
    const std::string clip = plainClip();
    struct Case {
        std::string name;
        std::string path;
    };
    const std::string timescaleOne = movieWithBoxField(clip, "mdhd", 0, kMdhdTimescale, 1);
    const std::vector<Case> cases = {
        {"picture timescale 0", movieWithBoxField(clip, "mdhd", 0, kMdhdTimescale, 0)},
        {"picture timescale 1, longest duration",
         movieWithBoxField(timescaleOne, "mdhd", 0, kMdhdDuration, 0xFFFFFFFF)},
        {"huge picture step", movieWithBoxField(clip, "stts", 0, kSttsFirstDelta, 2000000000)},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(c.path.empty()) << c.name;
        for (const bool timingOnly : {false, true}) {
            ErrorPtr error;
            const auto started = std::chrono::steady_clock::now();
            const AssetPtr asset = timingOnly ? Asset::urlAssetForTiming(c.path, &error)
                                              : Asset::urlAsset(c.path, true, &error);
            EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2))
                << c.name;
            EXPECT_FALSE(asset) << c.name << (timingOnly ? " (timing only)" : "");
            ASSERT_TRUE(error) << c.name;
            const std::string text = error->localizedDescription();
            EXPECT_NE(text.find("the movie's timing is damaged"), std::string::npos)
                << c.name << ": " << text;
            EXPECT_NE(text.find(c.path), std::string::npos) << c.name << ": " << text;
        }
    }
    // The untouched movie still opens, and so does one whose numbers are odd but sane.
    EXPECT_TRUE(Asset::urlAsset(clip, true));
    EXPECT_TRUE(Asset::urlAsset(movieWithBoxField(clip, "mdhd", 0, kMdhdDuration, 1), true));
}

TEST(HostileMovies, PipesDevicesAndFoldersAreRefusedWithoutOpening) {
    const std::string fifo = tempPath("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = tempPath("d");
    std::filesystem::create_directory(folder);
    for (const std::string& path : {fifo, std::string("/dev/zero"), folder}) {
        auto opening = std::async(std::launch::async, [path] {
            ErrorPtr error;
            const bool opened = Asset::urlAsset(path, true, &error) != nullptr;
            return std::make_pair(opened, error ? error->localizedDescription() : std::string());
        });
        if (opening.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
            // Let a blocked open go (a writer arrives and leaves) before failing.
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
            ADD_FAILURE() << path << ": opening it blocked";
            continue;
        }
        const auto [opened, text] = opening.get();
        EXPECT_FALSE(opened) << path;
        EXPECT_NE(text.find(path), std::string::npos) << text;
    }
    std::filesystem::remove(fifo);
    std::filesystem::remove(folder);
}

// FFmpeg's reasons reach the reader in their language, not in FFmpeg's English.
TEST(HostileMovies, TheReasonAFileIsNoMovieIsInTheReadersLanguage) {
    const std::string path = tempPath("garbage.mov");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 4096; ++i) {
            out.put(static_cast<char>((i * 7919) % 251));
        }
    }
    const char* before = std::getenv("LANGUAGE");
    const std::string saved = before ? before : "";
    setenv("LANGUAGE", "de", 1);
    ErrorPtr error;
    EXPECT_EQ(Asset::urlAsset(path, true, &error), nullptr);
    before ? setenv("LANGUAGE", saved.c_str(), 1) : unsetenv("LANGUAGE");
    ASSERT_TRUE(error);
    const std::string text = error->localizedDescription();
    EXPECT_NE(text.find(path), std::string::npos) << text;
    EXPECT_NE(text.find("Daten sind beschädigt"), std::string::npos) << text;
    EXPECT_EQ(text.find("Invalid data"), std::string::npos) << text;
    std::filesystem::remove(path);
}
