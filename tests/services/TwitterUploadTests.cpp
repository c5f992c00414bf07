// Twitter's PIN sign-in, the Echo header checked by TwitVid through Twitter, the chunked upload
// and the tweet, end to end against the fakes; then every way the upload can go wrong.
#include "ServicesTestSupport.h"
#include "services/credentials/CredentialStore.h"
#include "services/http/Url.h"
#include "services/oauth/Crypto.h"
#include "services/twitter/SA_OAuthTwitterEngine.h"
#include "services/twitvid/TwitVid.h"
#include "support/FakeServices.h"

#include <sys/resource.h>

namespace tx {
namespace {

using fakes::FakeTwitter;
using fakes::FakeTwitVid;

// Keeps the engine's sign-in where the application keeps it and records the engine's reports.
class EngineDelegate : public SA_OAuthTwitterEngineDelegate {
public:
    void storeCachedTwitterOAuthData(const std::string& data,
                                     const std::string& username) override {
        storeTwitterAuthData(data);
        lastUsername = username;
    }
    std::optional<std::string> cachedTwitterOAuthDataForUsername(const std::string&) override {
        return loadTwitterAuthData();
    }
    void requestSucceeded(const std::string&) override { ++succeeded; }
    void requestFailed(const std::string&, const ErrorPtr&) override { ++failed; }
    std::string lastUsername;
    int succeeded = 0;
    int failed = 0;
};

class UploadRecorder : public TwitVidDelegate {
public:
    void requestDidReceiveResponse(TVRequest& request,
                                   const std::map<std::string, std::string>& answer) override {
        answers.emplace_back(request.callName(), answer);
    }
    void requestDidFailWithError(TVRequest& request, const ErrorPtr& error) override {
        failures.emplace_back(request.callName(), error);
    }
    void requestDidSendBytes(TVRequest&, std::uint64_t, std::uint64_t total, std::uint64_t,
                             std::uint64_t expected) override {
        progress.emplace_back(total, expected);
    }
    bool done() const { return !answers.empty() || !failures.empty(); }
    std::vector<std::pair<std::string, std::map<std::string, std::string>>> answers;
    std::vector<std::pair<std::string, ErrorPtr>> failures;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> progress;
};

class TwitterUploadTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        twitter = std::make_unique<FakeTwitter>();
        twitvid = std::make_unique<FakeTwitVid>(*twitter);
        writeConfig(fakes::servicesIni(twitter.get(), twitvid.get(), nullptr, nullptr));
        delegate = std::make_shared<EngineDelegate>();
        engine = SA_OAuthTwitterEngine::initOAuthWithDelegate(delegate);
        engine->setConsumerKey(FakeTwitter::kConsumerKey);
        engine->setConsumerSecret(FakeTwitter::kConsumerSecret);
    }

    void signIn() {
        ErrorPtr error;
        bool done = false;
        engine->requestRequestToken([&](const ErrorPtr& e) {
            error = e;
            done = true;
        });
        ASSERT_TRUE(waitFor([&] { return done; }));
        ASSERT_FALSE(error) << error->localizedDescription();
        // The user reads the PIN from the authorize page.
        HttpRequest page;
        page.url = engine->authorizeURL();
        std::string html;
        HttpClient::shared().send(page, [&](const HttpResponse& r) { html = r.body; });
        ASSERT_TRUE(waitFor([&] { return !html.empty(); }));
        const auto pin = SA_OAuthTwitterEngine::pinFromAuthorizePage(html);
        ASSERT_EQ(pin, FakeTwitter::kPin);
        done = false;
        engine->requestAccessTokenWithPIN(*pin, [&](const ErrorPtr& e) {
            error = e;
            done = true;
        });
        ASSERT_TRUE(waitFor([&] { return done; }));
        ASSERT_FALSE(error) << error->localizedDescription();
    }

    std::shared_ptr<TwitVid> authenticated(const std::shared_ptr<UploadRecorder>& recorder) {
        auto client = std::make_shared<TwitVid>();
        client->setDelegate(recorder);
        client->authenticateWithXVerifyCredentialsAuthorization(*engine->echoAuthorization(),
                                                                engine->verifyCredentialsURL());
        EXPECT_TRUE(waitFor([&] { return recorder->done(); }));
        EXPECT_EQ(recorder->answers.size(), 1u);
        recorder->answers.clear();
        return client;
    }

    std::unique_ptr<FakeTwitter> twitter;
    std::unique_ptr<FakeTwitVid> twitvid;
    std::shared_ptr<EngineDelegate> delegate;
    std::shared_ptr<SA_OAuthTwitterEngine> engine;
};

