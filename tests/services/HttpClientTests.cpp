// The HTTP layer against loopback servers: bounded retries, time-outs, answer caps, cancelled
// tickets, refused addresses and real TLS verification.
#include "ServicesTestSupport.h"
#include "support/FakeServices.h"

#include <QTemporaryDir>

namespace tx {
namespace {

using fakes::FakeYouTube;

class HttpClientTest : public ServicesTest {
protected:
    HttpResponse fetch(HttpRequest request) {
        std::optional<HttpResponse> answer;
        HttpClient::shared().send(std::move(request), [&](const HttpResponse& r) { answer = r; });
        EXPECT_TRUE(waitFor([&] { return answer.has_value(); }));
        return answer.value_or(HttpResponse());
    }
    // One attempt, timed.
    HttpResponse fetchOnce(const std::string& url, double& seconds) {
        HttpRequest request = get(url);
        request.maxRetries = 0;
        const auto started = std::chrono::steady_clock::now();
        HttpResponse answer = fetch(std::move(request));
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return answer;
    }
    static HttpRequest get(const std::string& url) {
        HttpRequest request;
        request.url = url;
        return request;
    }
};

TEST_F(HttpClientTest, RetriesAServiceUnavailableAnswerOnceThenSucceeds) {
    FakeYouTube feed;
    feed.fault = FakeYouTube::Fault::Status503Once;
    const HttpResponse answer = fetch(get(feed.base() + "/feeds/videos.xml?channel_id=x"));
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.attempts, 2);
    EXPECT_EQ(feed.count("/feeds/videos.xml"), 2);
}

TEST_F(HttpClientTest, GivesUpAfterTwoRetriesAndDoesNotRetryOtherStatuses) {
    // Nothing listens on a port just released.
    int closedPort = 0;
    {
        FakeYouTube gone;
        closedPort = gone.port();
    }
    const HttpResponse refused =
        fetch(get("http://127.0.0.1:" + std::to_string(closedPort) + "/x"));
    ASSERT_TRUE(refused.error);
    EXPECT_EQ(refused.attempts, 3);
    EXPECT_NE(refused.error->localizedDescription().find("127.0.0.1"), std::string::npos);

    FakeYouTube feed;
    feed.fault = FakeYouTube::Fault::Status500Always;
    const HttpResponse failed = fetch(get(feed.base() + "/feeds/videos.xml"));
    EXPECT_EQ(failed.status, 500);
    EXPECT_EQ(feed.count("/feeds/videos.xml"), 1);
}

TEST_F(HttpClientTest, AStalledServerEndsInATimeOut) {
    writeConfig("[network]\nstall_timeout_s=1\n[credentials]\nstore=file\n");
    FakeYouTube feed;
    feed.delaySeconds = 4;
    double seconds = 0;
    const HttpResponse answer = fetchOnce(feed.base() + "/feeds/videos.xml", seconds);
    ASSERT_TRUE(answer.error);
    EXPECT_EQ(answer.status, 0);
    EXPECT_NE(answer.error->localizedDescription().find("in time"), std::string::npos);
    EXPECT_LT(seconds, 3.5);
}

// A server that keeps sending a trickle never trips the stall watchdog; the request's overall
// deadline ends it. Uploads are not bound by it: their chunks keep the progress rule.
TEST_F(HttpClientTest, ATricklingAnswerEndsAtTheRequestDeadline) {
    writeConfig("[network]\nrequest_timeout_s=1.5\nstall_timeout_s=1\n[credentials]\nstore=file\n");
    FakeYouTube feed;
    feed.fault = FakeYouTube::Fault::Dribble;
    double seconds = 0;
    const HttpResponse answer = fetchOnce(feed.base() + "/feeds/videos.xml", seconds);
    ASSERT_TRUE(answer.error);
    EXPECT_NE(answer.error->localizedDescription().find("did not finish within 1.5 s"),
              std::string::npos)
        << answer.error->localizedDescription();
    EXPECT_LT(seconds, 3.0);
}

TEST_F(HttpClientTest, AnAnswerOverItsCapFailsInsteadOfGrowing) {
    FakeYouTube feed;
    HttpRequest request = get(feed.base() + "/feeds/videos.xml");
    request.maxAnswerBytes = 200;
    const HttpResponse answer = fetch(request);
    ASSERT_TRUE(answer.error);
    EXPECT_NE(answer.error->localizedDescription().find("larger than 200 bytes"),
              std::string::npos);
    EXPECT_TRUE(answer.body.empty());
}

TEST_F(HttpClientTest, ACancelledTicketNeverCallsBack) {
    FakeYouTube feed;
    feed.delaySeconds = 0.3;
    bool called = false;
    auto ticket = HttpClient::shared().send(get(feed.base() + "/feeds/videos.xml"),
                                            [&](const HttpResponse&) { called = true; });
    RunLoop::runFor(0.1);
    ticket->cancel();
    RunLoop::runFor(0.6);
    EXPECT_FALSE(called);
    // The client goes on serving others.
    EXPECT_EQ(fetch(get(feed.base() + "/feeds/videos.xml")).status, 200);
}

TEST_F(HttpClientTest, PlainHttpIsRefusedExceptOnThisComputer) {
    const HttpResponse answer = fetch(get("http://example.com/upload"));
    ASSERT_TRUE(answer.error);
    EXPECT_NE(answer.error->localizedDescription().find("plain http"), std::string::npos);
    EXPECT_EQ(answer.attempts, 0);
    EXPECT_TRUE(fetch(get("ftp://127.0.0.1/x")).error);
    EXPECT_TRUE(fetch(get("file:///etc/passwd")).error);
}

TEST_F(HttpClientTest, TlsIsVerifiedAndAConfiguredCertificateIsTrusted) {
    const std::string certificate = home + "/cert.pem";
    const std::string key = home + "/key.pem";
    ASSERT_TRUE(fakes::makeSelfSignedCertificate(certificate, key));
    fakes::FakeTlsServer server(certificate, key);
    ASSERT_TRUE(server.ok());

    HttpRequest request = get(server.base() + "/hello");
    request.maxRetries = 0;
    const HttpResponse untrusted = fetch(request);
    ASSERT_TRUE(untrusted.error);
    EXPECT_EQ(server.hits(), 0);

    writeConfig("[network]\nca_file=" + certificate + "\n[credentials]\nstore=file\n");
    const HttpResponse trusted = fetch(request);
    EXPECT_FALSE(trusted.error) << trusted.error->localizedDescription();
    EXPECT_EQ(trusted.body, "hello");
    EXPECT_EQ(server.hits(), 1);
}

} // namespace
} // namespace tx
