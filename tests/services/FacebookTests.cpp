// The Facebook session's browser sign-in (code, PKCE, state) through the loopback listener, and
// graph requests with the movie streamed as a file part, against the Facebook fake.
#include "ServicesTestSupport.h"
#include "services/credentials/CredentialStore.h"
#include "services/facebook/FBRequestConnection.h"
#include "services/facebook/FBSession.h"
#include "services/oauth/Crypto.h"
#include "support/FakeServices.h"

#include <fstream>
#include <thread>

namespace tx {
namespace {

using fakes::FakeFacebook;

const std::vector<std::string> kReadPermissions = {"user_videos", "publish_actions"};

class FacebookTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        facebook = std::make_unique<FakeFacebook>();
        writeConfig(fakes::servicesIni(nullptr, nullptr, facebook.get(), nullptr));
    }

    // Opens the session; the fake browser follows the dialog's redirect on another thread,
    // as the desktop's browser would.
    void open(bool allowLoginUI) {
        FBSession::activeSession()->setURLOpener([](const std::string& url) {
            std::thread([url] { fakes::browse(url); }).detach();
            return true;
        });
        FBSession::openActiveSessionWithReadPermissions(
            kReadPermissions, allowLoginUI,
            [this](const std::shared_ptr<FBSession>&, FBSessionState state, const ErrorPtr& error) {
                states.push_back(state);
                errors.push_back(error);
            });
    }

    bool reported(FBSessionState state) {
        return waitFor(
            [&] { return std::find(states.begin(), states.end(), state) != states.end(); });
    }

    struct GraphAnswer {
        bool done = false;
        nlohmann::json result;
        ErrorPtr error;
    };
    GraphAnswer uploadMovie(const std::string& path) {
        GraphAnswer answer;
        FBRequestConnection::startWithGraphPath(
            "me/videos",
            {{"video.mov", FBGraphValue::file(path)},
             {"contentType", FBGraphValue::string("video/quicktime")},
             {"title", FBGraphValue::string("Movie uploaded successfully")},
             {"description", FBGraphValue::string("")}},
            "POST", [&](const auto&, const nlohmann::json& result, const ErrorPtr& error) {
                answer = {true, result, error};
            });
        EXPECT_TRUE(waitFor([&] { return answer.done; }));
        return answer;
    }

    std::unique_ptr<FakeFacebook> facebook;
    std::vector<FBSessionState> states;
    std::vector<ErrorPtr> errors;
};

TEST_F(FacebookTest, BrowserSignInOpensTheSessionAndTheMovieIsStreamed) {
    open(false);
    RunLoop::runFor(0.1);
    EXPECT_TRUE(states.empty()); // nothing stored, no login screen: nothing happens
    open(true);
    ASSERT_TRUE(reported(FBSessionStateOpen));
    auto session = FBSession::activeSession();
    EXPECT_TRUE(session->isOpen());
    EXPECT_EQ(session->state(), FBSessionStateOpen);
    EXPECT_EQ(session->permissions(), std::vector<std::string>{"user_videos"});
    EXPECT_TRUE(facebook->problems().empty()) << facebook->problems()[0];

    const std::string movie = makeFile("movie.mov", 300000);
    const GraphAnswer answer = uploadMovie(movie);
    ASSERT_FALSE(answer.error) << answer.error->localizedDescription();
    EXPECT_EQ(answer.result.value("id", ""), "10150");
    EXPECT_EQ(facebook->receivedSha256(), Crypto::sha256FileHex(movie));
    EXPECT_TRUE(facebook->problems().empty()) << facebook->problems()[0];
    // The token never travels in an address.
    for (const auto& request : facebook->requests()) {
        EXPECT_EQ(request.target.find(FakeFacebook::kToken), std::string::npos) << request.target;
    }

    // The next start opens silently from the stored sign-in.
    FBSession::resetActiveSession();
    states.clear();
    open(false);
    ASSERT_TRUE(reported(FBSessionStateOpen));
}

TEST_F(FacebookTest, AForgedStateOrADenialFailsTheSignIn) {
    facebook->dialog = FakeFacebook::Dialog::WrongState;
    open(true);
    ASSERT_TRUE(reported(FBSessionStateClosedLoginFailed));
    ASSERT_TRUE(errors.back());
    EXPECT_EQ(errors.back()->code(), FBErrorLoginFailedOrCancelled);
    EXPECT_NE(fberrorCategory(errors.back()), FBErrorCategoryUserCancelled);
    EXPECT_EQ(facebook->count(std::string("/") + FakeFacebook::kVersion + "/oauth/access_token"),
              0);
    EXPECT_FALSE(CredentialStore::shared().load(kFacebookSessionKey));

    FBSession::resetActiveSession();
    states.clear();
    facebook->dialog = FakeFacebook::Dialog::Deny;
    open(true);
    ASSERT_TRUE(reported(FBSessionStateClosedLoginFailed));
    EXPECT_EQ(fberrorCategory(errors.back()), FBErrorCategoryUserCancelled);
}

