#include "platform/ui/TextEditing.h"

#include "platform/ui/Pasteboard.h"

#include <QTextLayout>

namespace tx {

namespace {

bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

std::size_t previousCharacter(const std::string& s, std::size_t pos) {
    if (pos == 0)
        return 0;
    pos--;
    while (pos > 0 && isContinuation(static_cast<unsigned char>(s[pos])))
        pos--;
    return pos;
}

std::size_t nextCharacter(const std::string& s, std::size_t pos) {
    if (pos >= s.size())
        return s.size();
    pos++;
    while (pos < s.size() && isContinuation(static_cast<unsigned char>(s[pos])))
        pos++;
    return pos;
}

int qIndex(const std::string& s, std::size_t byte) {
    return static_cast<int>(
        QString::fromUtf8(s.data(), static_cast<qsizetype>(std::min(byte, s.size()))).size());
}

std::size_t byteIndex(const QString& q, int index) {
    return static_cast<std::size_t>(q.left(index).toUtf8().size());
}

bool apply(TextEditingState& state, Range range, const std::string& replacement,
           const std::function<bool(Range, const std::string&)>& shouldChange) {
    if (shouldChange && !shouldChange(range, replacement))
        return false;
    state.text.replace(range.location, range.length, replacement);
    state.cursor = state.anchor = range.location + replacement.size();
    return true;
}

} // namespace

void TextEditingState::moveTo(std::size_t position, bool extend) {
    cursor = std::min(position, text.size());
    if (!extend)
        anchor = cursor;
}

bool replaceSelection(TextEditingState& state, const std::string& replacement,
                      const std::function<bool(Range, const std::string&)>& shouldChange) {
    return apply(state, state.selection(), replacement, shouldChange);
}

TextEditResult applyTextKey(TextEditingState& state, const KeyEvent& key, bool multiline,
                            const std::function<bool(Range, const std::string&)>& shouldChange) {
    Range selection = state.selection();
    auto changed = [](bool ok) { return ok ? TextEditResult::Changed : TextEditResult::Ignored; };
    switch (key.key) {
    case KeyEvent::Key::Character:
        if (key.control) {
            if (key.text == "a") {
                state.anchor = 0;
                state.cursor = state.text.size();
                return TextEditResult::Moved;
            }
            if (key.text == "c" || key.text == "x") {
                if (selection.length == 0)
                    return TextEditResult::Ignored;
                Pasteboard::generalPasteboard().setString(
                    state.text.substr(selection.location, selection.length));
                return key.text == "x" ? changed(replaceSelection(state, "", shouldChange))
                                       : TextEditResult::Ignored;
            }
            if (key.text == "v") {
                std::string pasted = Pasteboard::generalPasteboard().string();
                if (!multiline)
                    std::replace(pasted.begin(), pasted.end(), '\n', ' ');
                return pasted.empty() ? TextEditResult::Ignored
                                      : changed(replaceSelection(state, pasted, shouldChange));
            }
            return TextEditResult::Ignored;
        }
        return changed(replaceSelection(state, key.text, shouldChange));
    case KeyEvent::Key::Backspace:
        if (selection.length > 0)
            return changed(replaceSelection(state, "", shouldChange));
        if (state.cursor == 0)
            return TextEditResult::Ignored;
        {
            std::size_t start = previousCharacter(state.text, state.cursor);
            return changed(apply(state, {start, state.cursor - start}, "", shouldChange));
        }
    case KeyEvent::Key::Delete:
        if (selection.length > 0)
            return changed(replaceSelection(state, "", shouldChange));
        if (state.cursor >= state.text.size())
            return TextEditResult::Ignored;
        return changed(apply(state,
                             {state.cursor, nextCharacter(state.text, state.cursor) - state.cursor},
                             "", shouldChange));
    case KeyEvent::Key::Left:
        if (selection.length > 0 && !key.shift)
            state.moveTo(selection.location, false);
        else
            state.moveTo(previousCharacter(state.text, state.cursor), key.shift);
        return TextEditResult::Moved;
    case KeyEvent::Key::Right:
        if (selection.length > 0 && !key.shift)
            state.moveTo(selection.location + selection.length, false);
        else
            state.moveTo(nextCharacter(state.text, state.cursor), key.shift);
        return TextEditResult::Moved;
    case KeyEvent::Key::Home:
    case KeyEvent::Key::Up:
        state.moveTo(0, key.shift);
        return TextEditResult::Moved;
    case KeyEvent::Key::End:
    case KeyEvent::Key::Down:
        state.moveTo(state.text.size(), key.shift);
        return TextEditResult::Moved;
    case KeyEvent::Key::Return:
        if (!multiline)
            return TextEditResult::Return;
        return changed(replaceSelection(state, "\n", shouldChange));
    default:
        return TextEditResult::Ignored;
    }
}

struct TextBox::Impl {
    QString text;
    std::string utf8;
    QTextLayout layout;
    double height = 0;
    double lineHeight = 0;
};

TextBox::TextBox(const std::string& text, const Font& font, double width, bool wrap)
    : _impl(std::make_unique<Impl>()) {
    _impl->utf8 = text;
    _impl->text = QString::fromStdString(text);
    _impl->layout.setText(_impl->text);
    _impl->layout.setFont(font.qfont());
    QTextOption option;
    option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    _impl->layout.setTextOption(option);
    _impl->layout.beginLayout();
    double y = 0;
    for (QTextLine line = _impl->layout.createLine(); line.isValid();
         line = _impl->layout.createLine()) {
        if (wrap)
            line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
        _impl->lineHeight = line.height();
    }
    _impl->layout.endLayout();
    if (_impl->lineHeight == 0)
        _impl->lineHeight = font.lineHeight();
    _impl->height = std::max(y, _impl->lineHeight);
}

TextBox::~TextBox() = default;

double TextBox::height() const {
    return _impl->height;
}

Rect TextBox::caretRect(std::size_t position) const {
    int index = qIndex(_impl->utf8, position);
    QTextLine line = _impl->layout.lineForTextPosition(index);
    if (!line.isValid()) {
        int lines = _impl->layout.lineCount();
        if (lines == 0)
            return Rect(0, 0, 2, _impl->lineHeight);
        line = _impl->layout.lineAt(lines - 1);
        index = line.textStart() + line.textLength();
    }
    return Rect(line.cursorToX(index), line.y(), 2, line.height());
}

std::size_t TextBox::positionAt(Point point) const {
    for (int i = 0; i < _impl->layout.lineCount(); i++) {
        QTextLine line = _impl->layout.lineAt(i);
        if (point.y < line.y() + line.height() || i == _impl->layout.lineCount() - 1)
            return byteIndex(_impl->text, line.xToCursor(point.x));
    }
    return 0;
}

void TextBox::draw(GraphicsContext& context, Point origin, const Color& color, Range selection,
                   bool showCaret, std::size_t caret) const {
    QPainter& painter = context.painter();
    painter.save();
    painter.setPen(QColor::fromRgbF(color.red, color.green, color.blue, color.alpha));
    QList<QTextLayout::FormatRange> formats;
    if (selection.length > 0) {
        QTextLayout::FormatRange range;
        range.start = qIndex(_impl->utf8, selection.location);
        range.length = qIndex(_impl->utf8, selection.location + selection.length) - range.start;
        Color a = theme::accent();
        range.format.setBackground(QColor::fromRgbF(a.red, a.green, a.blue, 0.45));
        formats.append(range);
    }
    _impl->layout.draw(&painter, QPointF(origin.x, origin.y), formats);
    painter.restore();
    if (showCaret) {
        Rect r = caretRect(caret);
        context.fillRect(r.offsetBy(origin.x, origin.y), theme::accent());
    }
}

} // namespace tx
