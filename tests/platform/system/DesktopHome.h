// A home folder of the test's own: HOME and the XDG folders point into a fresh temporary folder
// while a test runs, so the Videos folder, the trash and the Documents folder are the test's.
#pragma once

#include "platform/foundation/Paths.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace tx::test {

class DesktopHomeTest : public ::testing::Test {
protected:
    void SetUp() override {
        home =
            (std::filesystem::temp_directory_path() / ("taluvex-home-" + uniqueString())).string();
        std::filesystem::create_directories(home);
        for (const char* name : {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"}) {
            const char* value = std::getenv(name);
            _saved.push_back(
                {name, value != nullptr ? std::optional<std::string>(value) : std::nullopt});
        }
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/.local/share").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home + "/.cache").c_str(), 1);
        window = std::make_shared<Window>(Screen::mainScreen().bounds());
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        window.reset();
        for (const auto& [name, value] : _saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        std::error_code ec;
        std::filesystem::remove_all(home, ec);
    }

    // A file of `bytes` varied bytes.
    std::string makeFile(const std::string& path, std::size_t bytes) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream out(path, std::ios::binary);
        for (std::size_t i = 0; i < bytes; ++i) {
            out.put(static_cast<char>((i * 7919 + i / 251) & 0xff));
        }
        return path;
    }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    static std::vector<std::string> namesIn(const std::string& folder) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string home;
    std::shared_ptr<Window> window;

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> _saved;
};

} // namespace tx::test
