#include "services/http/HttpClient.h"

#include "platform/foundation/RunLoop.h"
#include "services/http/ServiceConfig.h"
#include "services/http/Url.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace tx {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void ensureCurlGlobal() {
    static const bool initialised = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)initialised;
}

} // namespace

std::string HttpResponse::header(const std::string& lowerCaseName) const {
    for (const auto& [name, value] : headers) {
        if (name == lowerCaseName) {
            return value;
        }
    }
    return {};
}

struct HttpClient::Transfer {
    HttpClient* owner = nullptr;
    HttpTicketPtr ticket;
    HttpRequest request;
    Completion completion;
    Progress progress;
    std::string caFile;
    long connectTimeoutMs = 30000;
    long stallSeconds = 60;
    double deadlineSeconds = 0; // 0: none

    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
    HttpResponse response;
    bool answerTooLarge = false;
    bool bodyFailed = false;
    bool stalled = false;
    curl_off_t lastMoved = -1;
    Clock::time_point lastActivity{};
    int attempt = 0;
    Clock::time_point notBefore{};
    Clock::time_point lastProgress{};
    std::uint64_t lastReported = ~std::uint64_t(0);
    std::uint64_t fileTotal = 0;

    ~Transfer() { release(); }

    void release() {
        if (easy) {
            curl_easy_cleanup(easy);
            easy = nullptr;
        }
        if (headerList) {
            curl_slist_free_all(headerList);
            headerList = nullptr;
        }
    }

    void reportProgress(bool force) {
        if (!progress || !request.body) {
            return;
        }
        const std::uint64_t sent = request.body->fileBytesRead();
        const auto now = Clock::now();
        if (sent == lastReported || (!force && now - lastProgress < kProgressInterval)) {
            return;
        }
        lastProgress = now;
        lastReported = sent;
        auto ticketCopy = ticket;
        auto callback = progress;
        const std::uint64_t total = fileTotal;
        RunLoop::post([ticketCopy, callback, sent, total] {
            if (!ticketCopy->isCancelled() && !ticketCopy->isFinished()) {
                callback(sent, total);
            }
        });
    }

    static size_t onWrite(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        if (self->response.body.size() + bytes > self->request.maxAnswerBytes) {
            self->answerTooLarge = true;
            return 0;
        }
        self->response.body.append(data, bytes);
        return bytes;
    }

    static size_t onHeader(char* data, size_t size, size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        const size_t bytes = size * count;
        std::string line(data, bytes);
        const auto colon = line.find(':');
        if (colon != std::string::npos) {
            std::string value = line.substr(colon + 1);
            const auto first = value.find_first_not_of(" \t");
            const auto last = value.find_last_not_of(" \t\r\n");
            value =
                first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
            self->response.headers.emplace_back(lower(line.substr(0, colon)), value);
        } else if (line.rfind("HTTP/", 0) == 0) {
            self->response.headers.clear(); // a new answer (after 100 Continue)
        }
        return bytes;
    }

    static size_t onRead(char* buffer, size_t size, size_t count, void* user) {
        auto* self = static_cast<Transfer*>(user);
        if (self->ticket->isCancelled()) {
            return CURL_READFUNC_ABORT;
        }
        const auto got = self->request.body->read(buffer, size * count);
        if (!got) {
            self->bodyFailed = true;
            return CURL_READFUNC_ABORT;
        }
        self->reportProgress(*got == 0);
        return *got;
    }

