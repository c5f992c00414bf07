// The small box that says what a control does and its key, shown when the pointer rests on the
// control. It takes no input and is placed beside the control, never over it.
#pragma once

#include "platform/ui/View.h"

#include <string>

namespace tx {

class ToolTipView : public View {
public:
    // A tooltip for a control at `controlRect` (window points) inside `windowBounds`.
    ToolTipView(std::string text, const Rect& controlRect, const Rect& windowBounds);
    const std::string& text() const { return _text; }
    void drawRect(const Rect& rect) override;

private:
    std::string _text;
};

} // namespace tx
