#include "platform/ui/WebView.h"

#include "platform/ui/Application.h"
#include "platform/ui/GraphicsContext.h"

#include <regex>

namespace tx {

WebView::WebView(const Rect& frame) : View(frame) {
    setBackgroundColor(Color::whiteColor());
    setClipsToBounds(true);
}

void WebView::loadHTMLString(const std::string& html, const std::string&) {
    static const std::regex source(R"re((?:src|href)\s*=\s*["']([^"']+)["'])re", std::regex::icase);
    std::smatch match;
    showPlayer(std::regex_search(html, match, source) ? match[1].str() : std::string());
}

void WebView::loadRequest(const std::string& url) {
    showPlayer(url);
}

void WebView::showPlayer(const std::string& address) {
    _address = address;
    if (_playButton)
        _playButton->removeFromSuperview();
    _playButton.reset();
    if (!address.empty()) {
        _playButton = std::make_shared<Button>();
        if (ImagePtr image = Image::imageNamed("webview_play_88_88")) {
            _playButton->setImage(image, ControlStateNormal);
        } else {
            _playButton->setTitle("\u25B6", ControlStateNormal);
            _playButton->setTitleFont(Font::boldSystemFont(24));
        }
        std::string opened = address;
        _playButton->addTarget(this, ControlEventTouchUpInside, [opened](Control&) {
            Application::sharedApplication().openURL(opened);
        });
        addSubview(_playButton);
    }
    setNeedsLayout();
    setNeedsDisplay();
}

void WebView::layoutSubviews() {
    if (!_playButton)
        return;
    Rect b = bounds();
    double side = std::min({44.0, b.width(), b.height()});
    _playButton->setFrame(Rect(b.midX() - side / 2, b.midY() - side / 2, side, side));
}

void WebView::drawRect(const Rect& rect) {
    if (_address.empty())
        return;
    GraphicsContext* context = GraphicsContext::current();
    // The player's area: a dark screen with a faint frame.
    context->fillRect(rect, Color::hex(0x0d0e10));
    context->strokeRect(rect.insetBy(0.5, 0.5), Color::white(1, 0.08), 1);
}

} // namespace tx