    static int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t,
                          curl_off_t uploaded) {
        auto* self = static_cast<Transfer*>(user);
        if (self->ticket->isCancelled()) {
            return 1;
        }
        // libcurl's own low-speed check averages over several seconds; this one ends a
        // transfer as soon as nothing has moved for the stall time.
        const auto now = Clock::now();
        if (downloaded + uploaded != self->lastMoved) {
            self->lastMoved = downloaded + uploaded;
            self->lastActivity = now;
        } else if (now - self->lastActivity > std::chrono::seconds(self->stallSeconds)) {
            self->stalled = true;
            return 1;
        }
        return 0;
    }

    static CURLcode onSslContext(CURL*, void* sslContext, void* user) {
        auto* self = static_cast<Transfer*>(user);
        // The configured certificate is trusted in addition to the system's.
        X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
        if (X509_STORE_load_file(store, self->caFile.c_str()) != 1) {
            return CURLE_SSL_CACERT_BADFILE;
        }
        return CURLE_OK;
    }

    bool setUp() {
        release();
        response = HttpResponse();
        answerTooLarge = false;
        bodyFailed = false;
        stalled = false;
        lastMoved = -1;
        lastActivity = Clock::now();
        errorBuffer[0] = '\0';
        easy = curl_easy_init();
        if (!easy) {
            return false;
        }
        curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
        curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);
        curl_easy_setopt(easy, CURLOPT_PRIVATE, this);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        curl_easy_setopt(easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
        if (!caFile.empty()) {
            curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, &Transfer::onSslContext);
            curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
        }
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
        // A transfer that moves less than 1 byte a second for this long has stalled.
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, stallSeconds);
        if (deadlineSeconds > 0) {
            curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(deadlineSeconds * 1000));
        }
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                         static_cast<curl_off_t>(request.maxAnswerBytes));
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::onWrite);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Transfer::onHeader);
        curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
        curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::onProgress);
        curl_easy_setopt(easy, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(easy, CURLOPT_USERAGENT, "Taluvex/" TALUVEX_VERSION);

        for (const auto& [name, value] : request.headers) {
            headerList = curl_slist_append(headerList, (name + ": " + value).c_str());
        }
        if (request.body) {
            request.body->rewind();
            fileTotal = request.body->fileBytes();
            curl_easy_setopt(easy, CURLOPT_POST, 1L);
            curl_easy_setopt(easy, CURLOPT_READFUNCTION, &Transfer::onRead);
            curl_easy_setopt(easy, CURLOPT_READDATA, this);
            if (request.body->chunked()) {
                headerList = curl_slist_append(headerList, "Transfer-Encoding: chunked");
            } else {
                curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                                 static_cast<curl_off_t>(request.body->size()));
            }
            headerList = curl_slist_append(headerList, "Expect:");
        }
        if (request.method != "GET" && request.method != "POST") {
            curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        } else if (request.method == "POST" && !request.body) {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, "");
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE, 0L);
        }
        if (headerList) {
            curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headerList);
        }
        return true;
    }

    // Fills in the answer after libcurl is done; true when another attempt should follow.
    bool finish(CURLcode code) {
        response.attempts = attempt;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
        if (stalled) {
            code = CURLE_OPERATION_TIMEDOUT;
            std::snprintf(errorBuffer, sizeof errorBuffer, "nothing moved for %ld s", stallSeconds);
        } else if (code == CURLE_OPERATION_TIMEDOUT && deadlineSeconds > 0) {
            double elapsed = 0;
            curl_easy_getinfo(easy, CURLINFO_TOTAL_TIME, &elapsed);
            if (elapsed >= deadlineSeconds * 0.99) {
                std::snprintf(errorBuffer, sizeof errorBuffer, "it did not finish within %g s",
                              deadlineSeconds);
            }
        }
        if (code != CURLE_OK) {
            std::string what;
            if (answerTooLarge || code == CURLE_FILESIZE_EXCEEDED) {
                what = "The answer of " + request.url + " is larger than " +
                       std::to_string(request.maxAnswerBytes) + " bytes";
            } else if (bodyFailed) {
                what = request.body->error();
            } else if (code == CURLE_OPERATION_TIMEDOUT) {
                what = "No answer from " + request.url + " in time (" +
                       std::string(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code)) + ")";
            } else {
                what = std::string(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code)) + " (" +
                       request.url + ")";
            }
            response.status = 0;
            response.body.clear();
            response.error = Error::make(kHttpErrorDomain, code, what);
        }
        if (attempt > request.maxRetries || answerTooLarge || bodyFailed) {
            return false;
        }
        const bool transient =
            code == CURLE_COULDNT_CONNECT || code == CURLE_OPERATION_TIMEDOUT ||
            code == CURLE_COULDNT_RESOLVE_HOST || code == CURLE_GOT_NOTHING ||
            code == CURLE_SEND_ERROR || code == CURLE_RECV_ERROR ||
            (code == CURLE_OK &&
             (response.status == 502 || response.status == 503 || response.status == 504));
        return transient;
    }
};

HttpClient::HttpClient() {
    ensureCurlGlobal();
    _multi = curl_multi_init();
    _thread = std::thread([this] { run(); });
}

HttpClient::~HttpClient() {
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _stopping = true;
    }
    wake();
    _thread.join();
    curl_multi_cleanup(static_cast<CURLM*>(_multi));
}

HttpClient& HttpClient::shared() {
    static auto* client = new HttpClient();
    return *client;
}

void HttpClient::wake() {
    curl_multi_wakeup(static_cast<CURLM*>(_multi));
}

