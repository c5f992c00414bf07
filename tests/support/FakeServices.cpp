#include "support/FakeServices.h"

#include "services/http/Url.h"
#include "services/oauth/Crypto.h"
#include "services/oauth/OAuth1.h"
#include "services/oauth/OAuth2.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <httplib.h>
#include <openssl/evp.h>
#include <sstream>
#include <thread>

namespace tx::fakes {

namespace {

constexpr const char* kRequestToken = "RT";
constexpr const char* kRequestTokenSecret = "RTS";
constexpr const char* kAccessToken = "AT";
constexpr const char* kAccessTokenSecret = "ATS";
constexpr const char* kTwitVidToken = "TK";

// A running SHA-256 over bytes that arrive in order.
class Sha256 {
public:
    Sha256() : _context(EVP_MD_CTX_new()) { EVP_DigestInit_ex(_context, EVP_sha256(), nullptr); }
    Sha256(const Sha256& other) : _context(EVP_MD_CTX_new()), _bytes(other._bytes) {
        EVP_MD_CTX_copy_ex(_context, other._context);
    }
    Sha256& operator=(const Sha256& other) {
        EVP_MD_CTX_copy_ex(_context, other._context);
        _bytes = other._bytes;
        return *this;
    }
    ~Sha256() { EVP_MD_CTX_free(_context); }
    void update(std::string_view bytes) {
        EVP_DigestUpdate(_context, bytes.data(), bytes.size());
        _bytes += bytes.size();
    }
    std::string hex() const {
        EVP_MD_CTX* copy = EVP_MD_CTX_new();
        EVP_MD_CTX_copy_ex(copy, _context);
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(copy, digest, &length);
        EVP_MD_CTX_free(copy);
        return Crypto::hex(std::string_view(reinterpret_cast<const char*>(digest), length));
    }
    std::uint64_t bytes() const { return _bytes; }

private:
    EVP_MD_CTX* _context;
    std::uint64_t _bytes = 0;
};

// Sleeps in small steps so that a stopping server is not held up.
void pause(double seconds, const std::atomic<bool>& stopping) {
    const auto until = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(static_cast<long>(seconds * 1000));
    while (!stopping && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string escapeXml(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string rspOk(const std::string& children) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rsp stat=\"ok\">" + children + "</rsp>";
}

} // namespace

std::string RecordedRequest::header(const std::string& name) const {
    for (const auto& [key, value] : headers) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) {
            return value;
        }
    }
    return {};
}

struct FakeServer::Impl {
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> stopping{false};

    // Reads a request into the log form; the bytes of file parts go to `fileSink` only.
    static RecordedRequest read(const httplib::Request& request,
                                const httplib::ContentReader* reader,
                                const std::function<void(std::string_view)>& fileSink = {}) {
        RecordedRequest recorded;
        recorded.method = request.method;
        recorded.target = request.target;
        recorded.path = request.path;
        for (const auto& [name, value] : request.headers) {
            recorded.headers.emplace(name, value);
        }
        recorded.chunked = request.get_header_value("Transfer-Encoding") == "chunked";
        recorded.hasContentLength = request.has_header("Content-Length");
        if (!reader) {
            recorded.body = request.body;
            return recorded;
        }
        if (request.is_multipart_form_data()) {
            (*reader)(
                [&](const httplib::MultipartFormData& part) {
                    RecordedPart recordedPart;
                    recordedPart.name = part.name;
                    recordedPart.fileName = part.filename;
                    recordedPart.contentType = part.content_type;
                    recorded.parts.push_back(recordedPart);
                    return true;
                },
                [&](const char* data, size_t length) {
                    RecordedPart& part = recorded.parts.back();
                    if (part.fileName.empty()) {
                        part.value.append(data, length);
                    } else {
                        part.fileBytes += length;
                        if (fileSink) {
                            fileSink(std::string_view(data, length));
                        }
                    }
                    return true;
                });
        } else {
            (*reader)([&](const char* data, size_t length) {
                recorded.body.append(data, length);
                return true;
            });
        }
        return recorded;
    }
};

FakeServer::FakeServer() : _impl(std::make_unique<Impl>()) {
    // One request per connection: a client's idle keep-alive connection must not hold up stop().
    _impl->server.set_keep_alive_max_count(1);
}

FakeServer::~FakeServer() {
    stop();
}

void FakeServer::stop() {
    _impl->stopping = true;
    _impl->server.stop();
    if (_impl->thread.joinable()) {
        _impl->thread.join();
    }
}

void FakeServer::startListening() {
    _port = _impl->server.bind_to_any_port("127.0.0.1");
    _impl->thread = std::thread([this] { _impl->server.listen_after_bind(); });
    // stop() before the loop runs would be lost, and the destructor would wait for ever.
    while (!_impl->server.is_running()) {
        std::this_thread::yield();
    }
}

std::string FakeServer::base() const {
    return "http://127.0.0.1:" + std::to_string(_port);
}

void FakeServer::log(RecordedRequest request) {
    std::lock_guard<std::mutex> lock(_mutex);
    _log.push_back(std::move(request));
}

std::vector<RecordedRequest> FakeServer::requests() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _log;
}

