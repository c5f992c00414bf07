// The settings screens' tests run the GUI application on the offscreen platform, keep their
// settings file in a Documents folder of their own and play sounds into silence.
#include "platform/foundation/Paths.h"
#include "platform/media/AudioPlayer.h"
#include "platform/ui/Application.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string home = std::filesystem::temp_directory_path() / "taluvex-settings-XXXXXX";
    if (::mkdtemp(home.data()) != nullptr)
        setenv("XDG_DATA_HOME", home.c_str(), 1);
    tx::Application::ensureGuiApplication();
    tx::AudioPlayer::setSinkFactory(tx::AudioPlayer::makeSilentSink);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return result;
}
