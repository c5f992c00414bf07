// The TwitVid client: authenticates with an OAuth Echo header, then uploads a movie in chunks
// from disk, resending from the last acknowledged byte after a failure. Every report arrives on
// the main run loop.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "services/http/HttpClient.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace tx {

// One call to the service: "authenticate" or "upload".
class TVRequest : public Object {
public:
    explicit TVRequest(std::string callName) : _callName(std::move(callName)) {}
    const std::string& callName() const { return _callName; }

private:
    std::string _callName;
};

class TwitVidDelegate {
public:
    virtual ~TwitVidDelegate() = default;
    // An answer whose "stat" is "ok": its fields ("token", "ttl", "media_id", "last_byte",
    // "media_url") and "stat".
    virtual void requestDidReceiveResponse(TVRequest& request,
                                           const std::map<std::string, std::string>& answer) = 0;
    virtual void requestDidFailWithError(TVRequest& request, const ErrorPtr& error) = 0;
    // Movie bytes: sent of this chunk, sent over all chunks, in this chunk, in the file.
    virtual void requestDidSendBytes(TVRequest&, std::uint64_t /*bytesSent*/,
                                     std::uint64_t /*totalBytesSent*/,
                                     std::uint64_t /*bytesExpected*/,
                                     std::uint64_t /*totalBytesExpected*/) {}
    virtual void requestDidReceiveBytes(TVRequest&, std::uint64_t, std::uint64_t) {}
};

// The optional arguments of an upload; nothing is sent for what is not set.
struct TwitVidUploadOptions {
    std::optional<std::string> message;
    std::optional<std::string> mediaID;
    std::optional<std::string> playlistID;
    std::optional<std::string> vidResponseParent;
    std::optional<std::string> userTags;
    std::optional<std::string> geoLatitude;
    std::optional<std::string> geoLongitude;
    std::optional<std::string> tags;
    std::optional<std::string> categoryID;
    std::string description;
    std::string title;
    std::optional<std::string> xVerifyCredentialsAuthorization;
    std::optional<std::string> xAuthServiceProvider;
};

inline constexpr const char* kTwitVidBadResponse = "Bad Response";
inline constexpr const char* kTwitVidEmptyFile =
    "Could not prepare media for upload: file is empty";

class TwitVid : public Object {
public:
    static constexpr std::uint64_t kChunkBytes = 5242880;
    static constexpr std::uint64_t kCellularChunkBytes = 524288;
    // One call is sent at most this many times; the next failure is reported.
    static constexpr int kAttemptsPerCall = 4;

    TwitVid();
    ~TwitVid() override;

    void setDelegate(std::weak_ptr<TwitVidDelegate> delegate) { _delegate = std::move(delegate); }
    // The service's base address ending in "/api"; by default services.ini's.
    void setApiBase(std::string base) { _apiBase = std::move(base); }
    void setHttpClient(HttpClient* client) { _http = client; }
    void setChunkBytes(std::uint64_t bytes) { _chunkBytes = bytes; }

    void authenticateWithXVerifyCredentialsAuthorization(const std::string& authorization,
                                                         const std::string& serviceProvider);
    void uploadWithMediaFileAtPath(const std::string& path, std::uint64_t offset,
                                   const TwitVidUploadOptions& options);
    // Stops the call in progress; nothing more is reported.
    void cancel();

    const std::string& token() const { return _token; }
    // True when the last failure was the service's own "fail" answer (a refusal), not a
    // transport, status or unreadable-answer failure.
    bool lastFailureWasRefusal() const { return _refused; }

    // 512 KiB on a cellular network, 5 MiB otherwise, unless services.ini says.
    static std::uint64_t chunkBytesForCurrentNetwork();

private:
    void sendAuthenticate();
    void sendChunk();
    void handleAnswer(const HttpResponse& response);
    void retryOrFail(const ErrorPtr& error);
    void fail(const ErrorPtr& error);
    std::shared_ptr<TwitVidDelegate> delegate() const { return _delegate.lock(); }

    std::weak_ptr<TwitVidDelegate> _delegate;
    std::string _apiBase;
    HttpClient* _http = nullptr;
    std::uint64_t _chunkBytes = 0;
    HttpTicketPtr _ticket;
    std::shared_ptr<TVRequest> _request;
    int _failures = 0;
    bool _refused = false;

    // authenticate
    std::string _authorization;
    std::string _serviceProvider;
    std::string _token;
    // upload
    std::string _path;
    TwitVidUploadOptions _options;
    std::uint64_t _fileBytes = 0;
    std::uint64_t _offset = 0;
    std::uint64_t _sending = 0; // movie bytes in the request in flight
    std::string _mediaID;
};

} // namespace tx