int FakeServer::count(const std::string& path) const {
    std::lock_guard<std::mutex> lock(_mutex);
    return static_cast<int>(
        std::count_if(_log.begin(), _log.end(), [&](const auto& r) { return r.path == path; }));
}

std::vector<std::string> FakeServer::problems() const {
    std::lock_guard<std::mutex> lock(_mutex);
    std::vector<std::string> result;
    for (const auto& request : _log) {
        if (!request.problem.empty()) {
            result.push_back(request.method + " " + request.target + ": " + request.problem);
        }
    }
    return result;
}

// ---------------------------------------------------------------------------------------------

FakeTwitter::FakeTwitter() {
    auto& server = _impl->server;
    auto url = [this](const httplib::Request& request) { return base() + request.target; };
    auto fields = [](const RecordedRequest& request) {
        return parseOAuthHeader(request.header("Authorization")).value_or(FormFields());
    };

    server.Post("/oauth/request_token",
                [=, this](const httplib::Request& req, httplib::Response& res) {
                    RecordedRequest request = Impl::read(req, nullptr);
                    const FormFields oauth = fields(request);
                    if (!verifyOAuthRequest(request.header("Authorization"), "POST", url(req),
                                            request.body, kConsumerSecret, "") ||
                        Url::field(oauth, "oauth_callback") != "oob") {
                        request.problem = "request token: bad signature or callback";
                        res.status = 401;
                    } else {
                        res.set_content(std::string("oauth_token=") + kRequestToken +
                                            "&oauth_token_secret=" + kRequestTokenSecret +
                                            "&oauth_callback_confirmed=true",
                                        "application/x-www-form-urlencoded");
                    }
                    log(std::move(request));
                });
    server.Get("/oauth/authorize", [this](const httplib::Request& req, httplib::Response& res) {
        log(Impl::read(req, nullptr));
        if (req.get_param_value("oauth_token") != kRequestToken) {
            res.status = 400;
            return;
        }
        res.set_content(std::string("<html><body><div id=\"oauth_pin\">Your PIN: <code>") + kPin +
                            "</code></div></body></html>",
                        "text/html");
    });
    server.Post("/oauth/access_token",
                [=, this](const httplib::Request& req, httplib::Response& res) {
                    RecordedRequest request = Impl::read(req, nullptr);
                    const FormFields oauth = fields(request);
                    if (!verifyOAuthRequest(request.header("Authorization"), "POST", url(req),
                                            request.body, kConsumerSecret, kRequestTokenSecret) ||
                        Url::field(oauth, "oauth_verifier") != kPin ||
                        Url::field(oauth, "oauth_token") != kRequestToken) {
                        request.problem = "access token: bad signature, token or PIN";
                        res.status = 401;
                    } else {
                        res.set_content(std::string("oauth_token=") + kAccessToken +
                                            "&oauth_token_secret=" + kAccessTokenSecret +
                                            "&user_id=42&screen_name=tester",
                                        "application/x-www-form-urlencoded");
                    }
                    log(std::move(request));
                });
    server.Get("/1/account/verify_credentials.xml", [=, this](const httplib::Request& req,
                                                              httplib::Response& res) {
        RecordedRequest request = Impl::read(req, nullptr);
        const FormFields oauth = fields(request);
        const bool valid = verifyOAuthRequest(request.header("Authorization"), "GET", url(req), "",
                                              kConsumerSecret, kAccessTokenSecret) &&
                           Url::field(oauth, "oauth_token") == kAccessToken;
        if (!valid || _revoked) {
            res.status = 401;
            res.set_content("<errors><error code=\"89\">Invalid token</error></errors>",
                            "application/xml");
        } else {
            res.set_content("<user><id>42</id><screen_name>tester</screen_name></user>",
                            "application/xml");
        }
        log(std::move(request));
    });
    server.Post("/1/statuses/update.xml",
                [=, this](const httplib::Request& req, httplib::Response& res) {
                    RecordedRequest request = Impl::read(req, nullptr);
                    if (!verifyOAuthRequest(request.header("Authorization"), "POST", url(req),
                                            request.body, kConsumerSecret, kAccessTokenSecret) ||
                        _revoked) {
                        request.problem = "update: bad signature";
                        res.status = 401;
                    } else {
                        const auto status = Url::field(Url::parseForm(request.body), "status");
                        {
                            std::lock_guard<std::mutex> lock(_mutex);
                            _statuses.push_back(status.value_or(""));
                        }
                        res.set_content("<status><id>1</id><text>" +
                                            escapeXml(status.value_or("")) + "</text></status>",
                                        "application/xml");
                    }
                    log(std::move(request));
                });
    startListening();
}

