// services.ini over the defaults, and sign-ins kept only where the user alone can read them.
#include "ServicesTestSupport.h"
#include "platform/foundation/Paths.h"
#include "services/credentials/CredentialStore.h"

#include <filesystem>
#include <cstdint>
#include <functional>
#include <vector>
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

// Whatever the file holds, the built-in settings are used for what cannot be read and one line
// says so; the ini reader alone takes random bytes without a word.
TEST_F(ConfigTest, FilesThatAreNotIniTextAreSaid) {
    struct Case {
        const char* what;
        std::string bytes;
        const char* said;
    };
    std::string random(4096, '\0');
    std::uint32_t state = 7;
    for (char& c : random) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 24);
    }
    const std::vector<Case> cases = {
        {"random bytes", random, "not a text file"},
        {"a stray line", "[network]\nconnect_timeout_s=5\nthis is not a setting\n",
         "line 3 is neither [section] nor key=value"},
        {"far too large", "[network]\n" + std::string(2 << 20, ';'), "bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(home + "/c.ini", std::ios::binary) << c.bytes;
        std::string warning;
        const ServiceConfig config = ServiceConfig::loadFromFile(home + "/c.ini", &warning);
        EXPECT_NE(warning.find(c.said), std::string::npos) << warning;
        EXPECT_EQ(config.twitterApiBase, "https://api.twitter.com");
    }
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

TEST_F(ConfigTest, AServiceWithoutItsKeysSaysWhatToAdd) {
    writeConfig("[youtube]\nchannel=maker\n[twitter]\nconsumer_key=k\n");
    const ServiceConfig& config = ServiceConfig::current();
    EXPECT_FALSE(config.setupProblem(ServiceConfig::Service::YouTube));
    const auto twitter = config.setupProblem(ServiceConfig::Service::Twitter);
    ASSERT_TRUE(twitter);
    EXPECT_NE(twitter->find("Twitter is not set up: add [twitter] consumer_secret to "),
              std::string::npos);
    EXPECT_NE(twitter->find("/config/taluvex/services.ini."), std::string::npos);
    const auto upload = config.setupProblem(ServiceConfig::Service::TwitVid);
    ASSERT_TRUE(upload);
    EXPECT_NE(upload->find("[twitvid] api_base and [twitter] consumer_secret"), std::string::npos);
    EXPECT_NE(config.setupProblem(ServiceConfig::Service::Facebook)->find("[facebook] app_id"),
              std::string::npos);
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

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST_F(CredentialsTest, SigningOutForgetsEveryService) {
    auto& store = CredentialStore::shared();
    store.store(kTwitterAuthDataKey, "oauth_token=A&oauth_token_secret=B");
    store.store(kFacebookSessionKey, R"({"token":"T"})");
    const SignOutReport report = signOutEverywhere();
    EXPECT_TRUE(report.ok);
    EXPECT_FALSE(store.load(kTwitterAuthDataKey));
    EXPECT_FALSE(store.load(kFacebookSessionKey));
    EXPECT_NE(report.message.find("Signed out"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(CredentialStore::fileStorePath()));
}

// Whatever shape the file is in, signing out either removes the secrets or says it could not,
// naming the file; it never reports success while a token is still on disk.
TEST_F(CredentialsTest, SigningOutRemovesDamagedFilesOrSaysWhy) {
    const std::string path = CredentialStore::fileStorePath();
    const std::string folder = std::filesystem::path(path).parent_path().string();
    const std::string good = R"({"authData":"oauth_token=SECRET&oauth_token_secret=S2"})";
    struct Case {
        const char* what;
        std::function<void()> arrange;
        bool signedOut;
    };
    const std::string elsewhere = home + "/elsewhere.json";
    const std::vector<Case> cases = {
        {"trailing garbage", [&] { std::ofstream(path) << good << "\n#garbage"; }, true},
        {"truncated", [&] { std::ofstream(path) << good.substr(0, 30); }, true},
        {"kept aside earlier",
         [&] {
             std::ofstream(path) << good;
             std::ofstream(path + ".corrupt") << good;
         },
         true},
        {"a symbolic link",
         [&] {
             std::ofstream(elsewhere) << good;
             std::filesystem::create_symlink(elsewhere, path);
         },
         false},
        {"a folder in its place",
         [&] {
             std::filesystem::create_directories(path);
             std::ofstream(path + "/inside") << good;
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(folder);
        std::filesystem::remove(elsewhere);
        std::filesystem::create_directories(folder);
        c.arrange();
        const SignOutReport report = signOutEverywhere();
        EXPECT_EQ(report.ok, c.signedOut) << report.message;
        if (c.signedOut) {
            for (const auto& entry : std::filesystem::directory_iterator(folder)) {
                EXPECT_EQ(readAll(entry.path()).find("SECRET"), std::string::npos)
                    << entry.path();
            }
        } else {
            EXPECT_NE(report.message.find(path), std::string::npos) << report.message;
        }
    }
    // Said in the reader's language, the file still named.
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(path);
    setenv("LANGUAGE", "de", 1);
    const SignOutReport german = signOutEverywhere();
    unsetenv("LANGUAGE");
    EXPECT_EQ(german.message.rfind("Nicht abgemeldet: ", 0), 0u) << german.message;
    EXPECT_NE(german.message.find("keine gewöhnliche Datei"), std::string::npos) << german.message;
    EXPECT_NE(german.message.find(path), std::string::npos) << german.message;
    // The link's target is never rewritten nor changed in mode.
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(elsewhere) << good;
    ::chmod(elsewhere.c_str(), 0644);
    std::filesystem::create_symlink(elsewhere, path);
    EXPECT_FALSE(CredentialStore::shared().load(kTwitterAuthDataKey));
    signOutEverywhere();
    EXPECT_EQ(readAll(elsewhere), good);
    EXPECT_EQ(modeOf(elsewhere), 0644u);
}

// A damaged file is said and kept aside, never silently taken as "signed out" and then
// overwritten by the next sign-in.
TEST_F(CredentialsTest, ADamagedFileIsKeptAsideAndSaid) {
    auto& store = CredentialStore::shared();
    const std::string path = CredentialStore::fileStorePath();
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "{not json";
    testing::internal::CaptureStderr();
    EXPECT_FALSE(store.load(kTwitterAuthDataKey));
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot read the stored sign-ins in " + path), std::string::npos)
        << said;
    EXPECT_EQ(readAll(path + ".corrupt"), "{not json");
    EXPECT_TRUE(store.store(kTwitterAuthDataKey, "x"));
    EXPECT_EQ(store.load(kTwitterAuthDataKey), "x");
    EXPECT_EQ(readAll(path + ".corrupt"), "{not json");
}

TEST_F(CredentialsTest, ASignInThatIsNotTextIsRefusedAndTheOthersStay) {
    // A token answer is a server's bytes: one that is not UTF-8 text cannot go into the file,
    // and must neither abort the program nor take the other sign-ins with it.
    auto& store = CredentialStore::shared();
    ASSERT_TRUE(store.store(kFacebookSessionKey, R"({"token":"T"})"));
    std::string why;
    EXPECT_FALSE(store.store(kTwitterAuthDataKey, "oauth_token=\xff\xfe&oauth_token_secret=B", &why));
    EXPECT_NE(why.find("not text"), std::string::npos) << why;
    EXPECT_FALSE(store.load(kTwitterAuthDataKey));
    EXPECT_EQ(store.load(kFacebookSessionKey), R"({"token":"T"})");
}

} // namespace
} // namespace tx
