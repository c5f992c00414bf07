// A private home for each service test: XDG folders in a temporary directory, services.ini
// written there, the configuration read again, short retry pauses.
#pragma once

#include "platform/foundation/RunLoop.h"
#include "services/facebook/FBSession.h"
#include "services/http/HttpClient.h"
#include "services/http/ServiceConfig.h"

#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>

namespace tx {

class ServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(_home.isValid());
        home = _home.path().toStdString();
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
        writeConfig("[credentials]\nstore=file\n");
        HttpClient::shared().setRetryBackoffSeconds(0.05);
        FBSession::resetActiveSession();
    }

    void TearDown() override { FBSession::resetActiveSession(); }

    void writeConfig(const std::string& text) {
        std::system(("mkdir -p '" + home + "/config/taluvex'").c_str());
        std::ofstream(home + "/config/taluvex/services.ini") << text;
        ServiceConfig::reload();
    }

    // A file of `bytes` bytes with varied content.
    std::string makeFile(const std::string& name, std::size_t bytes) {
        const std::string path = home + "/" + name;
        std::ofstream out(path, std::ios::binary);
        std::string block(65536, '\0');
        std::uint32_t state = 2463534242u;
        for (std::size_t written = 0; written < bytes;) {
            for (char& c : block) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                c = static_cast<char>(state);
            }
            const std::size_t count = std::min(block.size(), bytes - written);
            out.write(block.data(), static_cast<std::streamsize>(count));
            written += count;
        }
        return path;
    }

    static bool waitFor(const std::function<bool()>& condition, double seconds = 10) {
        return RunLoop::runUntil(condition, seconds);
    }

    std::string home;

private:
    QTemporaryDir _home;
};

} // namespace tx
