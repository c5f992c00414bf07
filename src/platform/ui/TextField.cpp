#include "platform/ui/TextField.h"

namespace tx {

namespace {
constexpr double kPaddingPoints = 8;
}

TextField::TextField(const Rect& frame) : Control(frame) {}

void TextField::setText(const std::string& text) {
    _state.text = text;
    _state.moveTo(text.size(), false);
    setNeedsDisplay();
}

void TextField::setPlaceholder(const std::string& placeholder) {
    _placeholder = placeholder;
    setNeedsDisplay();
}
void TextField::setFont(const Font& font) {
    _font = font;
    setNeedsDisplay();
}
void TextField::setTextColor(const Color& color) {
    _textColor = color;
    setNeedsDisplay();
}
void TextField::setTextAlignment(TextAlignment alignment) {
    _alignment = alignment;
    setNeedsDisplay();
}
void TextField::setBorderStyle(TextBorderStyle style) {
    _borderStyle = style;
    setNeedsDisplay();
}
void TextField::setSecureTextEntry(bool secure) {
    _secure = secure;
    setNeedsDisplay();
}

void TextField::setSelectedRange(Range range) {
    _state.anchor = std::min(range.location, _state.text.size());
    _state.cursor = std::min(range.location + range.length, _state.text.size());
    setNeedsDisplay();
}

std::function<bool(Range, const std::string&)> TextField::veto() {
    return [this](Range range, const std::string& replacement) {
        auto delegate = _delegate.lock();
        return !delegate || delegate->textFieldShouldChangeCharacters(*this, range, replacement);
    };
}

void TextField::didChange() {
    setNeedsDisplay();
    accessibilityChanged(*this, AccessibleChange::Text);
    sendActionsForControlEvents(ControlEventEditingChanged);
}

void TextField::insertText(const std::string& text) {
    if (replaceSelection(_state, text, veto()))
        didChange();
}

void TextField::deleteBackward() {
    keyPressed({KeyEvent::Key::Backspace, {}, false, false});
}

bool TextField::becomeFirstResponder() {
    if (isFirstResponder())
        return true;
    if (!window()) {
        _focus.pending = canBecomeFirstResponder();
        return false;
    }
    auto delegate = _delegate.lock();
    if (delegate && !delegate->textFieldShouldBeginEditing(*this))
        return false;
    if (!Control::becomeFirstResponder())
        return false;
    _editing = true;
    _state.moveTo(_state.text.size(), false);
    setNeedsDisplay();
    if (delegate)
        delegate->textFieldDidBeginEditing(*this);
    sendActionsForControlEvents(ControlEventEditingDidBegin);
    return true;
}

void TextField::didMoveToWindow() {
    _focus.viewMovedToWindow(*this);
}

bool TextField::resignFirstResponder() {
    _focus.pending = false;
    if (!isFirstResponder())
        return true;
    auto delegate = _delegate.lock();
    if (delegate && !delegate->textFieldShouldEndEditing(*this))
        return false;
    Control::resignFirstResponder();
    _editing = false;
    _state.anchor = _state.cursor;
    setNeedsDisplay();
    if (delegate)
        delegate->textFieldDidEndEditing(*this);
    sendActionsForControlEvents(ControlEventEditingDidEnd);
    return true;
}

bool TextField::keyPressed(const KeyEvent& event) {
    if (!_editing)
        return false;
    auto keep = weak_from_this().lock();
    switch (applyTextKey(_state, event, false, veto())) {
    case TextEditResult::Changed:
        didChange();
        return true;
    case TextEditResult::Moved:
        setNeedsDisplay();
        return true;
    case TextEditResult::Return:
        if (auto delegate = _delegate.lock())
            delegate->textFieldShouldReturn(*this);
        sendActionsForControlEvents(ControlEventEditingDidEndOnExit);
        return true;
    case TextEditResult::Ignored:
        return event.key != KeyEvent::Key::Tab && event.key != KeyEvent::Key::Escape;
    }
    return false;
}

Rect TextField::textRect() const {
    return bounds().insetBy(kPaddingPoints, 0);
}

std::string TextField::displayText() const {
    if (!_secure)
        return _state.text;
    std::string dots;
    for (unsigned char c : _state.text)
        if ((c & 0xC0) != 0x80)
            dots += "\u2022";
    return dots;
}

double TextField::scrollOffset(const TextBox& box) const {
    Rect r = textRect();
    double caretX = box.caretRect(_state.cursor).origin.x;
    return std::max(0.0, caretX - r.width() + 2);
}

void TextField::touchesBegan(const TouchSet& touches) {
    if (!isEnabled() || touches.empty())
        return;
    becomeFirstResponder();
    if (_secure || !_editing)
        return;
    TextBox box(_state.text, _font, 1e6, false);
    Point p = touches.front()->locationInView(this);
    Rect r = textRect();
    _state.moveTo(box.positionAt({p.x - r.minX() + scrollOffset(box), 0}), false);
    setNeedsDisplay();
}

void TextField::touchesMoved(const TouchSet& touches) {
    if (!_editing || _secure || touches.empty())
        return;
    TextBox box(_state.text, _font, 1e6, false);
    Point p = touches.front()->locationInView(this);
    _state.moveTo(box.positionAt({p.x - textRect().minX() + scrollOffset(box), 0}), true);
    setNeedsDisplay();
}

void TextField::touchesEnded(const TouchSet&) {}

void TextField::drawRect(const Rect& rect) {
    GraphicsContext* context = GraphicsContext::current();
    if (_borderStyle == TextBorderStyle::RoundedRect) {
        context->fillRoundedRect(rect.insetBy(0.5, 0.5), 7, Color::hex(0xf4f5f7));
        if (_editing) {
            context->painter().save();
            context->painter().setPen(QPen(QColor(255, 90, 54), 1.5));
            context->painter().setBrush(Qt::NoBrush);
            context->painter().drawRoundedRect(QRectF(rect.minX() + 0.75, rect.minY() + 0.75,
                                                      rect.width() - 1.5, rect.height() - 1.5),
                                               7, 7);
            context->painter().restore();
        }
    } else if (_borderStyle == TextBorderStyle::Line) {
        context->strokeRect(rect.insetBy(0.5, 0.5), theme::separator(), 1);
    }
    Rect r = textRect();
    context->saveState();
    context->clipToRect(r);
    if (_state.text.empty() && !_placeholder.empty()) {
        context->drawText(_placeholder, r, _font, Color::hex(0x8c9099), _alignment);
    }
    std::string shown = displayText();
    TextBox box(shown, _font, 1e6, false);
    double width = box.caretRect(shown.size()).origin.x;
    double x = r.minX() - scrollOffset(box);
    if (_alignment == TextAlignment::Center && width < r.width())
        x = r.midX() - width / 2;
    if (_alignment == TextAlignment::Right && width < r.width())
        x = r.maxX() - width;
    Range selection = _secure ? Range{} : _state.selection();
    if (!_editing)
        selection = {};
    Color color = _textColor.value_or(
        _borderStyle == TextBorderStyle::RoundedRect ? Color::hex(0x1b1d21) : theme::text());
    box.draw(*context, {x, r.midY() - box.height() / 2}, color, selection,
             _editing && selection.length == 0, _secure ? shown.size() : _state.cursor);
    context->restoreState();
}

} // namespace tx
