// A one-shot web server on 127.0.0.1 that catches the browser's redirect at the end of a
// sign-in. It answers the first request to its path, then closes; it also closes after a
// time-out or when its owner lets it go.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace tx {

class LoopbackRedirectListener {
public:
    // The request target ("/callback?code=…"), or nothing when the time ran out. Called once,
    // on the main run loop, and never after close().
    using Handler = std::function<void(const std::optional<std::string>& target)>;

    static constexpr double kDefaultTimeoutSeconds = 300;

    // Nothing when no port could be opened.
    static std::shared_ptr<LoopbackRedirectListener>
    start(const std::string& path, Handler handler, double timeoutSeconds = kDefaultTimeoutSeconds);
    ~LoopbackRedirectListener();

    // http://127.0.0.1:PORT/path
    const std::string& redirectUri() const { return _redirectUri; }
    bool isOpen() const;
    void close();

    struct State;

private:
    LoopbackRedirectListener() = default;
    std::shared_ptr<State> _state;
    std::string _redirectUri;
};

} // namespace tx
