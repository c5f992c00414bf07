#include "services/twitvid/TwitVid.h"

#include "services/http/Answers.h"
#include "services/http/ServiceConfig.h"

#include "platform/foundation/RunLoop.h"
#include "platform/foundation/Translation.h"

#include <QNetworkInformation>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <sys/stat.h>

namespace tx {

namespace {

ErrorPtr badResponse() {
    return Error::make(kTwitVidBadResponse, 0);
}

bool hasLineBreak(const std::string& value) {
    return value.find_first_of("\r\n") != std::string::npos;
}

std::optional<std::uint64_t> parseByteCount(const std::string& text) {
    std::uint64_t value = 0;
    const char* end = text.data() + text.size();
    auto [where, problem] = std::from_chars(text.data(), end, value);
    if (text.empty() || problem != std::errc() || where != end) {
        return std::nullopt;
    }
    return value;
}

} // namespace

TwitVid::TwitVid() : _apiBase(ServiceConfig::current().twitvidApiBase) {}

TwitVid::~TwitVid() {
    cancel();
}

std::uint64_t TwitVid::chunkBytesForCurrentNetwork() {
    const long long configured = ServiceConfig::current().twitvidChunkBytes;
    if (configured > 0) {
        return static_cast<std::uint64_t>(configured);
    }
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::TransportMedium)) {
        if (QNetworkInformation::instance()->transportMedium() ==
            QNetworkInformation::TransportMedium::Cellular) {
            return kCellularChunkBytes;
        }
    }
    return kChunkBytes;
}

void TwitVid::cancel() {
    if (_ticket) {
        _ticket->cancel();
        _ticket.reset();
    }
    _request.reset();
}

void TwitVid::authenticateWithXVerifyCredentialsAuthorization(const std::string& authorization,
                                                              const std::string& serviceProvider) {
    cancel();
    _request = std::make_shared<TVRequest>("authenticate");
    _authorization = authorization;
    _serviceProvider = serviceProvider;
    _failures = 0;
    _refused = false;
    sendAuthenticate();
}

void TwitVid::uploadWithMediaFileAtPath(const std::string& path, std::uint64_t offset,
                                        const TwitVidUploadOptions& options) {
    cancel();
    _request = std::make_shared<TVRequest>("upload");
    _path = path;
    _options = options;
    _offset = offset;
    _failures = 0;
    _refused = false;
    _mediaID = options.mediaID.value_or(std::string());
    _chunkBytes = _chunkBytes ? _chunkBytes : chunkBytesForCurrentNetwork();
    struct stat info {};
    ErrorPtr problem;
    if (::stat(path.c_str(), &info) != 0) {
        problem = Error::make(
            "Could not prepare media for upload: " + std::string(std::strerror(errno)), 0);
    } else if (info.st_size == 0) {
        problem = Error::make(kTwitVidEmptyFile, 0);
    } else if (offset >= static_cast<std::uint64_t>(info.st_size)) {
        problem =
            Error::make("Could not prepare media for upload: the offset lies beyond the file", 0);
    }
    if (problem) {
        // Reported on a later turn, like every other answer.
        auto request = _request;
        RunLoop::post([weak = weak_from_this(), request, problem] {
            auto self = std::static_pointer_cast<TwitVid>(weak.lock());
            if (self && self->_request == request) {
                self->fail(problem);
            }
        });
        return;
    }
    _fileBytes = static_cast<std::uint64_t>(info.st_size);
    sendChunk();
}

void TwitVid::sendAuthenticate() {
    MultipartForm form;
    if (!form.addField("x_verify_credentials_authorization", _authorization, true) ||
        !form.addField("x_auth_service_provider", _serviceProvider, true)) {
        fail(Error::make(_("The sign-in cannot be sent: it holds a line break"), 0));
        return;
    }
    HttpRequest request;
    request.method = "POST";
    request.url = _apiBase + "/authenticate";
    request.headers.emplace_back("Content-Type", form.contentType());
    request.body = form.finish();
    request.body->setChunked(true);
    request.maxAnswerBytes = kSmallAnswerBytes;
    request.maxRetries = 0; // this client resends by its own rule
    HttpClient& http = _http ? *_http : HttpClient::shared();
    _ticket = http.send(std::move(request),
                        [this](const HttpResponse& response) { handleAnswer(response); });
}

