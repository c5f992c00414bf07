#include "platform/ui/TextView.h"

namespace tx {

namespace {
constexpr double kInsetPoints = 8;
}

TextView::TextView(const Rect& frame) : View(frame) {
    setBackgroundColor(Color::whiteColor());
}

void TextView::setText(const std::string& text) {
    _state.text = text;
    _state.moveTo(text.size(), false);
    setNeedsDisplay();
}
void TextView::setFont(const Font& font) {
    _font = font;
    setNeedsDisplay();
}
void TextView::setTextColor(const Color& color) {
    _textColor = color;
    setNeedsDisplay();
}

std::function<bool(Range, const std::string&)> TextView::veto() {
    return [this](Range range, const std::string& replacement) {
        auto delegate = _delegate.lock();
        return !delegate || delegate->textViewShouldChangeText(*this, range, replacement);
    };
}

void TextView::didChange() {
    setNeedsDisplay();
    accessibilityChanged(*this, AccessibleChange::Text);
    if (auto delegate = _delegate.lock())
        delegate->textViewDidChange(*this);
}

void TextView::insertText(const std::string& text) {
    if (replaceSelection(_state, text, veto()))
        didChange();
}

bool TextView::becomeFirstResponder() {
    if (isFirstResponder())
        return true;
    if (!window()) {
        _focus.pending = canBecomeFirstResponder();
        return false;
    }
    auto delegate = _delegate.lock();
    if (delegate && !delegate->textViewShouldBeginEditing(*this))
        return false;
    if (!View::becomeFirstResponder())
        return false;
    _editing = true;
    _state.moveTo(_state.text.size(), false);
    setNeedsDisplay();
    if (delegate)
        delegate->textViewDidBeginEditing(*this);
    return true;
}

void TextView::didMoveToWindow() {
    _focus.viewMovedToWindow(*this);
}

bool TextView::resignFirstResponder() {
    _focus.pending = false;
    if (!isFirstResponder())
        return true;
    auto delegate = _delegate.lock();
    if (delegate && !delegate->textViewShouldEndEditing(*this))
        return false;
    View::resignFirstResponder();
    _editing = false;
    _state.anchor = _state.cursor;
    setNeedsDisplay();
    if (delegate)
        delegate->textViewDidEndEditing(*this);
    return true;
}

bool TextView::keyPressed(const KeyEvent& event) {
    if (!_editing)
        return false;
    switch (applyTextKey(_state, event, true, veto())) {
    case TextEditResult::Changed:
        didChange();
        return true;
    case TextEditResult::Moved:
        setNeedsDisplay();
        return true;
    default:
        return event.key != KeyEvent::Key::Escape && event.key != KeyEvent::Key::Tab;
    }
}

Point TextView::textOrigin(const TextBox&) const {
    Rect b = bounds();
    return {b.minX() + kInsetPoints, b.minY() + kInsetPoints};
}

void TextView::touchesBegan(const TouchSet& touches) {
    if (!_editable || touches.empty())
        return;
    becomeFirstResponder();
    TextBox box(_state.text, _font, bounds().width() - 2 * kInsetPoints, true);
    Point p = touches.front()->locationInView(this);
    Point o = textOrigin(box);
    _state.moveTo(box.positionAt({p.x - o.x, p.y - o.y}), false);
    setNeedsDisplay();
}

void TextView::touchesMoved(const TouchSet& touches) {
    if (!_editing || touches.empty())
        return;
    TextBox box(_state.text, _font, bounds().width() - 2 * kInsetPoints, true);
    Point p = touches.front()->locationInView(this);
    Point o = textOrigin(box);
    _state.moveTo(box.positionAt({p.x - o.x, p.y - o.y}), true);
    setNeedsDisplay();
}

void TextView::drawRect(const Rect& rect) {
    GraphicsContext* context = GraphicsContext::current();
    TextBox box(_state.text, _font, rect.width() - 2 * kInsetPoints, true);
    context->saveState();
    context->clipToRect(rect);
    Range selection = _editing ? _state.selection() : Range{};
    box.draw(*context, textOrigin(box), _textColor, selection, _editing && selection.length == 0,
             _state.cursor);
    context->restoreState();
}

} // namespace tx
