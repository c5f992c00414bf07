// services.ini over the defaults, and sign-ins kept only where the user alone can read them.
#include "ServicesTestSupport.h"
#include "platform/foundation/Paths.h"
#include "services/credentials/CredentialStore.h"

#include <filesystem>
#include <sys/stat.h>

namespace tx {
namespace {

mode_t modeOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 0777;
}

class ConfigTest : public ServicesTest {};

TEST_F(ConfigTest, MissingOrBrokenFilesGiveTheDefaults) {
    std::string warning;
    const ServiceConfig missing = ServiceConfig::loadFromFile(home + "/nothing.ini", &warning);
    EXPECT_TRUE(warning.empty());
    EXPECT_EQ(missing.twitterApiBase, "https://api.twitter.com");
    EXPECT_EQ(missing.connectTimeoutSeconds, 30);
    EXPECT_FALSE(missing.twitterConfigured());

    std::ofstream(home + "/bad.ini")
        << "[network]\nconnect_timeout_s=soon\n[credentials]\nstore=cloud\n";
    const ServiceConfig bad = ServiceConfig::loadFromFile(home + "/bad.ini", &warning);
    EXPECT_EQ(bad.connectTimeoutSeconds, 30);
    EXPECT_EQ(bad.credentialsStore, "auto");
    EXPECT_NE(warning.find("connect_timeout_s"), std::string::npos);
    EXPECT_NE(warning.find("cloud"), std::string::npos);
}

TEST_F(ConfigTest, PlainHttpBasesAreKeptOnlyForLoopbackHosts) {
    std::ofstream(home + "/s.ini") << "[twitter]\napi_base=http://api.example.com\n"
                                      "[twitvid]\napi_base=http://127.0.0.1:8080/api\n"
                                      "[facebook]\ngraph_base=https://graph.example.com\n"
                                      "dialog_base=javascript:alert(1)\n"
                                      "[youtube]\nfeed_url=http://[::1]:9/f?c={channel}\n";
    std::string warning;
    const ServiceConfig config = ServiceConfig::loadFromFile(home + "/s.ini", &warning);
    EXPECT_EQ(config.twitterApiBase, "");
    EXPECT_EQ(config.twitvidApiBase, "http://127.0.0.1:8080/api");
    EXPECT_EQ(config.facebookGraphBase, "https://graph.example.com");
    EXPECT_EQ(config.facebookDialogBase, "");
    EXPECT_EQ(config.youtubeFeedUrl, "http://[::1]:9/f?c={channel}");
    EXPECT_NE(warning.find("twitter/api_base"), std::string::npos);
    EXPECT_NE(warning.find("dialog_base"), std::string::npos);

    for (const char* host : {"127.0.0.1", "127.255.0.9", "localhost", "::1", "[::1]"}) {
        EXPECT_TRUE(isLoopbackHost(host)) << host;
    }
    for (const char* host :
         {"128.0.0.1", "127.0.0.1.example.com", "localhost.evil", "10.0.0.1", ""}) {
        EXPECT_FALSE(isLoopbackHost(host)) << host;
    }
}

class CredentialsTest : public ServicesTest {};

TEST_F(CredentialsTest, TheFileStoreIsPrivateAndReplacedAtomically) {
    auto& store = CredentialStore::shared();
    ASSERT_TRUE(store.store(kTwitterAuthDataKey, "oauth_token=AT&oauth_token_secret=ATS"));
    const std::string path = CredentialStore::fileStorePath();
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(std::filesystem::path(path).parent_path()), 0700u);
    EXPECT_EQ(store.load(kTwitterAuthDataKey), "oauth_token=AT&oauth_token_secret=ATS");
    ASSERT_TRUE(store.store(kFacebookSessionKey, "{}"));
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);

    // Nothing of the sign-in lands in the documents or the settings.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home)) {
        if (entry.is_regular_file() && entry.path() != path) {
            std::ifstream in(entry.path());
            std::string text((std::istreambuf_iterator<char>(in)), {});
            EXPECT_EQ(text.find("oauth_token"), std::string::npos) << entry.path();
        }
    }
}

TEST_F(CredentialsTest, AnOpenFileIsTightenedBeforeUse) {
    const std::string path = CredentialStore::fileStorePath();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << R"({"authData":"oauth_token=A&oauth_token_secret=B"})";
    ::chmod(path.c_str(), 0644);
    ::chmod(std::filesystem::path(path).parent_path().c_str(), 0755);
    EXPECT_EQ(CredentialStore::shared().load(kTwitterAuthDataKey),
              "oauth_token=A&oauth_token_secret=B");
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(modeOf(std::filesystem::path(path).parent_path()), 0700u);
}

TEST_F(CredentialsTest, SigningOutForgetsEveryService) {
    auto& store = CredentialStore::shared();
    store.store(kTwitterAuthDataKey, "oauth_token=A&oauth_token_secret=B");
    store.store(kFacebookSessionKey, R"({"token":"T"})");
    const std::string report = signOutEverywhere();
    EXPECT_FALSE(store.load(kTwitterAuthDataKey));
    EXPECT_FALSE(store.load(kFacebookSessionKey));
    EXPECT_NE(report.find("Signed out"), std::string::npos);
    // A damaged file reads as empty rather than failing.
    std::ofstream(CredentialStore::fileStorePath()) << "{not json";
    EXPECT_FALSE(store.load(kTwitterAuthDataKey));
    EXPECT_TRUE(store.store(kTwitterAuthDataKey, "x"));
    EXPECT_EQ(store.load(kTwitterAuthDataKey), "x");
}

} // namespace
} // namespace tx
