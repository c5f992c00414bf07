// taluvex's own options answer without opening a window.
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <string>

namespace tx::test {
namespace {

const std::string kTaluvex = TALUVEX_PATH;

TEST(CommandLine, HelpAndVersionAnswerWithoutADisplayAndUnknownOptionsAreRefused) {
    // No display at all: the options must not need one.
    const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= ";
    EXPECT_EQ(capture(noDisplay + kTaluvex + " --version"),
              "taluvex " TALUVEX_VERSION); // capture() trims the line end
    const std::string help = capture(noDisplay + kTaluvex + " --help");
    for (const char* mention : {"Space", "Esc", "Ctrl+Left/Right", "Documents", "--version",
                                "--sign-out", "Ctrl+Q", "settings panel", "F1", "Shift+Tab", "Ctrl+Tab"}) {
        EXPECT_NE(help.find(mention), std::string::npos) << mention;
    }
    EXPECT_EQ(run(noDisplay + kTaluvex + " --frobnicate >/dev/null 2>&1"), 2);
}

} // namespace
} // namespace tx::test
