// The device screen: 320 points wide, 480 or 568 high (chosen at start-up), two pixels a point.
#pragma once

#include "platform/ui/Geometry.h"

namespace tx {

class Screen {
public:
    static Screen& mainScreen() {
        static auto* screen = new Screen();
        return *screen;
    }

    Rect bounds() const { return {0, 0, 320, _height}; }
    double scale() const { return 2.0; }
    // Chooses the screen height before the first window is made (480 or 568 points).
    void setHeight(double heightPoints) { _height = heightPoints; }
    // Chooses 568 points when the work area is at least that many desktop units high, else 480.
    void chooseHeightForDesktop();

private:
    double _height = 480;
};

} // namespace tx
