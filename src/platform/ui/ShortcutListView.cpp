#include "platform/ui/ShortcutListView.h"

#include "platform/foundation/Translation.h"
#include "platform/ui/Font.h"
#include "platform/ui/GraphicsContext.h"

#include <algorithm>

namespace tx {

namespace {
constexpr double kMarginPoints = 10;
constexpr double kPaddingPoints = 10;
constexpr double kTitleHeightPoints = 28;
constexpr double kKeyColumnPoints = 96;
constexpr double kRowGapPoints = 3;
const Font& rowFont() {
    static const Font font = Font::systemFont(12);
    return font;
}
const Font& keyFont() {
    static const Font font = Font::boldSystemFont(12);
    return font;
}
double descriptionWidth(const Rect& panel) {
    return panel.width() - 2 * kPaddingPoints - kKeyColumnPoints;
}
// Lines a text takes in its column (the longest are wrapped once or twice).
int linesFor(const std::string& text, double width, const Font& font = rowFont()) {
    const double textWidth = font.sizeOfText(text).width;
    return std::clamp(static_cast<int>(textWidth / std::max(1.0, width - 6)) + 1, 1, 3);
}
// Lines a row takes: its keys ("Ctrl+Left / Ctrl+Right") may wrap as well as its description.
int rowLines(const std::string& keys, const std::string& description, double width) {
    return std::max(linesFor(keys, kKeyColumnPoints, keyFont()), linesFor(description, width));
}
} // namespace

ShortcutListView::ShortcutListView(const Rect& windowBounds, const KeyTable& table)
    : View(windowBounds) {
    setBackgroundColor(Color::black().withAlpha(0.6));
    for (const KeyBinding* row : table.availableRows())
        _rows.push_back({row->keyNames(), row->description});
}

Rect ShortcutListView::panelRect() const {
    const Rect b = bounds();
    double height = kTitleHeightPoints + 2 * kPaddingPoints;
    const Rect probe(0, 0, b.width() - 2 * kMarginPoints, 0);
    for (const auto& row : _rows)
        height += rowLines(row.keys, row.description, descriptionWidth(probe)) *
                      rowFont().lineHeight() +
                  kRowGapPoints;
    height = std::min(height, b.height() - 2 * kMarginPoints);
    return Rect(kMarginPoints, std::max(kMarginPoints, (b.height() - height) / 2),
                b.width() - 2 * kMarginPoints, height);
}

void ShortcutListView::drawRect(const Rect& rect) {
    View::drawRect(rect);
    GraphicsContext* current = GraphicsContext::current();
    if (!current)
        return;
    GraphicsContext& context = *current;
    const Rect panel = panelRect();
    context.fillRoundedRect(panel, 10, theme::panel());
    context.drawText(_("Keys"), Rect(panel.minX(), panel.minY() + 4, panel.width(), kTitleHeightPoints),
                     Font::boldSystemFont(16), theme::text(), TextAlignment::Center);
    double y = panel.minY() + kPaddingPoints + kTitleHeightPoints;
    const double width = descriptionWidth(panel);
    for (const auto& row : _rows) {
        const double height = rowLines(row.keys, row.description, width) * rowFont().lineHeight();
        if (y + height > panel.maxY() - kPaddingPoints / 2)
            break;
        context.drawText(row.keys,
                         Rect(panel.minX() + kPaddingPoints, y, kKeyColumnPoints - 6, height),
                         keyFont(), theme::focusRing(), TextAlignment::Left,
                         LineBreakMode::WordWrap, false);
        context.drawText(row.description,
                         Rect(panel.minX() + kPaddingPoints + kKeyColumnPoints, y, width, height),
                         rowFont(), theme::text(), TextAlignment::Left, LineBreakMode::WordWrap,
                         false);
        y += height + kRowGapPoints;
    }
}

void ShortcutListView::close() {
    removeFromSuperview();
}

void ShortcutListView::addKeyBindings(KeyTable& table) {
    table.add({KeyChord::special(KeyEvent::Key::Escape)}, _("Close this list"), [this] { close(); });
}

bool ShortcutListView::keyPressed(const KeyEvent& event) {
    auto keep = weak_from_this().lock();
    View::keyPressed(event);
    // Nothing typed while the list is up reaches the screen under it.
    return true;
}

void ShortcutListView::touchesEnded(const TouchSet&) {
    auto keep = weak_from_this().lock();
    close();
}

} // namespace tx
