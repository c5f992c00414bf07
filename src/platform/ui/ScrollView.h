// A view whose bounds move over a larger content: dragged with the mouse or scrolled with the
// wheel, clipped to its frame, with a thin indicator while the content is larger than the view.
#pragma once

#include "platform/ui/View.h"

namespace tx {

class ScrollView : public View {
public:
    explicit ScrollView(const Rect& frame = {});

    Size contentSize() const { return _contentSize; }
    void setContentSize(Size size);
    Point contentOffset() const { return bounds().origin; }
    void setContentOffset(Point offset, bool animated = false);
    bool isScrollEnabled() const { return _scrollEnabled; }
    void setScrollEnabled(bool enabled) { _scrollEnabled = enabled; }
    // True when the content is larger than the view in some direction.
    bool canScroll() const;
    // Moves the content by a wheel or drag distance, kept inside the content.
    void scrollBy(double dx, double dy);
    bool isDragging() const { return _dragging; }

    void touchesBegan(const TouchSet& touches) override;
    void touchesMoved(const TouchSet& touches) override;
    void touchesEnded(const TouchSet& touches) override;
    void touchesCancelled(const TouchSet& touches) override;
    void layoutSubviews() override;

protected:
    // Called after every change of the content offset.
    virtual void didScroll() {}

private:
    Point clamped(Point offset) const;
    void updateIndicator();

    Size _contentSize;
    bool _scrollEnabled = true;
    bool _dragging = false;
    ViewPtr _indicator;
};

} // namespace tx
