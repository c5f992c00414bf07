#include "platform/ui/Label.h"

namespace tx {

Label::Label(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
}

void Label::setText(const std::string& text) {
    if (_text == text)
        return;
    _text = text;
    setNeedsDisplay();
    accessibilityChanged(*this, AccessibleChange::Name);
}
void Label::setFont(const Font& font) {
    _font = font;
    setNeedsDisplay();
}
void Label::setTextColor(const Color& color) {
    _textColor = color;
    setNeedsDisplay();
}
void Label::setShadowColor(const Color& color) {
    _shadowColor = color;
    setNeedsDisplay();
}
void Label::setShadowOffset(Size offset) {
    _shadowOffset = offset;
    setNeedsDisplay();
}
void Label::setTextAlignment(TextAlignment alignment) {
    _alignment = alignment;
    setNeedsDisplay();
}
void Label::setNumberOfLines(int lines) {
    _numberOfLines = lines;
    setNeedsDisplay();
}

void Label::drawRect(const Rect& rect) {
    GraphicsContext* context = GraphicsContext::current();
    LineBreakMode mode =
        _numberOfLines == 1 ? LineBreakMode::TruncateTail : LineBreakMode::WordWrap;
    // A label of a set number of lines shows that many whole lines at most; 0 takes what comes.
    const int maxLines = _numberOfLines > 1 ? _numberOfLines : 0;
    if (!_shadowColor.isClear())
        context->drawText(_text, rect.offsetBy(_shadowOffset.width, _shadowOffset.height), _font,
                          _shadowColor, _alignment, mode, true, maxLines);
    context->drawText(_text, rect, _font, _textColor, _alignment, mode, true, maxLines);
}

} // namespace tx
