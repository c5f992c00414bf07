#include "services/oauth/LoopbackRedirectListener.h"

#include "platform/foundation/RunLoop.h"

#include <atomic>
#include <httplib.h>
#include <thread>

namespace tx {

namespace {

constexpr const char* kDonePage =
    "<!doctype html><html><head><meta charset=\"utf-8\"><title>Taluvex</title></head>"
    "<body style=\"font-family:sans-serif\"><p>You can close this page and return to "
    "Taluvex.</p></body></html>";

} // namespace

struct LoopbackRedirectListener::State {
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> answered{false};
    std::atomic<bool> closed{false};
    RunLoop::DelayedCallId timeout = 0;
    Handler handler;

    void shutDown() {
        if (closed.exchange(true)) {
            return;
        }
        if (timeout) {
            RunLoop::cancel(timeout);
        }
        server.stop();
        if (thread.joinable()) {
            thread.join();
        }
        handler = nullptr;
    }
};

std::shared_ptr<LoopbackRedirectListener>
LoopbackRedirectListener::start(const std::string& path, Handler handler, double timeoutSeconds) {
    auto state = std::make_shared<State>();
    state->handler = std::move(handler);
    std::weak_ptr<State> weak = state;
    state->server.set_keep_alive_max_count(1);
    state->server.Get(path, [weak](const httplib::Request& request, httplib::Response& response) {
        auto strong = weak.lock();
        if (!strong || strong->answered.exchange(true)) {
            response.status = 410;
            return;
        }
        response.set_content(kDonePage, "text/html; charset=utf-8");
        const std::string target = request.target;
        RunLoop::post([weak, target] {
            auto state = weak.lock();
            if (!state || state->closed) {
                return;
            }
            auto handler = state->handler;
            state->shutDown();
            if (handler) {
                handler(target);
            }
        });
    });
    const int port = state->server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        return nullptr;
    }
    state->thread = std::thread([raw = state.get()] { raw->server.listen_after_bind(); });
    // A stop() that came before the loop started would be lost.
    while (!state->server.is_running()) {
        std::this_thread::yield();
    }
    state->timeout = RunLoop::postAfter(timeoutSeconds, [weak] {
        auto state = weak.lock();
        if (!state || state->closed) {
            return;
        }
        state->timeout = 0;
        auto handler = state->handler;
        state->shutDown();
        if (handler) {
            handler(std::nullopt);
        }
    });
    std::shared_ptr<LoopbackRedirectListener> listener(new LoopbackRedirectListener());
    listener->_state = state;
    listener->_redirectUri = "http://127.0.0.1:" + std::to_string(port) + path;
    return listener;
}

LoopbackRedirectListener::~LoopbackRedirectListener() {
    close();
}

bool LoopbackRedirectListener::isOpen() const {
    return _state && !_state->closed;
}

void LoopbackRedirectListener::close() {
    if (_state) {
        _state->shutDown();
    }
}

} // namespace tx
