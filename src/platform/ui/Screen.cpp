#include "platform/ui/Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace tx {

namespace {
constexpr int kTallWindowPixels = 1136;
}

void Screen::chooseHeightForDesktop() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    QScreen* screen = app ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return;
    // The window shows two pixels a point; window decorations need a little room as well.
    double available = screen->availableGeometry().height() * screen->devicePixelRatio();
    _height = available >= kTallWindowPixels + 40 ? 568 : 480;
}

} // namespace tx
