// A 256 MiB movie goes up through TwitVid and Facebook without being read into memory. Run by
// bench/services-upload-memory in a fresh process (the peak is a whole-process figure).
#include "ServicesTestSupport.h"
#include "services/facebook/FBRequestConnection.h"
#include "services/oauth/Crypto.h"
#include "services/twitter/SA_OAuthTwitterEngine.h"
#include "services/twitvid/TwitVid.h"
#include "support/FakeServices.h"

#include <filesystem>
#include <fstream>
#include <thread>

namespace tx {
namespace {

long statusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::atol(line.c_str() + std::strlen(field));
        }
    }
    return -1;
}

class Recorder : public TwitVidDelegate {
public:
    void requestDidReceiveResponse(TVRequest&, const std::map<std::string, std::string>&) override {
        ++answers;
    }
    void requestDidFailWithError(TVRequest&, const ErrorPtr& e) override { error = e; }
    int answers = 0;
    ErrorPtr error;
};

class UploadMemoryTest : public ServicesTest {};

TEST_F(UploadMemoryTest, DISABLED_A256MiBMovieIsStreamedFromDisk) {
    constexpr std::uintmax_t kMovieBytes = 256ull << 20;
    constexpr long kAllowedKiB = 48 * 1024;
    fakes::FakeTwitter twitter;
    fakes::FakeTwitVid twitvid(twitter);
    fakes::FakeFacebook facebook;
    writeConfig(fakes::servicesIni(&twitter, &twitvid, &facebook, nullptr));
    const std::string movie = home + "/big.mov";
    std::ofstream(movie).close();
    std::filesystem::resize_file(movie, kMovieBytes); // sparse
    const std::string wantSha = Crypto::sha256FileHex(movie);
    storeTwitterAuthData("oauth_token=AT&oauth_token_secret=ATS");

    const long idleKiB = statusKiB("VmRSS:");
    const auto started = std::chrono::steady_clock::now();

    auto recorder = std::make_shared<Recorder>();
    auto client = std::make_shared<TwitVid>();
    client->setDelegate(recorder);
    client->setChunkBytes(TwitVid::kChunkBytes);
    const auto parsed = OAuthToken::fromHTTPResponseBody(*loadTwitterAuthData());
    OAuth1Signer echo({fakes::FakeTwitter::kConsumerKey, fakes::FakeTwitter::kConsumerSecret},
                      parsed);
    echo.setRealm(std::string());
    client->authenticateWithXVerifyCredentialsAuthorization(
        echo.sign("GET", twitter.verifyCredentialsURL()).authorization,
        twitter.verifyCredentialsURL());
    ASSERT_TRUE(waitFor([&] { return recorder->answers == 1; }));
    client->uploadWithMediaFileAtPath(movie, 0, {});
    ASSERT_TRUE(waitFor([&] { return recorder->answers == 2 || recorder->error; }, 120));
    ASSERT_FALSE(recorder->error) << recorder->error->localizedDescription();
    EXPECT_EQ(twitvid.receivedSha256(), wantSha);
    const long twitvidPeakKiB = statusKiB("VmHWM:");
    const double twitvidSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    FBSession::activeSession()->setURLOpener([](const std::string& url) {
        std::thread([url] { fakes::browse(url); }).detach();
        return true;
    });
    FBSession::openActiveSessionWithReadPermissions({"user_videos"}, true, nullptr);
    ASSERT_TRUE(waitFor([] { return FBSession::activeSession()->isOpen(); }));
    bool done = false;
    ErrorPtr failure;
    FBRequestConnection::startWithGraphPath(
        "me/videos",
        {{"video.mov", FBGraphValue::file(movie)},
         {"contentType", FBGraphValue::string("video/quicktime")},
         {"title", FBGraphValue::string("t")},
         {"description", FBGraphValue::string("")}},
        "POST", [&](const auto&, const auto&, const ErrorPtr& error) {
            failure = error;
            done = true;
        });
    ASSERT_TRUE(waitFor([&] { return done; }, 120));
    ASSERT_FALSE(failure) << failure->localizedDescription();
    EXPECT_EQ(facebook.receivedSha256(), wantSha);

    const long peakKiB = statusKiB("VmHWM:");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf(
        "upload-memory: idle %ld KiB; above idle after TwitVid %ld KiB, after Facebook %ld KiB "
        "(limit %ld); TwitVid %.2f s, both %.2f s for 2 x 256 MiB (client and fakes in one "
        "process)\n",
        idleKiB, twitvidPeakKiB - idleKiB, peakKiB - idleKiB, kAllowedKiB, twitvidSeconds, seconds);
    EXPECT_LT(peakKiB - idleKiB, kAllowedKiB);
}

} // namespace
} // namespace tx
