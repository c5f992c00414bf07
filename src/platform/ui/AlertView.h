// A message with a title and buttons, drawn in the middle of the window over a dimmed cover.
// The cancel button given at creation has index 0 and the other buttons follow in order.
#pragma once

#include "platform/ui/PopupView.h"

#include <memory>
#include <string>
#include <vector>

namespace tx {

class AlertView;

class AlertViewDelegate {
public:
    virtual ~AlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) = 0;
    virtual void alertViewDidDismissWithButtonIndex(AlertView&, int) {}
};

class AlertView : public PopupView {
public:
    // An empty cancel title means no cancel button.
    AlertView(std::string title, std::string message, std::weak_ptr<AlertViewDelegate> delegate,
              const std::string& cancelButtonTitle,
              const std::vector<std::string>& otherButtonTitles);

    const std::string& title() const { return _title; }
    const std::string& message() const { return _message; }
    int addButtonWithTitle(const std::string& title) { return addTitle(title); }
    int firstOtherButtonIndex() const { return cancelButtonIndex() == 0 ? 1 : 0; }
    void setDelegate(std::weak_ptr<AlertViewDelegate> delegate) { _delegate = std::move(delegate); }

    // Shows the alert on the key window; the window keeps it until a button is chosen.
    void show();

    // Read as an alert named by its title (or its message when it has none).
    AccessibleRole accessibilityRole() const override;
    std::string accessibilityLabel() const override;
    std::string accessibilityDescription() const override;

protected:
    ViewPtr buildPanel(const Rect& windowBounds) override;
    void animateIn(const ViewPtr& panel) override;
    void animateOut(const ViewPtr&) override {}
    void reportClick(int index) override;
    void reportDismiss(int index) override;

private:
    std::string _title;
    std::string _message;
    std::weak_ptr<AlertViewDelegate> _delegate;
};

} // namespace tx