std::vector<std::string> FakeTwitter::statuses() const {
    std::lock_guard<std::mutex> lock(_mutex);
    return _statuses;
}

// ---------------------------------------------------------------------------------------------

struct FakeTwitVid::Upload {
    std::mutex mutex;
    Sha256 sha;
    std::uint64_t lastByte = 0;
    int requests = 0;
};

FakeTwitVid::FakeTwitVid(const FakeTwitter& twitter)
    : _providerURL(twitter.verifyCredentialsURL()), _upload(std::make_shared<Upload>()) {
    auto& server = _impl->server;
    auto checkFraming = [](RecordedRequest& request) {
        const std::string type = request.header("Content-Type");
        const std::string prefix = "multipart/form-data; boundary=";
        const std::string boundary = type.rfind(prefix, 0) == 0 ? type.substr(prefix.size()) : "";
        const bool boundaryOk =
            boundary.size() == 8 && std::all_of(boundary.begin(), boundary.end(),
                                                [](unsigned char c) { return std::isalnum(c); });
        if (!boundaryOk) {
            request.problem += "boundary \"" + boundary + "\" is not 8 letters and digits; ";
        }
        if (!request.chunked || request.hasContentLength) {
            request.problem += "the body is not chunked without Content-Length; ";
        }
        for (const auto& part : request.parts) {
            if (part.fileName.empty() && part.contentType != "text/plain; charset=UTF-8") {
                request.problem +=
                    "field " + part.name + " has Content-Type \"" + part.contentType + "\"; ";
            }
        }
    };
    auto field = [](const RecordedRequest& request,
                    const std::string& name) -> std::optional<std::string> {
        for (const auto& part : request.parts) {
            if (part.name == name) {
                return part.value;
            }
        }
        return std::nullopt;
    };

    server.Post("/api/authenticate", [=, this](const httplib::Request& req, httplib::Response& res,
                                               const httplib::ContentReader& reader) {
        RecordedRequest request = Impl::read(req, &reader);
        checkFraming(request);
        const auto authorization = field(request, "x_verify_credentials_authorization");
        const auto provider = field(request, "x_auth_service_provider");
        if (request.parts.size() != 2 || !authorization || !provider) {
            request.problem += "authenticate wants exactly the two fields; ";
        }
        std::string answer;
        // Only the Twitter fake may be asked to vouch for a user.
        if (provider != _providerURL) {
            answer =
                "<rsp stat=\"fail\"><err code=\"1001\" msg=\"Unknown service provider\"/></rsp>";
        } else {
            const auto parsed = Url::parse(*provider);
            httplib::Client client("http://127.0.0.1:" + std::to_string(parsed->port));
            auto result = client.Get(parsed->path.c_str(),
                                     httplib::Headers{{"Authorization", *authorization}});
            if (result && result->status == 200) {
                const std::string token = tokenWithLineBreak
                                              ? std::string(kTwitVidToken) + "\r\nX-Injected: 1"
                                              : kTwitVidToken;
                answer = rspOk("<token>" + escapeXml(token) + "</token><ttl>3600</ttl>");
            } else {
                answer =
                    "<rsp stat=\"fail\"><err code=\"1003\" msg=\"Invalid credentials\"/></rsp>";
            }
        }
        res.set_content(answer, "application/xml");
        log(std::move(request));
    });

    server.Post("/api/upload", [=, this](const httplib::Request& req, httplib::Response& res,
                                         const httplib::ContentReader& reader) {
        // The chunk is hashed as it arrives onto a copy of the running hash, which replaces the
        // running one only when the chunk is accepted; nothing of the movie is kept.
        Sha256 pending = [this] {
            std::lock_guard<std::mutex> lock(_upload->mutex);
            return _upload->sha;
        }();
        RecordedRequest request =
            Impl::read(req, &reader, [&](std::string_view data) { pending.update(data); });
        checkFraming(request);
        std::vector<std::string> names;
        for (const auto& part : request.parts) {
            names.push_back(part.name);
        }
        std::vector<std::string> expected = {"token", "description", "title", "sendToTwitter",
                                             "sendToFacebook"};
        if (field(request, "media_id")) {
            expected.push_back("media_id");
        }
        for (const char* name : {"totalsize", "chunksize", "media"}) {
            expected.push_back(name);
        }
        if (names != expected) {
            request.problem += "fields out of order; ";
        }
        if (field(request, "token") != kTwitVidToken || field(request, "sendToTwitter") != "0" ||
            field(request, "sendToFacebook") != "0" || field(request, "description") != "" ||
            field(request, "title") != "") {
            request.problem += "wrong field values; ";
        }
        const std::uint64_t total =
            std::strtoull(field(request, "totalsize").value_or("0").c_str(), nullptr, 10);
        const std::uint64_t chunk =
            std::strtoull(field(request, "chunksize").value_or("0").c_str(), nullptr, 10);
        const RecordedPart* media = request.parts.empty() ? nullptr : &request.parts.back();
        if (!media || media->name != "media" || media->fileName != "media.mp4" ||
            media->contentType != "video/mp4" || media->fileBytes > chunk ||
            media->fileBytes == 0) {
            request.problem += "bad media part; ";
        }

        int number = 0;
        {
            std::lock_guard<std::mutex> lock(_upload->mutex);
            number = ++_upload->requests;
        }
        pause(stallSeconds, _impl->stopping);
        if (failAllUploads || failUploadRequests.count(number)) {
            res.status = 500;
            log(std::move(request));
            return;
        }
        std::string answer;
        if (garbage) {
            answer = "this is not xml";
        } else if (doctype) {
            answer = "<!DOCTYPE rsp [<!ENTITY x \"y\">]><rsp "
                     "stat=\"ok\"><last_byte>&x;</last_byte></rsp>";
        } else if (statFail) {
            answer = "<rsp stat=\"fail\"><err code=\"2001\" msg=\"Upload refused\"/></rsp>";
        } else {
            std::lock_guard<std::mutex> lock(_upload->mutex);
            if (request.problem.empty()) {
                _upload->sha = pending;
                _upload->lastByte = pending.bytes();
            }
            std::string lastByteText = std::to_string(_upload->lastByte);
            if (lastByte == LastByte::Stuck)
                lastByteText = "0";
            if (lastByte == LastByte::BeyondSize)
                lastByteText = std::to_string(total + 100);
            if (lastByte == LastByte::NotANumber)
                lastByteText = "12abc";
            const std::string mediaID = mediaIDWithLineBreak ? "M1\nX" : "M1";
            answer = rspOk(
                "<media_id>" + mediaID + "</media_id><last_byte>" + lastByteText + "</last_byte>" +
                (_upload->lastByte == total ? "<media_url>" + base() + "/M1</media_url>" : ""));
        }
        res.set_content(answer, "application/xml");
        log(std::move(request));
    });
    startListening();
}

