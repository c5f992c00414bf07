#include "platform/foundation/Translation.h"
#include "share/YoutubeTableCell.h"

#include "platform/ui/Image.h"

#include <cmath>
#include <cstdio>

namespace tx {

namespace {

std::string escapeAttribute(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

void YoutubeTableCell::setSelected(bool selected, bool animated) {
    TableViewCell::setSelected(selected, animated);
    _background->setHighlighted(selected);
}

bool YoutubeTableCell::showsPressed() const {
    return _background->isHighlighted();
}

std::shared_ptr<YoutubeTableCell> YoutubeTableCell::loadFromLayout() {
    return std::make_shared<YoutubeTableCell>();
}

YoutubeTableCell::YoutubeTableCell() {
    setFrame(Rect(0, 0, 320, kRowHeight));
    setSelectionStyle(TableViewCellSelectionStyle::None);
    const ViewPtr& content = contentView();
    _background = std::make_shared<ImageView>(Rect(0, 0, 320, kRowHeight));
    // No chevron: the share button sits at the row's right end.
    _background->setImage(Image::imageNamed("youtube_cell_bg_640_156"));
    _background->setHighlightedImage(Image::imageNamed("youtube_cell_bg_P_640_156"));
    content->addSubview(_background);

    _thumbnailView = std::make_shared<WebView>(Rect(10, 8, 110, 62));
    content->addSubview(_thumbnailView);
    _titleView = std::make_shared<Label>(Rect(130, 10, 136, 40));
    _titleView->setFont(Font::boldSystemFont(14));
    _titleView->setTextColor(theme::text());
    _titleView->setNumberOfLines(2);
    content->addSubview(_titleView);
    _timeView = std::make_shared<Label>(Rect(130, 50, 100, 18));
    _timeView->setFont(Font::systemFont(13));
    _timeView->setTextColor(theme::secondaryText());
    content->addSubview(_timeView);
    _shareButton = std::make_shared<Button>(Rect(272, 24, 44, 30));
    _shareButton->setImage(Image::imageNamed("share_small_btn_88_60"), ControlStateNormal);
    _shareButton->setImage(Image::imageNamed("share_small_btn_P_88_60"), ControlStateHighlighted);
    _shareButton->setAccessibilityLabel(_("Share"));
    _shareButton->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onShare(); });
    content->addSubview(_shareButton);
}

void YoutubeTableCell::showEntry(const GDataEntryYouTubeVideo& entry) {
    if (entry.mediaGroup) {
        _timeView->setText(durationText(entry.mediaGroup->duration));
        if (auto player = entry.mediaGroup->mediaContentWithFormatNumber(5)) {
            const Rect frame = _thumbnailView->frame();
            _thumbnailView->loadHTMLString(
                embedHTML(player->URLString, frame.width(), frame.height()), {});
        }
    } else {
        _timeView->setText({});
    }
    _titleView->setText(entry.title);
}

void YoutubeTableCell::onShare() {
    if (auto delegate = _delegate.lock()) {
        delegate->onShare(*this, IndexPath::forRow(tag()));
    }
}

std::string YoutubeTableCell::durationText(std::optional<long> seconds) {
    if (!seconds || *seconds < 0) {
        return {};
    }
    const long s = *seconds;
    char text[32];
    if (s < 3600) {
        std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(s / 60),
                      static_cast<int>(s % 60));
    } else {
        std::snprintf(text, sizeof text, "%ld:%02d:%02d", s / 3600, static_cast<int>((s / 60) % 60),
                      static_cast<int>(s % 60));
    }
    return text;
}

std::string YoutubeTableCell::embedHTML(const std::string& address, double width, double height) {
    char size[64];
    std::snprintf(size, sizeof size, "width=\"%0.0f\" height=\"%0.0f\"", std::round(width),
                  std::round(height));
    const std::string gap16(16, ' ');
    return "<html><head>" + gap16 + "<body style=\"margin:0\">" + gap16 +
           "<embed id=\"yt\" src=\"" + escapeAttribute(address) +
           "\" type=\"application/x-shockwave-flash\"" + std::string(17, ' ') + size + "></embed>" +
           gap16 + "</body></html>";
}

} // namespace tx
