// Loopback stand-ins for the online services: each runs in-process on 127.0.0.1 with a port of
// its own, records every request as it arrived, and can be told to misbehave. The same servers
// back `taluvex-fake-services`, so a person can try every flow offline.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tx::fakes {

struct RecordedPart {
    std::string name;
    std::string fileName;
    std::string contentType;
    std::string value;           // text parts only
    std::uint64_t fileBytes = 0; // file parts: their size (the bytes are hashed, not kept)
};

struct RecordedRequest {
    std::string method;
    std::string target; // path and query as received
    std::string path;
    std::multimap<std::string, std::string> headers; // names as sent
    std::string body;                                // not multipart
    std::vector<RecordedPart> parts;                 // multipart, in order
    bool chunked = false;
    bool hasContentLength = false;
    std::string problem; // what the fake found wrong with the request; empty when fine

    std::string header(const std::string& name) const;
};

// One loopback HTTP server with a request log.
class FakeServer {
public:
    FakeServer();
    virtual ~FakeServer();
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;

    int port() const { return _port; }
    std::string base() const; // http://127.0.0.1:PORT
    std::vector<RecordedRequest> requests() const;
    int count(const std::string& path) const;
    // Problems found in requests so far, one line each.
    std::vector<std::string> problems() const;

    struct Impl;

protected:
    void startListening();
    // Every fake calls this first in its destructor: handlers use the fake's own members.
    void stop();
    void log(RecordedRequest request);
    std::unique_ptr<Impl> _impl;
    int _port = 0;
    mutable std::mutex _mutex;
    std::vector<RecordedRequest> _log;
};

// Twitter as an OAuth 1.0a provider: request and access tokens, the authorize page with the
// PIN, Echo verification and status updates, all signatures checked from the wire.
class FakeTwitter : public FakeServer {
public:
    static constexpr const char* kConsumerKey = "fakeConsumerKey123456";
    static constexpr const char* kConsumerSecret = "fakeConsumerSecret0123456789abcdefghij";
    static constexpr const char* kPin = "1234567";

    FakeTwitter();
    ~FakeTwitter() override { stop(); }
    void setRevoked(bool revoked) { _revoked = revoked; }
    std::string verifyCredentialsURL() const {
        return base() + "/1/account/verify_credentials.xml";
    }
    std::vector<std::string> statuses() const;

private:
    std::atomic<bool> _revoked{false};
    std::vector<std::string> _statuses;
};

// TwitVid: authenticate (delegating the Echo check to the Twitter fake) and chunked upload.
class FakeTwitVid : public FakeServer {
public:
    enum class LastByte { Normal, Stuck, BeyondSize, NotANumber };

    explicit FakeTwitVid(const FakeTwitter& twitter);
    ~FakeTwitVid() override { stop(); }
    std::string apiBase() const { return base() + "/api"; }

    // Scripted faults.
    std::set<int> failUploadRequests; // 1-based upload request numbers answered with 500
    std::atomic<bool> failAllUploads{false};
    std::atomic<double> stallSeconds{0};
    LastByte lastByte = LastByte::Normal;
    bool statFail = false;
    bool garbage = false;
    bool doctype = false;
    bool tokenWithLineBreak = false;
    bool mediaIDWithLineBreak = false;

    // What arrived: the SHA-256 of the bytes written at their offsets, and their count.
    std::string receivedSha256() const;
    std::uint64_t receivedBytes() const;
    int uploadRequests() const;

    struct Upload;

private:
    std::string _providerURL;
    std::shared_ptr<Upload> _upload;
};

// Facebook: the sign-in dialog (code + PKCE), the token exchange, permissions and me/videos.
class FakeFacebook : public FakeServer {
public:
    static constexpr const char* kAppID = "424242";
    static constexpr const char* kVersion = "v19.0";
    static constexpr const char* kToken = "FBT-secret-token";

    enum class Dialog { Grant, Deny, WrongState };
    enum class Videos { Ok, PermissionError, SessionExpired, ServerError, NotJson };

    FakeFacebook();
    ~FakeFacebook() override { stop(); }
    Dialog dialog = Dialog::Grant;
    Videos videos = Videos::Ok;
    std::atomic<bool> publishGranted{false};
    // Granting publish_actions when the dialog asks for it again.
    std::atomic<bool> grantPublishOnRequest{true};
    // Raw JSON of the token answer's lifetime member, and a permissions answer in place of the
    // usual one (set before the sign-in starts).
    std::string tokenLifetimeMember = R"("expires_in":5183944)";
    std::string permissionsAnswer;

    std::string receivedSha256() const;
    std::uint64_t receivedBytes() const;

    struct Video;

private:
    std::map<std::string, std::string> _challenges; // code → challenge
    std::shared_ptr<Video> _video;
};

// The feed, in the paged dialect (/feeds/api/users/{channel}/uploads) and the channel dialect
// (/feeds/videos.xml?channel_id=…), over a catalogue of `videoCount` videos.
class FakeYouTube : public FakeServer {
public:
    enum class Fault {
        None,
        Status503Once,
        Status500Always,
        Malformed,
        ExternalEntity,
        BillionLaughs,
        Dribble, // a valid start, then 2 bytes a second for as long as the client listens
    };

    FakeYouTube();
    ~FakeYouTube() override { stop(); }
    std::atomic<int> videoCount{23};
    std::atomic<Fault> fault{Fault::None};
    std::atomic<double> delaySeconds{0};
    // Entry number (1-based) shown without media group / without duration / with 3725 s.
    std::atomic<int> entryWithoutGroup{0};
    std::atomic<int> entryWithoutDuration{0};
    std::atomic<int> entryOfAnHour{0};
    // Titles with markup and player addresses with quotes.
    std::atomic<bool> hostileValues{false};

    std::string pagedFeedURL() const { return base() + "/feeds/api/users/{channel}/uploads"; }
    std::string channelFeedURL() const { return base() + "/feeds/videos.xml?channel_id={channel}"; }
    int leakHits() const { return _leakHits.load(); }
    // The secret the external-entity answer points at (tests check it never travels).
    std::string secretPath;

    // Video n's rating and views (distinct, so each order is checkable).
    static double ratingOf(int n);
    static long long viewsOf(int n);

private:
    std::atomic<int> _leakHits{0};
    std::atomic<bool> _failedOnce{false};
};

// An https server with the given certificate, answering "/hello".
class FakeTlsServer {
public:
    FakeTlsServer(const std::string& certificatePath, const std::string& keyPath);
    ~FakeTlsServer();
    std::string base() const { return "https://127.0.0.1:" + std::to_string(_port); }
    int hits() const { return _hits.load(); }
    bool ok() const { return _port > 0; }

    struct Impl;

private:
    std::unique_ptr<Impl> _impl;
    int _port = 0;
    std::atomic<int> _hits{0};
};

// A self-signed certificate for 127.0.0.1 made with the openssl tool; false when it failed.
bool makeSelfSignedCertificate(const std::string& certificatePath, const std::string& keyPath);

// The browser of the tests: GETs `url` and follows redirects (to the loopback listener too).
// Returns the final status.
int browse(const std::string& url);

// services.ini text pointing every service at these fakes (any may be null).
std::string servicesIni(const FakeTwitter* twitter, const FakeTwitVid* twitvid,
                        const FakeFacebook* facebook, const FakeYouTube* youtube,
                        const std::string& extra = {});

} // namespace tx::fakes