std::string FakeTwitVid::receivedSha256() const {
    std::lock_guard<std::mutex> lock(_upload->mutex);
    return _upload->sha.hex();
}

std::uint64_t FakeTwitVid::receivedBytes() const {
    std::lock_guard<std::mutex> lock(_upload->mutex);
    return _upload->lastByte;
}

int FakeTwitVid::uploadRequests() const {
    std::lock_guard<std::mutex> lock(_upload->mutex);
    return _upload->requests;
}

// ---------------------------------------------------------------------------------------------

struct FakeFacebook::Video {
    std::mutex mutex;
    std::string sha256;
    std::uint64_t bytes = 0;
};

FakeFacebook::FakeFacebook() : _video(std::make_shared<Video>()) {
    auto& server = _impl->server;
    const std::string version = std::string("/") + kVersion;

    server.Get(
        version + "/dialog/oauth", [this](const httplib::Request& req, httplib::Response& res) {
            RecordedRequest request = Impl::read(req, nullptr);
            const std::string redirect = req.get_param_value("redirect_uri");
            const auto parsed = Url::parse(redirect);
            if (req.get_param_value("client_id") != kAppID || !parsed ||
                parsed->host != "127.0.0.1" || req.get_param_value("response_type") != "code" ||
                req.get_param_value("state").empty() || req.get_param_value("scope").empty() ||
                req.get_param_value("code_challenge").size() != 43 ||
                req.get_param_value("code_challenge_method") != "S256") {
                request.problem = "dialog: missing or wrong parameters";
                res.status = 400;
                log(std::move(request));
                return;
            }
            const std::string scope = req.get_param_value("scope");
            if (req.get_param_value("auth_type") == "rerequest" &&
                scope.find("publish_actions") != std::string::npos && grantPublishOnRequest) {
                publishGranted = true;
            }
            std::string location;
            if (dialog == Dialog::Deny) {
                location = Url::appendingQuery(redirect, {{"error", "access_denied"},
                                                          {"error_reason", "user_denied"},
                                                          {"state", req.get_param_value("state")}});
            } else {
                const std::string code = "C" + std::to_string(count(req.path));
                {
                    std::lock_guard<std::mutex> lock(_mutex);
                    _challenges[code] = req.get_param_value("code_challenge");
                }
                const std::string state =
                    dialog == Dialog::WrongState ? "forged-state" : req.get_param_value("state");
                location = Url::appendingQuery(redirect, {{"code", code}, {"state", state}});
            }
            res.status = 302;
            res.set_header("Location", location);
            log(std::move(request));
        });
    server.Get(version + "/oauth/access_token", [this](const httplib::Request& req,
                                                       httplib::Response& res) {
        RecordedRequest request = Impl::read(req, nullptr);
        std::string challenge;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            challenge = _challenges[req.get_param_value("code")];
        }
        if (req.get_param_value("client_id") != kAppID || challenge.empty() ||
            Pkce::challengeFor(req.get_param_value("code_verifier")) != challenge) {
            request.problem = "token: PKCE verification failed";
            res.status = 400;
            res.set_content(
                R"({"error":{"message":"Invalid verification code","type":"OAuthException","code":100}})",
                "application/json");
        } else {
            res.set_content(std::string(R"({"access_token":")") + kToken +
                                R"(","token_type":"bearer",)" + tokenLifetimeMember + "}",
                            "application/json");
        }
        log(std::move(request));
    });
    server.Get(
        version + "/me/permissions", [this](const httplib::Request& req, httplib::Response& res) {
            RecordedRequest request = Impl::read(req, nullptr);
            if (request.header("Authorization") != std::string("Bearer ") + kToken) {
                res.status = 401;
            } else if (!permissionsAnswer.empty()) {
                res.set_content(permissionsAnswer, "application/json");
            } else {
                res.set_content(
                    std::string(R"({"data":[{"permission":"user_videos","status":"granted"},)") +
                        R"({"permission":"publish_actions","status":")" +
                        (publishGranted ? "granted" : "declined") + R"("}]})",
                    "application/json");
            }
            log(std::move(request));
        });
    server.Post(version + "/me/videos", [this](const httplib::Request& req, httplib::Response& res,
                                               const httplib::ContentReader& reader) {
        // The movie is hashed as it arrives; a 256 MiB upload must not sit in the fake's memory.
        Sha256 sha;
        RecordedRequest request =
            Impl::read(req, &reader, [&](std::string_view data) { sha.update(data); });
        auto field = [&](const std::string& name) -> std::optional<std::string> {
            for (const auto& part : request.parts) {
                if (part.name == name && part.fileName.empty())
                    return part.value;
            }
            return std::nullopt;
        };
        bool hasMovie = false;
        for (const auto& part : request.parts) {
            hasMovie = hasMovie || (part.name == "video.mov" && part.fileName == "video.mov");
        }
        if (field("access_token") != kToken || req.target.find(kToken) != std::string::npos ||
            !hasMovie || !field("contentType") || !field("title") || !field("description")) {
            request.problem = "me/videos: token, movie or fields missing";
        }
        auto graphError = [&](int code, const char* message) {
            res.status = 400;
            res.set_content(std::string(R"({"error":{"message":")") + message +
                                R"(","type":"OAuthException","code":)" + std::to_string(code) +
                                "}}",
                            "application/json");
        };
        switch (videos) {
        case Videos::PermissionError:
            graphError(200,
                       "(#200) The user hasn't authorized the application to perform this action");
            break;
        case Videos::SessionExpired:
            graphError(190, "Error validating access token: Session has expired");
            break;
        case Videos::ServerError:
            res.status = 500;
            res.set_content("{}", "application/json");
            break;
        case Videos::NotJson:
            res.set_content("<html>oops</html>", "text/html");
            break;
        case Videos::Ok:
            if (request.problem.empty()) {
                std::lock_guard<std::mutex> lock(_video->mutex);
                _video->sha256 = sha.hex();
                _video->bytes = sha.bytes();
            }
            res.set_content(R"({"id":"10150"})", "application/json");
            break;
        }
        log(std::move(request));
    });
    startListening();
}

