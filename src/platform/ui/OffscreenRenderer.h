// Draws any view tree into a picture, without a display: screens are looked at and tested
// headless through it.
#pragma once

#include "platform/ui/Image.h"

#include <string>

namespace tx {

class View;

// The view's bounds drawn at `scale` pixels a point (its own frame and transform are ignored),
// after a layout pass.
ImagePtr renderView(View& view, double scale = 2);
bool writeViewPNG(View& view, const std::string& path, double scale = 2);

} // namespace tx