TEST_F(FacebookTest, GraphErrorsCarryTheirCategory) {
    open(true);
    ASSERT_TRUE(reported(FBSessionStateOpen));
    const std::string movie = makeFile("movie.mov", 1000);
    struct Case {
        FakeFacebook::Videos mode;
        long code;
        FBErrorCategory category;
    };
    const Case cases[] = {
        {FakeFacebook::Videos::PermissionError, FBErrorHTTPError, FBErrorCategoryPermissions},
        {FakeFacebook::Videos::ServerError, FBErrorHTTPError, FBErrorCategoryServer},
        {FakeFacebook::Videos::NotJson, FBErrorNonTextMimeTypeReturned, FBErrorCategoryServer},
    };
    for (const Case& c : cases) {
        facebook->videos = c.mode;
        const GraphAnswer answer = uploadMovie(movie);
        ASSERT_TRUE(answer.error);
        EXPECT_EQ(answer.error->domain(), kFacebookErrorDomain);
        EXPECT_EQ(answer.error->code(), c.code);
        EXPECT_EQ(fberrorCategory(answer.error), c.category);
    }
    // An expired session is closed and its stored sign-in forgotten.
    facebook->videos = FakeFacebook::Videos::SessionExpired;
    const GraphAnswer expired = uploadMovie(movie);
    ASSERT_TRUE(expired.error);
    EXPECT_FALSE(FBSession::activeSession()->isOpen());
    EXPECT_FALSE(CredentialStore::shared().load(kFacebookSessionKey));
    ASSERT_TRUE(reported(FBSessionStateClosed));
}

TEST_F(FacebookTest, PublishPermissionExtendsTheTokenWithoutReopening) {
    open(true);
    ASSERT_TRUE(reported(FBSessionStateOpen));
    auto session = FBSession::activeSession();
    bool granted = false;
    ErrorPtr failure;
    session->requestNewPublishPermissions({"publish_actions"}, FBSessionDefaultAudienceOnlyMe,
                                          [&](const auto&, const ErrorPtr& error) {
                                              failure = error;
                                              granted = true;
                                          });
    ASSERT_TRUE(waitFor([&] { return granted; }));
    EXPECT_FALSE(failure);
    const auto& permissions = session->permissions();
    EXPECT_NE(std::find(permissions.begin(), permissions.end(), "publish_actions"),
              permissions.end());
    // The grant reports "token extended", never a second "open" that would restart an upload.
    EXPECT_EQ(std::count(states.begin(), states.end(), FBSessionStateOpen), 1);
    EXPECT_EQ(states.back(), FBSessionStateOpenTokenExtended);
    std::string lastDialog;
    for (const auto& request : facebook->requests()) {
        if (request.path.find("/dialog/oauth") != std::string::npos)
            lastDialog = request.target;
    }
    EXPECT_NE(lastDialog.find("default_audience=only_me"), std::string::npos);
    EXPECT_NE(lastDialog.find("auth_type=rerequest"), std::string::npos);
}

TEST_F(FacebookTest, ClosingClearsTheTokenAndReportsClosedOnce) {
    open(true);
    ASSERT_TRUE(reported(FBSessionStateOpen));
    auto session = FBSession::activeSession();
    session->closeAndClearTokenInformation();
    session->closeAndClearTokenInformation();
    RunLoop::runFor(0.1);
    EXPECT_EQ(std::count(states.begin(), states.end(), FBSessionStateClosed), 1);
    EXPECT_FALSE(CredentialStore::shared().load(kFacebookSessionKey));
    EXPECT_TRUE(session->accessToken().empty());
    EXPECT_FALSE(session->handleOpenURL("http://127.0.0.1:1/facebook-login?code=X&state=Y"));
}

