// A fresh Documents folder for each test: XDG_DATA_HOME points into the test's own temporary
// folder while the test runs.
#pragma once

#include "platform/foundation/Paths.h"
#include "platform/ui/View.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tx::test {

// Animations follow this clock while it lives; tests move it by hand.
struct ManualClock {
    double now = 100;
    ManualClock() {
        View::setAnimationClock([this] { return now; });
    }
    ~ManualClock() { View::setAnimationClock(nullptr); }
};

class DocumentsTest : public ::testing::Test {
protected:
    void SetUp() override {
        _home = std::filesystem::temp_directory_path() / ("taluvex-app-" + uniqueString());
        std::filesystem::create_directories(_home);
        setenv("XDG_DATA_HOME", _home.c_str(), 1);
        documents = documentsDirectory();
    }
    void TearDown() override {
        unsetenv("XDG_DATA_HOME");
        std::error_code ec;
        std::filesystem::remove_all(_home, ec);
    }

    std::string documents;

private:
    std::filesystem::path _home;
};

} // namespace tx::test
