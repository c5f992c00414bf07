// One or more lines of text in a font and colour, with an optional shadow and alignment.
#pragma once

#include "platform/ui/Font.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/View.h"

#include <string>

namespace tx {

class Label : public View {
public:
    explicit Label(const Rect& frame = {});

    const std::string& text() const { return _text; }
    void setText(const std::string& text);
    Font font() const { return _font; }
    void setFont(const Font& font);
    Color textColor() const { return _textColor; }
    void setTextColor(const Color& color);
    Color shadowColor() const { return _shadowColor; }
    void setShadowColor(const Color& color);
    Size shadowOffset() const { return _shadowOffset; }
    void setShadowOffset(Size offset);
    TextAlignment textAlignment() const { return _alignment; }
    void setTextAlignment(TextAlignment alignment);
    // 1 draws one line cut off with an ellipsis; 0 wraps words over as many lines as fit.
    int numberOfLines() const { return _numberOfLines; }
    void setNumberOfLines(int lines);

    void drawRect(const Rect& rect) override;

    AccessibleRole accessibilityRole() const override;
    std::string accessibilityLabel() const override;
    std::string accessibilityValueText() const override;

private:
    std::string _text;
    Font _font = Font::systemFont(17);
    Color _textColor = theme::text();
    Color _shadowColor;
    Size _shadowOffset{0, -1};
    TextAlignment _alignment = TextAlignment::Left;
    int _numberOfLines = 1;
};

} // namespace tx
