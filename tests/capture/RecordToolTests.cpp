#include "platform/foundation/Paths.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

namespace tx {
namespace {

int exitStatus(const std::string& arguments, std::string* output = nullptr) {
    // A temporary folder of its own, so its "capture.mov" meets no other test's.
    const std::string scratch = pathByAppending(temporaryDirectory(), "record-" + uniqueString());
    std::filesystem::create_directories(scratch);
    const std::string command =
        "TMPDIR='" + scratch + "' " + std::string(TALUVEX_RECORD_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string text;
    char buffer[512];
    while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr) {
        text += buffer;
    }
    const int status = pipe != nullptr ? pclose(pipe) : -1;
    if (output != nullptr) {
        *output = text;
    }
    std::filesystem::remove_all(scratch);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RecordTool, RecordsFromTheVirtualCameraAndSavesTheMovie) {
    const std::string path = test::tempPath("mov");
    std::string output;
    ASSERT_EQ(exitStatus("--seconds 1 --preset 640x480 '" + path + "'", &output), 0) << output;
    EXPECT_NE(output.find("camera: "), std::string::npos);
    EXPECT_NE(output.find("saved " + path), std::string::npos);
    EXPECT_EQ(test::probeStream(path, "v:0", "width"), "640");
    EXPECT_NEAR(test::probeDuration(path, "v:0"), 1.0, 0.2);
    removeFile(path);
}

TEST(RecordTool, MakesTheBackwardsMovieOnEitherRoadWithOrWithoutSound) {
    struct Case {
        const char* options;
        const char* road;
        bool sound;
    };
    for (const Case c : {Case{"", "reversed while recording", true},
                         Case{"--after --sound mute", "rendered after the recording", false}}) {
        const std::string path = test::tempPath("mov");
        const std::string backwards = test::tempPath("mov");
        std::string output;
        ASSERT_EQ(exitStatus("--seconds 1 " + std::string(c.options) + " --backwards '" +
                                 backwards + "' '" + path + "'",
                             &output),
                  0)
            << output;
        EXPECT_NE(output.find(c.road), std::string::npos) << output;
        EXPECT_EQ(test::probePacketCount(backwards, "v:0"), test::probePacketCount(path, "v:0"));
        EXPECT_EQ(!test::probeStream(backwards, "a:0", "codec_name").empty(), c.sound);
        std::filesystem::remove(path);
        std::filesystem::remove(backwards);
    }
}

TEST(RecordTool, UsageErrorsExitWithTwoAndAnUnwritableDestinationWithOne) {
    EXPECT_EQ(exitStatus(""), 2);
    EXPECT_EQ(exitStatus("--seconds 901 out.mov"), 2);
    EXPECT_EQ(exitStatus("--camera side out.mov"), 2);
    EXPECT_EQ(exitStatus("--after out.mov"), 2); // it chooses how the backwards movie is made
    EXPECT_EQ(exitStatus("--sound mute out.mov"), 2);
    EXPECT_EQ(exitStatus("--backwards b.mov --sound loud out.mov"), 2);
    std::string output;
    EXPECT_EQ(exitStatus("--seconds 1 /nonexistent-folder/out.mov", &output), 1);
    EXPECT_NE(output.find("/nonexistent-folder"), std::string::npos);
    // In the reader's language, the values still in their places.
    setenv("LANGUAGE", "de", 1);
    EXPECT_EQ(exitStatus("--seconds 1 /nonexistent-folder/out.mov", &output), 1);
    EXPECT_NE(output.find("Der Ordner /nonexistent-folder existiert nicht"), std::string::npos)
        << output;
    EXPECT_EQ(exitStatus("--seconds 0.0x out.mov", &output), 2);
    EXPECT_NE(output.find("höchstens 900, nicht „0.0x“"), std::string::npos) << output;
    unsetenv("LANGUAGE");
}

} // namespace
} // namespace tx