HttpTicketPtr HttpClient::send(HttpRequest request, Completion completion, Progress progress) {
    auto ticket = std::make_shared<HttpTicket>();
    if (auto problem = serviceAddressProblem(request.url)) {
        auto error = Error::make(kHttpErrorDomain, CURLE_UNSUPPORTED_PROTOCOL, *problem);
        RunLoop::post([ticket, completion, error] {
            if (!ticket->isCancelled()) {
                ticket->_finished = true;
                HttpResponse response;
                response.error = error;
                completion(response);
            }
        });
        return ticket;
    }
    const ServiceConfig& config = ServiceConfig::current();
    auto transfer = std::make_shared<Transfer>();
    transfer->owner = this;
    transfer->ticket = ticket;
    transfer->request = std::move(request);
    transfer->completion = std::move(completion);
    transfer->progress = std::move(progress);
    transfer->caFile = config.caFile;
    transfer->connectTimeoutMs = static_cast<long>(config.connectTimeoutSeconds * 1000);
    transfer->stallSeconds = std::max(1L, static_cast<long>(config.stallTimeoutSeconds + 0.5));
    const bool upload = transfer->request.body && transfer->request.body->fileBytes() > 0;
    transfer->deadlineSeconds = transfer->request.deadlineSeconds >= 0
                                    ? transfer->request.deadlineSeconds
                                    : (upload ? 0 : config.requestTimeoutSeconds);
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _incoming.push_back(std::move(transfer));
    }
    wake();
    return ticket;
}

void HttpClient::run() {
    auto* multi = static_cast<CURLM*>(_multi);
    std::vector<std::shared_ptr<Transfer>> waiting;
    std::vector<std::shared_ptr<Transfer>> active;

    auto deliver = [](const std::shared_ptr<Transfer>& transfer) {
        transfer->reportProgress(true);
        auto ticket = transfer->ticket;
        auto completion = std::move(transfer->completion);
        auto response = std::move(transfer->response);
        RunLoop::post([ticket, completion = std::move(completion), response = std::move(response)] {
            if (!ticket->isCancelled()) {
                ticket->_finished = true;
                completion(response);
            }
        });
    };

    for (;;) {
        {
            std::lock_guard<std::mutex> lock(_mutex);
            if (_stopping) {
                break;
            }
            while (!_incoming.empty()) {
                waiting.push_back(std::move(_incoming.front()));
                _incoming.pop_front();
            }
        }
        // Cancelled transfers leave at once; nothing of theirs is delivered.
        for (auto it = active.begin(); it != active.end();) {
            if ((*it)->ticket->isCancelled()) {
                curl_multi_remove_handle(multi, (*it)->easy);
                it = active.erase(it);
            } else {
                ++it;
            }
        }
        std::erase_if(waiting,
                      [](const auto& transfer) { return transfer->ticket->isCancelled(); });

        const auto now = Clock::now();
        long waitMs = 1000;
        for (auto it = waiting.begin(); it != waiting.end();) {
            auto& transfer = *it;
            if (transfer->notBefore > now) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    transfer->notBefore - now);
                waitMs = std::min<long>(waitMs, std::max<long>(1, left.count()));
                ++it;
                continue;
            }
            ++transfer->attempt;
            ++_attemptCount;
            if (transfer->setUp()) {
                curl_multi_add_handle(multi, transfer->easy);
                active.push_back(transfer);
            } else {
                transfer->response.error =
                    Error::make(kHttpErrorDomain, CURLE_FAILED_INIT, "Cannot start a request");
                deliver(transfer);
            }
            it = waiting.erase(it);
        }

        int running = 0;
        curl_multi_perform(multi, &running);
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
            if (message->msg != CURLMSG_DONE) {
                continue;
            }
            Transfer* raw = nullptr;
            curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &raw);
            const CURLcode code = message->data.result;
            curl_multi_remove_handle(multi, message->easy_handle);
            auto it = std::find_if(active.begin(), active.end(),
                                   [raw](const auto& transfer) { return transfer.get() == raw; });
            if (it == active.end()) {
                continue;
            }
            auto transfer = *it;
            active.erase(it);
            if (transfer->ticket->isCancelled()) {
                continue;
            }
            if (transfer->finish(code)) {
                transfer->notBefore =
                    Clock::now() +
                    std::chrono::duration_cast<Clock::duration>(
                        std::chrono::duration<double>(_backoffSeconds.load() * transfer->attempt));
                waiting.push_back(transfer);
                waitMs = 0;
            } else {
                transfer->release();
                deliver(transfer);
            }
        }
        if (waitMs > 0) {
            curl_multi_poll(multi, nullptr, 0,
                            static_cast<int>(active.empty() ? waitMs : std::min(waitMs, 100L)),
                            nullptr);
        }
    }
    for (auto& transfer : active) {
        curl_multi_remove_handle(multi, transfer->easy);
    }
}

} // namespace tx