// Answers whose members have unexpected types sign in with what can be read; nothing aborts.
TEST_F(FacebookTest, TypeConfusedAnswersStillSignIn) {
    struct Case {
        const char* what;
        std::string lifetime;
        std::string permissions;
        std::vector<std::string> wantPermissions;
    };
    const std::vector<Case> cases = {
        {"lifetime as a string", R"("expires":"5183944")", "", {"user_videos"}},
        {"lifetime null", R"("expires_in":null)", "", {"user_videos"}},
        {"lifetime an object", R"("expires_in":{"s":1})", "", {"user_videos"}},
        {"status a number", R"("expires_in":60)",
         R"({"data":[{"permission":"user_videos","status":1},)"
         R"({"permission":"publish_actions","status":"granted"}]})",
         {"publish_actions"}},
        {"permission a number", R"("expires_in":60)",
         R"({"data":[{"permission":7,"status":"granted"},"x",null]})", {}},
        {"data an object", R"("expires_in":60)", R"({"data":{"permission":"x"}})", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FBSession::resetActiveSession();
        CredentialStore::shared().remove(kFacebookSessionKey);
        states.clear();
        facebook->tokenLifetimeMember = c.lifetime;
        facebook->permissionsAnswer = c.permissions;
        open(true);
        ASSERT_TRUE(reported(FBSessionStateOpen));
        EXPECT_EQ(FBSession::activeSession()->permissions(), c.wantPermissions);
    }
}

// A stored sign-in that cannot be read is kept aside and said; the session starts signed out,
// and every later start is clean.
TEST_F(FacebookTest, AnUnreadableStoredSignInIsSetAsideAndTheSessionStarts) {
    const std::vector<std::string> stored = {
        R"({"token":"T","expiresAt":"tomorrow"})",
        R"({"token":"T","expiresAt":null})",
        R"({"token":"T","permissions":"user_videos"})",
        R"({"token":42})",
        R"(["token","T"])",
        R"({"token":"T","expiresAt":1e400})",
    };
    const std::string aside = CredentialStore::fileStorePath() + "." + kFacebookSessionKey +
                              ".corrupt";
    for (const auto& text : stored) {
        SCOPED_TRACE(text);
        FBSession::resetActiveSession();
        states.clear();
        ASSERT_TRUE(CredentialStore::shared().store(kFacebookSessionKey, text));
        ASSERT_TRUE(CredentialStore::shared().store(kTwitterAuthDataKey, "kept"));
        testing::internal::CaptureStderr();
        open(false);
        RunLoop::runFor(0.05);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(states.empty());
        EXPECT_FALSE(FBSession::activeSession()->isOpen());
        EXPECT_NE(said.find("the stored Facebook sign-in cannot be read"), std::string::npos)
            << said;
        EXPECT_FALSE(CredentialStore::shared().load(kFacebookSessionKey));
        EXPECT_EQ(CredentialStore::shared().load(kTwitterAuthDataKey), "kept");
        std::ifstream in(aside);
        EXPECT_EQ(nlohmann::json::parse(in, nullptr, false), nlohmann::json(text));
    }
    // A well-typed sign-in whose lifetime is a number still opens.
    FBSession::resetActiveSession();
    states.clear();
    CredentialStore::shared().store(kFacebookSessionKey,
                                    R"({"token":"T","expiresAt":0,"permissions":["a",1]})");
    open(false);
    ASSERT_TRUE(reported(FBSessionStateOpen));
    EXPECT_EQ(FBSession::activeSession()->permissions(), std::vector<std::string>{"a"});
}

// A forged answer and a sign-in left unfinished are told apart in the error the user sees.
TEST_F(FacebookTest, AForgedAnswerAndATimeOutSayWhatHappened) {
    facebook->dialog = FakeFacebook::Dialog::WrongState;
    open(true);
    ASSERT_TRUE(reported(FBSessionStateClosedLoginFailed));
    ASSERT_TRUE(errors.back());
    const std::string forged = errors.back()->localizedDescription();
    EXPECT_NE(forged.find("did not come from this sign-in"), std::string::npos) << forged;

    FBSession::resetActiveSession();
    states.clear();
    auto session = FBSession::activeSession();
    session->setSignInTimeoutSeconds(0.2);
    session->setURLOpener([](const std::string&) { return true; }); // the user never finishes
    FBSession::openActiveSessionWithReadPermissions(
        kReadPermissions, true, [this](const auto&, FBSessionState state, const ErrorPtr& error) {
            states.push_back(state);
            errors.push_back(error);
        });
    ASSERT_TRUE(reported(FBSessionStateClosedLoginFailed));
    const std::string late = errors.back()->localizedDescription();
    EXPECT_NE(late.find("was not finished in the browser within"), std::string::npos) << late;
}

} // namespace
} // namespace tx
