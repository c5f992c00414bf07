// A one-line text entry: takes the keyboard focus when tapped or asked to, types, selects and
// pastes from the desktop keyboard and clipboard, and lets its delegate refuse each change.
#pragma once

#include "platform/ui/Control.h"
#include "platform/ui/Font.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/TextEditing.h"

#include <memory>
#include <optional>
#include <string>

namespace tx {

class TextField;

class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    virtual bool textFieldShouldBeginEditing(TextField&) { return true; }
    virtual void textFieldDidBeginEditing(TextField&) {}
    virtual bool textFieldShouldEndEditing(TextField&) { return true; }
    virtual void textFieldDidEndEditing(TextField&) {}
    // `range` is in bytes of the UTF-8 text; false keeps the text as it is.
    virtual bool textFieldShouldChangeCharacters(TextField&, Range, const std::string&) {
        return true;
    }
    virtual bool textFieldShouldReturn(TextField&) { return true; }
};

enum class TextBorderStyle { None, Line, RoundedRect };
enum class ReturnKeyType { Default, Next, Done, Send };

class TextField : public Control {
public:
    explicit TextField(const Rect& frame = {});

    const std::string& text() const { return _state.text; }
    // Sets the text without asking the delegate; the cursor goes to the end.
    void setText(const std::string& text);
    const std::string& placeholder() const { return _placeholder; }
    void setPlaceholder(const std::string& placeholder);
    Font font() const { return _font; }
    void setFont(const Font& font);
    void setTextColor(const Color& color);
    void setTextAlignment(TextAlignment alignment);
    void setBorderStyle(TextBorderStyle style);
    void setSecureTextEntry(bool secure);
    void setReturnKeyType(ReturnKeyType type) { _returnKeyType = type; }
    ReturnKeyType returnKeyType() const { return _returnKeyType; }
    void setDelegate(std::weak_ptr<TextFieldDelegate> delegate) { _delegate = std::move(delegate); }

    bool isEditing() const { return _editing; }
    Range selectedRange() const { return _state.selection(); }
    void setSelectedRange(Range range);

    // Typing as from the keyboard: offered to the delegate, then applied.
    void insertText(const std::string& text);
    void deleteBackward();

    bool canBecomeFirstResponder() const override { return isEnabled(); }
    bool acceptsTextInput() const override { return true; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool keyPressed(const KeyEvent& event) override;
    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet& touches) override;
    void drawRect(const Rect& rect) override;

    // Named by its screen, or by its placeholder.
    AccessibleRole accessibilityRole() const override;
    std::string accessibilityLabel() const override;
    AccessibleStates accessibilityStates() const override;
    std::vector<AccessibleAction> accessibilityActions() const override;

protected:
    // A focus asked for before the view is in a window is taken when it gets there.
    void didMoveToWindow() override;

private:
    Rect textRect() const;
    std::string displayText() const;
    double scrollOffset(const TextBox& box) const;
    std::function<bool(Range, const std::string&)> veto();
    void didChange();

    TextEditingState _state;
    std::string _placeholder;
    Font _font = Font::systemFont(17);
    // Unset: dark on the light rounded field, light on the dark screens otherwise.
    std::optional<Color> _textColor;
    TextAlignment _alignment = TextAlignment::Left;
    TextBorderStyle _borderStyle = TextBorderStyle::None;
    ReturnKeyType _returnKeyType = ReturnKeyType::Default;
    bool _secure = false;
    bool _editing = false;
    DeferredFocus _focus;
    std::weak_ptr<TextFieldDelegate> _delegate;
};

} // namespace tx