TEST_F(TwitterUploadTest, SignInEchoTwoChunkUploadAndTweet) {
    EXPECT_FALSE(engine->isAuthorized());
    signIn();
    EXPECT_TRUE(engine->isAuthorized());
    EXPECT_EQ(delegate->lastUsername, "tester");
    // A new engine finds the stored sign-in.
    auto later = SA_OAuthTwitterEngine::initOAuthWithDelegate(delegate);
    EXPECT_TRUE(later->isAuthorized());

    auto recorder = std::make_shared<UploadRecorder>();
    auto client = authenticated(recorder);
    EXPECT_EQ(client->token(), "TK");

    const std::uint64_t chunk = 64 * 1024;
    const std::string movie = makeFile("movie.mov", 2 * chunk);
    client->setChunkBytes(chunk);
    TwitVidUploadOptions options;
    client->uploadWithMediaFileAtPath(movie, 0, options);
    ASSERT_TRUE(waitFor([&] { return recorder->done(); }));
    ASSERT_TRUE(recorder->failures.empty()) << recorder->failures[0].second->localizedDescription();
    ASSERT_EQ(recorder->answers.size(), 1u);
    const auto& answer = recorder->answers[0].second;
    EXPECT_EQ(recorder->answers[0].first, "upload");
    EXPECT_EQ(answer.at("last_byte"), std::to_string(2 * chunk));
    EXPECT_EQ(twitvid->uploadRequests(), 2);
    EXPECT_EQ(twitvid->receivedSha256(), Crypto::sha256FileHex(movie));
    EXPECT_TRUE(twitvid->problems().empty()) << twitvid->problems()[0];
    // Progress counts movie bytes over both chunks and ends at the file size.
    ASSERT_FALSE(recorder->progress.empty());
    EXPECT_EQ(recorder->progress.back(), std::make_pair(2 * chunk, 2 * chunk));
    EXPECT_TRUE(std::is_sorted(recorder->progress.begin(), recorder->progress.end()));
    EXPECT_TRUE(std::any_of(recorder->progress.begin(), recorder->progress.end(),
                            [&](const auto& p) { return p.first == chunk; }));

    const std::string text = "Movie uploaded successfully " + answer.at("media_url");
    engine->sendUpdate(text);
    ASSERT_TRUE(waitFor([&] { return delegate->succeeded + delegate->failed > 0; }));
    EXPECT_EQ(delegate->succeeded, 1);
    EXPECT_EQ(twitter->statuses(), std::vector<std::string>{text});
    EXPECT_TRUE(twitter->problems().empty());
}

TEST_F(TwitterUploadTest, ARevokedTokenIsRejectedAndClearingItForgetsTheSignIn) {
    signIn();
    twitter->setRevoked(true);
    auto recorder = std::make_shared<UploadRecorder>();
    auto client = std::make_shared<TwitVid>();
    client->setDelegate(recorder);
    client->authenticateWithXVerifyCredentialsAuthorization(*engine->echoAuthorization(),
                                                            engine->verifyCredentialsURL());
    ASSERT_TRUE(waitFor([&] { return recorder->done(); }));
    ASSERT_EQ(recorder->failures.size(), 1u);
    EXPECT_EQ(recorder->failures[0].first, "authenticate");
    engine->clearAccessToken();
    EXPECT_FALSE(engine->isAuthorized());
    EXPECT_FALSE(loadTwitterAuthData());
}

TEST_F(TwitterUploadTest, AFailedChunkIsResentHalvedFromTheLastAcknowledgedByte) {
    signIn();
    auto recorder = std::make_shared<UploadRecorder>();
    auto client = authenticated(recorder);
    const std::string movie = makeFile("movie.mov", 3 * 32768 + 100);
    client->setChunkBytes(65536);
    twitvid->failUploadRequests = {2};
    client->uploadWithMediaFileAtPath(movie, 0, {});
    ASSERT_TRUE(waitFor([&] { return recorder->done(); }));
    ASSERT_EQ(recorder->answers.size(), 1u);
    EXPECT_EQ(twitvid->receivedSha256(), Crypto::sha256FileHex(movie));
    const auto requests = twitvid->requests();
    std::vector<std::string> chunkSizes;
    for (const auto& request : requests) {
        for (const auto& part : request.parts) {
            if (part.name == "chunksize")
                chunkSizes.push_back(part.value);
        }
    }
    // 64 KiB acknowledged, the next 64 KiB refused, then 32 KiB pieces from 64 KiB on.
    EXPECT_EQ(chunkSizes, (std::vector<std::string>{"65536", "65536", "32768", "32768"}));
}

TEST_F(TwitterUploadTest, TheFourthFailureIsReported) {
    signIn();
    auto recorder = std::make_shared<UploadRecorder>();
    auto client = authenticated(recorder);
    twitvid->failAllUploads = true;
    client->uploadWithMediaFileAtPath(makeFile("movie.mov", 100000), 0, {});
    ASSERT_TRUE(waitFor([&] { return recorder->done(); }));
    ASSERT_EQ(recorder->failures.size(), 1u);
    EXPECT_EQ(twitvid->uploadRequests(), TwitVid::kAttemptsPerCall);
    EXPECT_TRUE(recorder->answers.empty());
}

