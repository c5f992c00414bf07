// A list of choices sliding up from the bottom of the window: the destructive button first,
// then the other buttons, the cancel button last, indexed in that order.
#pragma once

#include "platform/ui/PopupView.h"

#include <memory>
#include <string>
#include <vector>

namespace tx {

class ActionSheet;

class ActionSheetDelegate {
public:
    virtual ~ActionSheetDelegate() = default;
    virtual void actionSheetClickedButtonAtIndex(ActionSheet& actionSheet, int buttonIndex) = 0;
    virtual void actionSheetDidDismissWithButtonIndex(ActionSheet&, int) {}
};

class ActionSheet : public PopupView {
public:
    ActionSheet(std::string title, std::weak_ptr<ActionSheetDelegate> delegate,
                const std::string& cancelButtonTitle, const std::string& destructiveButtonTitle,
                const std::vector<std::string>& otherButtonTitles);

    int destructiveButtonIndex() const { return _destructiveIndex; }
    // Shows the sheet over the window of `view`.
    void showInView(View* view);

    AccessibleRole accessibilityRole() const override;
    std::string accessibilityLabel() const override;

protected:
    ViewPtr buildPanel(const Rect& windowBounds) override;
    void animateIn(const ViewPtr& panel) override;
    void animateOut(const ViewPtr& panel) override;
    void reportClick(int index) override;
    void reportDismiss(int index) override;

private:
    std::string _title;
    std::weak_ptr<ActionSheetDelegate> _delegate;
    int _destructiveIndex = -1;
};

} // namespace tx
