#include "platform/foundation/Paths.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tx;
using namespace tx::test;

namespace {

struct Result {
    int status;
    std::string err;
    std::string out;
};

Result render(const std::string& args) {
    const std::string errFile = tempPath("err");
    const std::string outFile = tempPath("out");
    const int status =
        run("timeout 60 " + std::string(TALUVEX_RENDER) + " " + args + " >" + outFile + " 2>" +
            errFile);
    Result r{status, capture("cat " + errFile), capture("cat " + outFile)};
    std::filesystem::remove(errFile);
    std::filesystem::remove(outFile);
    return r;
}

std::string smallClip() {
    ClipSpec spec;
    spec.seconds = 1.5;
    spec.width = 64;
    spec.height = 48;
    return makeClip(spec);
}

} // namespace

TEST(RenderCommand, UsageErrorsExitWithTwoAndSayWhy) {
    const std::string clip = smallClip();
    struct Case {
        std::string args;
        std::string mention;
    };
    const std::vector<Case> cases = {
        {"--speed 90 " + clip + " x.mov", "70, 100 or 130"},
        {"--sound track:7 " + clip + " x.mov", "1 to 6"},
        {"--frobnicate " + clip + " x.mov", "unknown option --frobnicate"},
        {clip, "usage"},
        {"--speed", "needs a value"},
        {"--from 1O " + clip + " x.mov", "number of seconds"},
        {"--to -1 " + clip + " x.mov", "number of seconds"},
        {"--from 1 --to 0.5 " + clip + " x.mov", "after --from"},
    };
    for (const Case& c : cases) {
        const Result r = render(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.mention), std::string::npos) << c.args << " said: " << r.err;
    }
    const Result help = render("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("cannot do"), std::string::npos);
}

TEST(RenderCommand, RendersAndReportsTheMovie) {
    const std::string out = tempPath("mov");
    const Result r = render("--speed 130 " + smallClip() + " " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(out), std::string::npos);
    EXPECT_NE(r.out.find("1.15 s"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("rendering: 100%"), std::string::npos) << r.err;
    EXPECT_EQ(probeStream(out, "a:0", "codec_name"), "aac");
    const Result mute = render("--sound mute " + smallClip() + " " + out);
    ASSERT_EQ(mute.status, 0) << mute.err;
    EXPECT_EQ(probeStream(out, "a:0", "codec_name"), "");
    const Result forward = render("--sound " + makeSound(0.5) + " " + smallClip() + " " + out);
    ASSERT_EQ(forward.status, 0) << forward.err;
    EXPECT_NEAR(probeDuration(out, "a:0"), 1.5, 0.05);
    std::filesystem::remove(out);
}

TEST(RenderCommand, AStretchIsRenderedAloneWithItsOwnSound) {
    const std::string out = tempPath("mov");
    const Result r = render("--from 0.5 --to 1.2 " + smallClip() + " " + out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(probeFrameCount(out, "v:0"), 21); // pictures 15 to 35 of a 30 per second clip
    EXPECT_NEAR(probeDuration(out, "v:0"), 0.7, 0.04);
    EXPECT_NEAR(probeDuration(out, "a:0"), 0.7, 0.05);
    const Result open = render("--from 1 " + smallClip() + " " + out); // to the end
    ASSERT_EQ(open.status, 0) << open.err;
    EXPECT_EQ(probeFrameCount(out, "v:0"), 15);
    std::filesystem::remove(out);
}

TEST(RenderCommand, FailuresNameTheFileAndLeaveNoOutput) {
    const std::string notMovie = tempPath("mov");
    std::ofstream(notMovie) << "plain text";
    const std::string out = tempPath("mov");
    struct Case {
        std::string args;
        std::string mention;
    };
    const std::vector<Case> cases = {
        {notMovie + " " + out, notMovie},
        {"/nonexistent/in.mov " + out, "/nonexistent/in.mov"},
        {smallClip() + " /nonexistent-folder/out.mov", "/nonexistent-folder"},
        {"--sound /nonexistent/song.m4a " + smallClip() + " " + out, "/nonexistent/song.m4a"},
        {"--from 5 " + smallClip() + " " + out, "no pictures from 5.000 s"},
    };
    for (const Case& c : cases) {
        const Result r = render(c.args);
        EXPECT_EQ(r.status, 1) << c.args;
        EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 0) << "one line: " << r.err;
        EXPECT_FALSE(fileExists(out));
    }
}

TEST(RenderCommand, InterruptCancelsAndRemovesThePartialMovie) {
    ClipSpec spec;
    spec.seconds = 20;
    spec.width = 640;
    spec.height = 480;
    spec.indexInBrightness = false;
    const std::string clip = makeClip(spec);
    const std::string out = tempPath("mov");
    const std::string errFile = tempPath("err");
    const pid_t child = fork();
    if (child == 0) {
        freopen(errFile.c_str(), "w", stderr);
        execl(TALUVEX_RENDER, TALUVEX_RENDER, clip.c_str(), out.c_str(),
              static_cast<char*>(nullptr));
        _exit(99);
    }
    // Interrupt once the render is under way (its first progress line).
    for (int i = 0; i < 600 && capture("cat " + errFile).find("rendering:") == std::string::npos;
         ++i) {
        usleep(50 * 1000);
    }
    kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130);
    EXPECT_FALSE(fileExists(out));
    std::filesystem::remove(errFile);
    EXPECT_FALSE(workingFilesBeside(out));
}

