// A progress bar drawn as a picture whose width is the done part of the bar's full width.
#pragma once

#include "platform/ui/View.h"

namespace tx {

// Shows `progress` (0 to 1) of a bar `fullWidth` points wide on its `fill`.
inline void setBarProgress(View& fill, float progress, double fullWidth) {
    Rect frame = fill.frame();
    frame.size.width = static_cast<double>(progress) * fullWidth;
    fill.setFrame(frame);
    fill.setNeedsDisplay();
}

// The progress `fill` shows of a bar `fullWidth` points wide.
inline float barProgress(const View& fill, double fullWidth) {
    return static_cast<float>(fill.frame().size.width / fullWidth);
}

} // namespace tx
