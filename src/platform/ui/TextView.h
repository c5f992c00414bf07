// A multi-line text entry with word wrapping, focus, typing, selection and paste; its delegate
// may refuse each change.
#pragma once

#include "platform/ui/Font.h"
#include "platform/ui/TextEditing.h"
#include "platform/ui/View.h"

#include <memory>
#include <string>

namespace tx {

class TextView;

class TextViewDelegate {
public:
    virtual ~TextViewDelegate() = default;
    virtual bool textViewShouldBeginEditing(TextView&) { return true; }
    virtual void textViewDidBeginEditing(TextView&) {}
    virtual bool textViewShouldEndEditing(TextView&) { return true; }
    virtual void textViewDidEndEditing(TextView&) {}
    // `range` is in bytes of the UTF-8 text; false keeps the text as it is.
    virtual bool textViewShouldChangeText(TextView&, Range, const std::string&) { return true; }
    virtual void textViewDidChange(TextView&) {}
};

class TextView : public View {
public:
    explicit TextView(const Rect& frame = {});

    const std::string& text() const { return _state.text; }
    void setText(const std::string& text);
    void setFont(const Font& font);
    Font font() const { return _font; }
    void setTextColor(const Color& color);
    void setEditable(bool editable) { _editable = editable; }
    bool isEditable() const { return _editable; }
    void setDelegate(std::weak_ptr<TextViewDelegate> delegate) { _delegate = std::move(delegate); }
    bool isEditing() const { return _editing; }
    Range selectedRange() const { return _state.selection(); }

    void insertText(const std::string& text);

    bool canBecomeFirstResponder() const override { return _editable; }
    bool acceptsTextInput() const override { return _editable; }
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    bool keyPressed(const KeyEvent& event) override;
    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet&) override {}
    void drawRect(const Rect& rect) override;

    AccessibleRole accessibilityRole() const override;
    std::string accessibilityLabel() const override;
    AccessibleStates accessibilityStates() const override;

protected:
    // A focus asked for before the view is in a window is taken when it gets there.
    void didMoveToWindow() override;

private:
    std::function<bool(Range, const std::string&)> veto();
    void didChange();
    Point textOrigin(const TextBox& box) const;

    TextEditingState _state;
    Font _font = Font::systemFont(15);
    Color _textColor = Color::hex(0x1b1d21);
    bool _editable = true;
    bool _editing = false;
    DeferredFocus _focus;
    std::weak_ptr<TextViewDelegate> _delegate;
};

} // namespace tx