void TwitVid::sendChunk() {
    _sending = std::min(_chunkBytes, _fileBytes - _offset);
    MultipartForm form;
    bool fieldsOk = true;
    auto add = [&](const char* name, const std::string& value) {
        fieldsOk = fieldsOk && form.addField(name, value, true);
    };
    add("token", _token);
    if (_options.message)
        add("message", *_options.message);
    if (_options.playlistID)
        add("playlist_id", *_options.playlistID);
    if (_options.vidResponseParent)
        add("vid_response_parent", *_options.vidResponseParent);
    if (_options.userTags)
        add("user_tags", *_options.userTags);
    if (_options.geoLatitude)
        add("geo_latitude", *_options.geoLatitude);
    if (_options.geoLongitude)
        add("geo_longitude", *_options.geoLongitude);
    if (_options.tags)
        add("tags", *_options.tags);
    if (_options.categoryID)
        add("category_id", *_options.categoryID);
    fieldsOk = fieldsOk && form.addField("description", _options.description);
    fieldsOk = fieldsOk && form.addField("title", _options.title);
    add("sendToTwitter", "0");
    add("sendToFacebook", "0");
    if (_options.xVerifyCredentialsAuthorization) {
        add("x_verify_credentials_authorization", *_options.xVerifyCredentialsAuthorization);
    }
    if (_options.xAuthServiceProvider)
        add("x_auth_service_provider", *_options.xAuthServiceProvider);
    if (!_mediaID.empty())
        add("media_id", _mediaID);
    add("totalsize", std::to_string(_fileBytes));
    add("chunksize", std::to_string(_chunkBytes));
    if (!fieldsOk) {
        fail(badResponse());
        return;
    }
    form.addFile("media", "media.mp4", "video/mp4", _path, _offset, _sending);

    HttpRequest request;
    request.method = "POST";
    request.url = _apiBase + "/upload";
    request.headers.emplace_back("Content-Type", form.contentType());
    request.body = form.finish();
    request.body->setChunked(true);
    request.maxAnswerBytes = kSmallAnswerBytes;
    request.maxRetries = 0;
    HttpClient& http = _http ? *_http : HttpClient::shared();
    const std::uint64_t base = _offset;
    const std::uint64_t chunk = _sending;
    _ticket = http.send(
        std::move(request), [this](const HttpResponse& response) { handleAnswer(response); },
        [this, base, chunk](std::uint64_t sent, std::uint64_t) {
            if (auto delegate = this->delegate(); delegate && _request) {
                auto request = _request;
                delegate->requestDidSendBytes(*request, sent, base + sent, chunk, _fileBytes);
            }
        });
}

void TwitVid::handleAnswer(const HttpResponse& response) {
    _ticket.reset();
    if (response.error) {
        retryOrFail(response.error);
        return;
    }
    if (response.status != 200) {
        retryOrFail(
            Error::make("HTTPError", response.status,
                        "The service answered with status " + std::to_string(response.status)));
        return;
    }
    const auto answer = parseRsp(response.body);
    if (!answer) {
        fail(badResponse());
        return;
    }
    if (!answer->ok()) {
        long code = 0;
        std::from_chars(answer->errorCode.data(),
                        answer->errorCode.data() + answer->errorCode.size(), code);
        _refused = true;
        fail(Error::make(answer->errorMessage.empty() ? _("the service refused it") : answer->errorMessage,
                         code));
        return;
    }
    std::map<std::string, std::string> fields = answer->fields;
    fields["stat"] = answer->stat;
    auto request = _request;
    if (request->callName() == "authenticate") {
        auto token = fields.find("token");
        if (token == fields.end() || token->second.empty() || hasLineBreak(token->second)) {
            fail(badResponse());
            return;
        }
        _token = token->second;
        _request.reset();
        if (auto delegate = this->delegate()) {
            delegate->requestDidReceiveResponse(*request, fields);
        }
        return;
    }

    // An upload answer must move the acknowledged offset forward and stay within the file,
    // otherwise the exchange would loop or seek outside the movie.
    auto lastByteText = fields.find("last_byte");
    const auto lastByte =
        lastByteText == fields.end() ? std::nullopt : parseByteCount(lastByteText->second);
    auto mediaID = fields.find("media_id");
    if (!lastByte || *lastByte <= _offset || *lastByte > _fileBytes ||
        (mediaID != fields.end() && hasLineBreak(mediaID->second)) ||
        (mediaID == fields.end() && _mediaID.empty())) {
        fail(badResponse());
        return;
    }
    if (mediaID != fields.end()) {
        _mediaID = mediaID->second;
    }
    _offset = *lastByte;
    if (_offset == _fileBytes) {
        _request.reset();
        if (auto delegate = this->delegate()) {
            delegate->requestDidReceiveResponse(*request, fields);
        }
        return;
    }
    sendChunk();
}

void TwitVid::retryOrFail(const ErrorPtr& error) {
    ++_failures;
    if (_failures >= kAttemptsPerCall) {
        fail(error);
        return;
    }
    if (_request->callName() == "authenticate") {
        sendAuthenticate();
        return;
    }
    // Resend from the last acknowledged byte with a smaller chunk.
    _chunkBytes = std::max<std::uint64_t>(_chunkBytes / 2, 1);
    sendChunk();
}

void TwitVid::fail(const ErrorPtr& error) {
    auto request = _request ? _request : std::make_shared<TVRequest>("upload");
    _request.reset();
    if (_ticket) {
        _ticket->cancel();
        _ticket.reset();
    }
    if (auto delegate = this->delegate()) {
        delegate->requestDidFailWithError(*request, error);
    }
}

} // namespace tx
