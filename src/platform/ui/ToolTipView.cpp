#include "platform/ui/ToolTipView.h"

#include "platform/ui/Font.h"
#include "platform/ui/GraphicsContext.h"

#include <algorithm>
#include <cmath>

namespace tx {

namespace {
constexpr double kPaddingPoints = 6;
constexpr double kGapPoints = 4;
constexpr double kMaxWidthPoints = 240;
const Font& tipFont() {
    static const Font font = Font::systemFont(12);
    return font;
}
} // namespace

ToolTipView::ToolTipView(std::string text, const Rect& controlRect, const Rect& windowBounds)
    : _text(std::move(text)) {
    setUserInteractionEnabled(false);
    const double textWidth = tipFont().sizeOfText(_text).width;
    const double width = std::min(kMaxWidthPoints, textWidth + 2 * kPaddingPoints + 1);
    const int lines =
        static_cast<int>(std::ceil(textWidth / std::max(1.0, width - 2 * kPaddingPoints - 8)));
    const double height = std::max(1, lines) * tipFont().lineHeight() + 2 * kPaddingPoints;
    double x = controlRect.midX() - width / 2;
    x = std::clamp(x, windowBounds.minX() + 2, std::max(2.0, windowBounds.maxX() - width - 2));
    // Below the control where there is room, else above it: never over the control itself.
    double y = controlRect.maxY() + kGapPoints;
    if (y + height > windowBounds.maxY())
        y = controlRect.minY() - kGapPoints - height;
    if (y < windowBounds.minY()) {
        // A control as tall as the window: beside it instead.
        y = std::clamp(controlRect.midY() - height / 2, windowBounds.minY(),
                       windowBounds.maxY() - height);
        x = controlRect.maxX() + kGapPoints + width <= windowBounds.maxX()
                ? controlRect.maxX() + kGapPoints
                : std::max(windowBounds.minX(), controlRect.minX() - kGapPoints - width);
    }
    setFrame(Rect(x, y, width, height));
}

void ToolTipView::drawRect(const Rect&) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context)
        return;
    const Rect b = bounds();
    context->fillRoundedRect(b, 5, Color::hex(0x0b0c0e).withAlpha(0.92));
    context->drawText(_text, b.insetBy(kPaddingPoints, kPaddingPoints / 2), tipFont(),
                      theme::text(), TextAlignment::Left, LineBreakMode::WordWrap);
}

} // namespace tx