TEST_F(TwitterUploadTest, AnswersThatWouldLoopOrInjectEndAsBadResponse) {
    signIn();
    struct Case {
        const char* name;
        std::function<void(FakeTwitVid&)> fault;
        std::string want;
    };
    const Case cases[] = {
        {"stuck last_byte", [](FakeTwitVid& f) { f.lastByte = FakeTwitVid::LastByte::Stuck; },
         kTwitVidBadResponse},
        {"last_byte beyond the file",
         [](FakeTwitVid& f) { f.lastByte = FakeTwitVid::LastByte::BeyondSize; },
         kTwitVidBadResponse},
        {"last_byte not a number",
         [](FakeTwitVid& f) { f.lastByte = FakeTwitVid::LastByte::NotANumber; },
         kTwitVidBadResponse},
        {"garbage", [](FakeTwitVid& f) { f.garbage = true; }, kTwitVidBadResponse},
        {"doctype", [](FakeTwitVid& f) { f.doctype = true; }, kTwitVidBadResponse},
        {"media_id with a line break", [](FakeTwitVid& f) { f.mediaIDWithLineBreak = true; },
         kTwitVidBadResponse},
        {"stat fail", [](FakeTwitVid& f) { f.statFail = true; }, "Upload refused"},
    };
    const std::string movie = makeFile("movie.mov", 3000);
    for (const Case& c : cases) {
        FakeTwitVid fake(*twitter);
        c.fault(fake);
        writeConfig(fakes::servicesIni(twitter.get(), &fake, nullptr, nullptr));
        auto recorder = std::make_shared<UploadRecorder>();
        auto client = authenticated(recorder);
        client->setChunkBytes(1000);
        client->uploadWithMediaFileAtPath(movie, 0, {});
        ASSERT_TRUE(waitFor([&] { return recorder->done(); })) << c.name;
        ASSERT_EQ(recorder->failures.size(), 1u) << c.name;
        EXPECT_EQ(recorder->failures[0].second->domain(), c.want) << c.name;
        EXPECT_EQ(fake.uploadRequests(), 1) << c.name;
    }
}

TEST_F(TwitterUploadTest, ATokenWithALineBreakIsRefusedBeforeAnyUpload) {
    signIn();
    twitvid->tokenWithLineBreak = true;
    auto recorder = std::make_shared<UploadRecorder>();
    auto client = std::make_shared<TwitVid>();
    client->setDelegate(recorder);
    client->authenticateWithXVerifyCredentialsAuthorization(*engine->echoAuthorization(),
                                                            engine->verifyCredentialsURL());
    ASSERT_TRUE(waitFor([&] { return recorder->done(); }));
    ASSERT_EQ(recorder->failures.size(), 1u);
    EXPECT_EQ(recorder->failures[0].second->domain(), kTwitVidBadResponse);
}

TEST_F(TwitterUploadTest, AnEmptyMovieFailsWithoutARequest) {
    signIn();
    auto recorder = std::make_shared<UploadRecorder>();
    auto client = authenticated(recorder);
    client->uploadWithMediaFileAtPath(makeFile("empty.mov", 0), 0, {});
    ASSERT_TRUE(waitFor([&] { return recorder->done(); }));
    ASSERT_EQ(recorder->failures.size(), 1u);
    EXPECT_EQ(recorder->failures[0].second->domain(), kTwitVidEmptyFile);
    EXPECT_EQ(twitvid->uploadRequests(), 0);
}

TEST_F(TwitterUploadTest, AStalledUploadTimesOutThroughTheRetries) {
    signIn();
    writeConfig(fakes::servicesIni(twitter.get(), twitvid.get(), nullptr, nullptr,
                                   "[network]\nstall_timeout_s=1\n"));
    auto recorder = std::make_shared<UploadRecorder>();
    auto client = authenticated(recorder);
    twitvid->stallSeconds = 30;
    client->uploadWithMediaFileAtPath(makeFile("movie.mov", 5000), 0, {});
    ASSERT_TRUE(waitFor([&] { return recorder->done(); }, 15));
    ASSERT_EQ(recorder->failures.size(), 1u);
    EXPECT_EQ(recorder->failures[0].second->domain(), kHttpErrorDomain);
    twitvid->stallSeconds = 0;
}

TEST_F(TwitterUploadTest, BoundariesAreFreshAndUnpredictable) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string boundary = MultipartForm::makeBoundary();
        ASSERT_EQ(boundary.size(), 8u);
        ASSERT_TRUE(std::all_of(boundary.begin(), boundary.end(),
                                [](unsigned char c) { return std::isalnum(c); }));
        seen.insert(boundary);
    }
    EXPECT_EQ(seen.size(), 200u);
    MultipartForm form("abcdefgh");
    EXPECT_FALSE(form.addField("token", "TK\r\n--abcdefgh", false));
    EXPECT_FALSE(form.addField("media_id", "M1\nX", true));
    EXPECT_TRUE(form.addField("title", "two\nlines", false));
}

} // namespace
} // namespace tx