TEST(RenderCommand, PipesAndDamagedMoviesAreRefusedAtOnceInOneLine) {
    const std::string fifo = tempPath("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string clip = smallClip();
    // A picture track with a timescale of 0.
    const std::string damaged = movieWithBoxField(clip, "mdhd", 0, 20, 0);
    const std::string out = tempPath("mov");
    struct Case {
        std::string args;
        std::string mention;
    };
    const std::vector<Case> cases = {
        {fifo + " " + out, fifo},
        {"--sound " + fifo + " " + clip + " " + out, fifo},
        {damaged + " " + out, "the movie's timing is damaged"},
    };
    for (const Case& c : cases) {
        const Result r = render(c.args);
        EXPECT_EQ(r.status, 1) << c.args << ": " << r.err;
        EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 0) << "one line: " << r.err;
        EXPECT_FALSE(fileExists(out));
    }
    std::filesystem::remove(fifo);
}

TEST(RenderCommand, LongOutputNamesAreWrittenAndAFullDiskNamesTheOutput) {
    const std::string folder = deletingLastPathComponent(tempPath("mov"));
    const std::string longName = pathByAppending(folder, std::string(196, 'l') + ".mov");
    const Result written = render(smallClip() + " " + longName);
    EXPECT_EQ(written.status, 0) << written.err;
    EXPECT_TRUE(fileExists(longName));
    std::filesystem::remove(longName);

    // Files may grow to 8 kB only; the failed write is told about the movie asked for.
    const std::string out = tempPath("mov");
    const std::string errFile = tempPath("err");
    const int status = run("sh -c \"trap '' XFSZ; ulimit -f 16; exec " + std::string(TALUVEX_RENDER) +
                           " " + smallClip() + " " + out + "\" 2>" + errFile);
    const std::string err = capture("cat " + errFile);
    std::filesystem::remove(errFile);
    EXPECT_EQ(status, 1) << err;
    EXPECT_NE(err.find(out), std::string::npos) << err;
    EXPECT_EQ(err.find("/." + lastPathComponent(out)), std::string::npos) << err;
    EXPECT_FALSE(fileExists(out));
    EXPECT_FALSE(workingFilesBeside(out));
}

TEST(RenderCommand, LengthRunsFromTheFirstSampleNotFromZero) {
    ClipSpec spec;
    spec.seconds = 2.0;
    spec.width = 64;
    spec.height = 48;
    spec.container = "ts";
    spec.startOffset = 1.4;
    const std::string clip = makeClip(spec);
    const std::string said = capture(std::string(TALUVEX_LENGTH) + " " + clip);
    const std::size_t colon = said.rfind(": ");
    ASSERT_NE(colon, std::string::npos) << said;
    EXPECT_NEAR(std::stod(said.substr(colon + 2)), 2.0, 0.05) << said;

    // A movie whose length cannot be believed has none, and the reason is given.
    const std::string damaged = movieWithBoxField(smallClip(), "mdhd", 0, 20, 0);
    const std::string refused = capture(std::string(TALUVEX_LENGTH) + " " + damaged + " 2>&1");
    EXPECT_NE(refused.find(damaged + ": the movie's timing is damaged"), std::string::npos)
        << refused;
    // ... in the reader's language, reason and all.
    const std::string german =
        capture("LANGUAGE=de " + std::string(TALUVEX_LENGTH) + " " + damaged + " 2>&1");
    EXPECT_NE(german.find(damaged + ": die Zeitangaben des Films sind besch"), std::string::npos)
        << german;
    EXPECT_NE(german.find("die Bilder"), std::string::npos) << german;
}

TEST(RenderCommand, ASuccessfulRenderOfADamagedMovieSaysNothingFromItsDecoders) {
    // The first picture of a Motion JPEG movie cut to two bytes: the decoder's complaint about it
    // is no business of the person rendering; the render goes on without that picture.
    const std::string clip = tempPath("mov");
    ASSERT_EQ(run("ffmpeg -loglevel error -y -f lavfi -i testsrc=size=64x48:rate=30 -f lavfi -i "
                  "sine=sample_rate=44100 -t 1 -c:v mjpeg -c:a pcm_s16le " + clip),
              0);
    const std::string damaged = movieWithBoxField(clip, "stsz", 0, 20, 2);
    const std::string out = tempPath("mov");
    const Result r = render(damaged + " " + out);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find('['), std::string::npos) << r.err;
    std::filesystem::remove(out);
    std::filesystem::remove(clip);
    std::filesystem::remove(damaged);
}
