#include "platform/ui/Screen.h"

#include <QGuiApplication>
#include <QScreen>

namespace tx {

void Screen::chooseHeightForDesktop() {
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    QScreen* screen = app ? QGuiApplication::primaryScreen() : nullptr;
    if (!screen)
        return;
    // The tall layout wherever it fits at one desktop unit a point or more, leaving room for the
    // window decorations; the window is then scaled to fit the work area.
    const double availableUnits = screen->availableGeometry().height() - 40;
    _height = availableUnits >= 568 ? 568 : 480;
}

} // namespace tx