std::string FakeFacebook::receivedSha256() const {
    std::lock_guard<std::mutex> lock(_video->mutex);
    return _video->sha256;
}

std::uint64_t FakeFacebook::receivedBytes() const {
    std::lock_guard<std::mutex> lock(_video->mutex);
    return _video->bytes;
}

// ---------------------------------------------------------------------------------------------

double FakeYouTube::ratingOf(int n) {
    return ((n * 7) % 23 + 1) / 5.0;
}

long long FakeYouTube::viewsOf(int n) {
    return ((n * 11) % 29 + 1) * 100LL;
}

FakeYouTube::FakeYouTube() {
    auto& server = _impl->server;
    auto entry = [this](int n, bool channel) {
        char id[16];
        std::snprintf(id, sizeof id, "VID%05d", n);
        std::string title = "Video " + std::to_string(n);
        std::string player = channel ? std::string("https://www.youtube.com/v/") + id + "?version=3"
                                     : std::string("https://www.youtube.com/v/") + id +
                                           "?f=user_uploads&app=youtube_gdata";
        if (hostileValues) {
            title += " \"><script>alert(1)</script>";
            player += "&x=\"onload=\"alert(1)";
        }
        std::ostringstream xml;
        xml << "<entry>";
        if (channel) {
            xml << "<id>yt:video:" << id << "</id><yt:videoId>" << id << "</yt:videoId>";
        }
        xml << "<title>" << escapeXml(title) << "</title>";
        if (entryWithoutGroup != n) {
            xml << "<media:group><media:title>" << escapeXml(title) << "</media:title>"
                << "<media:content url=\"" << escapeXml(player)
                << "\" type=\"application/x-shockwave-flash\""
                << (channel ? "" : " yt:format=\"5\"") << "/>";
            if (!channel && entryWithoutDuration != n) {
                xml << "<yt:duration seconds=\"" << (entryOfAnHour == n ? 3725 : 10 * n + 5)
                    << "\"/>";
            }
            if (channel) {
                xml << "<media:thumbnail url=\"https://i.ytimg.com/vi/" << id
                    << "/hqdefault.jpg\" width=\"480\" height=\"360\"/>"
                    << "<media:community><media:starRating count=\"10\" average=\"" << ratingOf(n)
                    << "\" min=\"1\" max=\"5\"/><media:statistics views=\"" << viewsOf(n)
                    << "\"/></media:community>";
            }
            xml << "</media:group>";
        }
        if (!channel) {
            xml << "<gd:rating average=\"" << ratingOf(n) << "\"/><yt:statistics viewCount=\""
                << viewsOf(n) << "\"/>";
        }
        xml << "</entry>";
        return xml.str();
    };
    const std::string header =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\" "
        "xmlns:media=\"http://search.yahoo.com/mrss/\" "
        "xmlns:openSearch=\"http://a9.com/-/spec/opensearchrss/1.0/\" "
        "xmlns:yt=\"http://gdata.youtube.com/schemas/2007\" "
        "xmlns:gd=\"http://schemas.google.com/g/2005\">";

    // Faults shared by both dialects; true when the answer has been made.
    auto faulted = [this, header](httplib::Response& res) {
        pause(delaySeconds, _impl->stopping);
        switch (fault.load()) {
        case Fault::Status503Once:
            if (!_failedOnce.exchange(true)) {
                res.status = 503;
                return true;
            }
            return false;
        case Fault::Status500Always:
            res.status = 500;
            return true;
        case Fault::Malformed:
            res.set_content(header + "<entry><title>broken", "application/atom+xml");
            return true;
        case Fault::ExternalEntity:
            res.set_content(
                "<?xml version=\"1.0\"?>\n<!DOCTYPE feed [<!ENTITY secret SYSTEM \"file://" +
                    secretPath + "\"><!ENTITY leak SYSTEM \"" + base() +
                    "/leak\">]>\n<feed "
                    "xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>&secret;&leak;</title></"
                    "entry></feed>",
                "application/atom+xml");
            return true;
        case Fault::BillionLaughs: {
            std::string dtd = "<!DOCTYPE lolz [<!ENTITY lol \"lol\">";
            for (int level = 1; level <= 9; ++level) {
                std::string previous = level == 1 ? "lol" : "lol" + std::to_string(level - 1);
                dtd += "<!ENTITY lol" + std::to_string(level) + " \"";
                for (int i = 0; i < 10; ++i)
                    dtd += "&" + previous + ";";
                dtd += "\">";
            }
            dtd += "]>";
            res.set_content("<?xml version=\"1.0\"?>\n" + dtd +
                                "<feed "
                                "xmlns=\"http://www.w3.org/2005/Atom\"><entry><title>&lol9;</"
                                "title></entry></feed>",
                            "application/atom+xml");
            return true;
        }
        case Fault::Dribble: {
            const std::atomic<bool>* stopping = &_impl->stopping;
            res.set_chunked_content_provider(
                "application/atom+xml",
                [stopping, header](size_t offset, httplib::DataSink& sink) {
                    if (offset == 0) {
                        return sink.write(header.data(), header.size());
                    }
                    pause(0.5, *stopping);
                    return !stopping->load() && sink.write(" ", 1);
                });
            return true;
        }
        case Fault::None:
            return false;
        }
        return false;
    };

    server.Get(R"(/feeds/api/users/([^/]+)/uploads)", [=, this](const httplib::Request& req,
                                                                httplib::Response& res) {
        log(Impl::read(req, nullptr));
        if (faulted(res)) {
            return;
        }
        const int total = videoCount;
        std::vector<int> order;
        for (int n = 1; n <= total; ++n)
            order.push_back(n);
        const std::string by = req.get_param_value("orderby");
        if (by == "rating") {
            std::stable_sort(order.begin(), order.end(),
                             [](int a, int b) { return ratingOf(a) > ratingOf(b); });
        } else if (by == "viewCount") {
            std::stable_sort(order.begin(), order.end(),
                             [](int a, int b) { return viewsOf(a) > viewsOf(b); });
        }
        const int start = std::max(1, std::atoi(req.get_param_value("start-index").c_str()));
        const int count = std::max(0, std::atoi(req.get_param_value("max-results").c_str()));
        std::string body = header + "<openSearch:totalResults>" + std::to_string(total) +
                           "</openSearch:totalResults><openSearch:startIndex>" +
                           std::to_string(start) + "</openSearch:startIndex>";
        for (int i = start - 1; i < std::min(total, start - 1 + count); ++i) {
            body += entry(order[i], false);
        }
        res.set_content(body + "</feed>", "application/atom+xml");
    });
    server.Get("/feeds/videos.xml", [=, this](const httplib::Request& req, httplib::Response& res) {
        log(Impl::read(req, nullptr));
        if (faulted(res)) {
            return;
        }
        std::string body = header + "<title>Channel</title>";
        for (int n = 1; n <= std::min(15, videoCount.load()); ++n) {
            body += entry(n, true);
        }
        res.set_content(body + "</feed>", "application/atom+xml");
    });
    server.Get("/leak", [this](const httplib::Request& req, httplib::Response& res) {
        ++_leakHits;
        log(Impl::read(req, nullptr));
        res.set_content("leaked", "text/plain");
    });
    startListening();
}

