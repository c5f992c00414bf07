// What alerts and action sheets share: a dimmed cover over the key window holding a panel of
// buttons; a tap on button i reports index i, then the cover fades out and leaves the window.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/View.h"

#include <string>
#include <vector>

namespace tx {

class PopupView : public View {
public:
    int numberOfButtons() const { return static_cast<int>(_titles.size()); }
    std::string buttonTitleAtIndex(int index) const;
    int cancelButtonIndex() const { return _cancelIndex; }
    bool isVisible() const { return _visible; }
    // The button view of an index, once shown (for tests and the screenshot tour).
    std::shared_ptr<Button> buttonAtIndex(int index) const;

    void dismissWithClickedButtonIndex(int index, bool animated);

    bool canBecomeFirstResponder() const override { return true; }
    // Escape picks the cancel button; Return the last other button.
    bool keyPressed(const KeyEvent& event) override;
    void addKeyBindings(KeyTable& table) override;
    bool accessibilityIsModal() const override { return true; }
    AccessibleStates accessibilityStates() const override;
    // The cover takes every touch that misses the panel.
    void touchesBegan(const TouchSet&) override {}
    void touchesEnded(const TouchSet&) override {}

protected:
    PopupView();
    int addTitle(const std::string& title);
    void setCancelIndex(int index) { _cancelIndex = index; }
    // Adds the cover to the key window and builds the panel.
    void present(Window* window);
    // The panel of a subclass, built from the titles; it calls `makeButton` for each button.
    virtual ViewPtr buildPanel(const Rect& windowBounds) = 0;
    virtual void animateIn(const ViewPtr& panel) = 0;
    virtual void animateOut(const ViewPtr& panel) = 0;
    virtual void reportClick(int index) = 0;
    virtual void reportDismiss(int index) = 0;
    std::shared_ptr<Button> makeButton(int index, const Rect& frame, bool emphasised,
                                       bool destructive);
    const ViewPtr& panel() const { return _panel; }

private:
    std::vector<std::string> _titles;
    std::vector<std::shared_ptr<Button>> _buttons;
    ViewPtr _panel;
    int _cancelIndex = -1;
    bool _visible = false;
    bool _dismissing = false;
};

} // namespace tx
