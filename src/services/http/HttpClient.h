// HTTP for the service clients: libcurl on one worker thread, every answer and progress report
// delivered on the main run loop, a ticket per request whose cancellation means no later call.
#pragma once

#include "platform/foundation/Error.h"
#include "services/http/RequestBody.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tx {

// Transport failures carry this domain; the code is libcurl's, the description says what
// happened and where.
inline constexpr const char* kHttpErrorDomain = "taluvex.http";

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::shared_ptr<RequestBody> body; // none for GET
    // Answers larger than this fail instead of growing without bound.
    std::uint64_t maxAnswerBytes = 1 << 20;
    // Repeats after a connect error, a time-out or 502/503/504, with 1 s then 2 s between.
    int maxRetries = 2;
    // The whole exchange must end within this many seconds: negative takes [network]
    // request_timeout_s, except for a body with a file part (an upload), which has none and is
    // bounded by the stall watchdog as its bytes move.
    double deadlineSeconds = -1;
};

struct HttpResponse {
    long status = 0;
    std::vector<std::pair<std::string, std::string>> headers; // names in lower case
    std::string body;
    ErrorPtr error; // a transport failure; the status is then 0
    int attempts = 0;

    bool ok() const { return !error && status >= 200 && status < 300; }
    std::string header(const std::string& lowerCaseName) const;
};

class HttpTicket {
public:
    // After this returns (on the main thread), neither completion nor progress is called.
    void cancel() { _cancelled = true; }
    bool isCancelled() const { return _cancelled.load(); }
    bool isFinished() const { return _finished.load(); }

private:
    friend class HttpClient;
    std::atomic<bool> _cancelled{false};
    std::atomic<bool> _finished{false};
};
using HttpTicketPtr = std::shared_ptr<HttpTicket>;

class HttpClient {
public:
    using Completion = std::function<void(const HttpResponse&)>;
    // File bytes of the body sent so far, and the file bytes in the body.
    using Progress = std::function<void(std::uint64_t sentBytes, std::uint64_t totalBytes)>;

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    static HttpClient& shared();

    // Starts `request`; `completion` runs once on the main run loop unless the ticket is
    // cancelled first. Addresses that are neither https nor loopback http fail at once.
    HttpTicketPtr send(HttpRequest request, Completion completion, Progress progress = {});

    // The pause before retry n is `seconds` × n (tests shorten it).
    void setRetryBackoffSeconds(double seconds) { _backoffSeconds = seconds; }
    // Requests that reached the network since creation, retries included.
    int attemptCount() const { return _attemptCount.load(); }

    struct Transfer;

private:
    void run();
    void wake();

    std::mutex _mutex;
    std::deque<std::shared_ptr<Transfer>> _incoming;
    bool _stopping = false;
    void* _multi = nullptr;
    std::thread _thread;
    std::atomic<double> _backoffSeconds{1.0};
    std::atomic<int> _attemptCount{0};
};

} // namespace tx