// ---------------------------------------------------------------------------------------------

struct FakeTlsServer::Impl {
    std::unique_ptr<httplib::SSLServer> server;
    std::thread thread;
};

FakeTlsServer::FakeTlsServer(const std::string& certificatePath, const std::string& keyPath)
    : _impl(std::make_unique<Impl>()) {
    _impl->server = std::make_unique<httplib::SSLServer>(certificatePath.c_str(), keyPath.c_str());
    if (!_impl->server->is_valid()) {
        return;
    }
    _impl->server->set_keep_alive_max_count(1);
    _impl->server->Get("/hello", [this](const httplib::Request&, httplib::Response& res) {
        ++_hits;
        res.set_content("hello", "text/plain");
    });
    _port = _impl->server->bind_to_any_port("127.0.0.1");
    _impl->thread = std::thread([this] { _impl->server->listen_after_bind(); });
    while (!_impl->server->is_running()) {
        std::this_thread::yield();
    }
}

FakeTlsServer::~FakeTlsServer() {
    if (_impl->server) {
        _impl->server->stop();
    }
    if (_impl->thread.joinable()) {
        _impl->thread.join();
    }
}

bool makeSelfSignedCertificate(const std::string& certificatePath, const std::string& keyPath) {
    const std::string command =
        "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
        "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
        keyPath + "' -out '" + certificatePath + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

int browse(const std::string& start) {
    std::string url = start;
    for (int hop = 0; hop < 5; ++hop) {
        const auto parsed = Url::parse(url);
        if (!parsed || parsed->scheme != "http") {
            return 0;
        }
        httplib::Client client("http://" + parsed->host + ":" + std::to_string(parsed->port));
        client.set_follow_location(false);
        const std::string target =
            parsed->path + (parsed->query.empty() ? "" : "?" + parsed->query);
        auto result = client.Get(target.c_str());
        if (!result) {
            return 0;
        }
        if (result->status / 100 != 3) {
            return result->status;
        }
        url = result->get_header_value("Location");
    }
    return 0;
}

std::string servicesIni(const FakeTwitter* twitter, const FakeTwitVid* twitvid,
                        const FakeFacebook* facebook, const FakeYouTube* youtube,
                        const std::string& extra) {
    std::string ini;
    if (twitter) {
        ini += "[twitter]\napi_base=" + twitter->base() +
               "\nconsumer_key=" + FakeTwitter::kConsumerKey +
               "\nconsumer_secret=" + FakeTwitter::kConsumerSecret + "\n";
    }
    if (twitvid) {
        ini += "[twitvid]\napi_base=" + twitvid->apiBase() + "\n";
    }
    if (facebook) {
        ini += "[facebook]\napp_id=" + std::string(FakeFacebook::kAppID) +
               "\ndialog_base=" + facebook->base() + "\ngraph_base=" + facebook->base() +
               "\ngraph_video_base=" + facebook->base() +
               "\napi_version=" + FakeFacebook::kVersion + "\n";
    }
    if (youtube) {
        ini += "[youtube]\nfeed_url=" + youtube->pagedFeedURL() + "\nchannel=maker\n";
    }
    ini += "[credentials]\nstore=file\n";
    return ini + extra;
}

} // namespace tx::fakes
