#include "platform/foundation/Translation.h"
#include "platform/ui/WebView.h"

#include "platform/ui/Application.h"
#include "platform/ui/GraphicsContext.h"

#include <cctype>
#include <cstdlib>
#include <regex>
#include <utility>

namespace tx {

WebView::WebView(const Rect& frame) : View(frame) {
    setBackgroundColor(Color::whiteColor());
    setClipsToBounds(true);
}

namespace {

// The attribute value as the page means it: the five named entities and numeric ones decoded.
std::string decodeEntities(const std::string& text) {
    static const std::pair<const char*, const char*> named[] = {
        {"&amp;", "&"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&lt;", "<"}, {"&gt;", ">"}};
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        bool replaced = false;
        if (text[i] == '&') {
            for (const auto& [entity, character] : named) {
                if (text.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                    out += character;
                    i += std::char_traits<char>::length(entity);
                    replaced = true;
                    break;
                }
            }
            const std::size_t end = text.find(';', i);
            if (!replaced && i + 2 < text.size() && text[i + 1] == '#' &&
                end != std::string::npos && end - i <= 10) {
                const bool hex = text[i + 2] == 'x' || text[i + 2] == 'X';
                const std::string digits = text.substr(i + (hex ? 3 : 2), end - i - (hex ? 3 : 2));
                char* stop = nullptr;
                const unsigned long code = std::strtoul(digits.c_str(), &stop, hex ? 16 : 10);
                if (!digits.empty() && stop != nullptr && *stop == '\0' && code > 0 &&
                    code < 0x80) {
                    out += static_cast<char>(code);
                    i = end + 1;
                    replaced = true;
                }
            }
        }
        if (!replaced) {
            out += text[i++];
        }
    }
    return out;
}

// Only web addresses leave the application; anything else (files, other programs' schemes)
// is not opened.
bool isWebAddress(const std::string& address) {
    auto startsWith = [&](const char* prefix) {
        const std::size_t length = std::char_traits<char>::length(prefix);
        if (address.size() <= length) {
            return false;
        }
        for (std::size_t i = 0; i < length; ++i) {
            if (std::tolower(static_cast<unsigned char>(address[i])) != prefix[i]) {
                return false;
            }
        }
        return true;
    };
    return startsWith("http://") || startsWith("https://");
}

} // namespace

void WebView::loadHTMLString(const std::string& html, const std::string&) {
    static const std::regex source(R"re((?:src|href)\s*=\s*(?:"([^"]*)"|'([^']*)'))re",
                                   std::regex::icase);
    std::smatch match;
    std::string address;
    if (std::regex_search(html, match, source)) {
        address = decodeEntities(match[1].matched ? match[1].str() : match[2].str());
    }
    showPlayer(isWebAddress(address) ? address : std::string());
}

void WebView::loadRequest(const std::string& url) {
    showPlayer(isWebAddress(url) ? url : std::string());
}

void WebView::showPlayer(const std::string& address) {
    _address = address;
    if (_playButton)
        _playButton->removeFromSuperview();
    _playButton.reset();
    if (!address.empty()) {
        _playButton = std::make_shared<Button>();
        _playButton->setAccessibilityLabel(_("Play"));
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
