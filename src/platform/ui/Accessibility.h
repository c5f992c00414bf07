// The kit's views as a screen reader finds them: accessible interfaces of Qt's accessibility
// layer, which Qt's Linux bridge carries onto the AT-SPI bus. The desktop window is the root;
// under it, the screen on top comes first, and what is hidden, off screen or covered by an
// alert, an overlay or another screen is not there.
#pragma once

#include "platform/ui/AccessibilityTraits.h"

#include <functional>
#include <string>
#include <vector>

class QAccessibleInterface;

namespace tx {

class View;
class Window;

// Gives the desktop windows of the kit their accessible interfaces (idempotent).
void installAccessibility();

// The interface of a view, made and registered with Qt on first use and dropped with the view.
QAccessibleInterface* accessibleInterface(View* view);

// The views a screen reader finds directly inside `container`, in reading order (top screen
// first in a window).
std::vector<View*> accessibleChildren(View& container);

// Whether `view` is read at all: shown, not transparent, inside the window and not covered.
bool isAccessiblyExposed(const View& view);

// The tree under `root` as a screen reader sees it, one element a line, indented by depth:
// role "name" [value] (states). For tests and the walk-through tools.
std::string accessibleTreeText(View& root);

// Hears every change that is announced, whether or not a screen reader listens (tests, tools);
// an empty function stops it.
using AccessibilityObserver = std::function<void(View& view, AccessibleChange change)>;
void setAccessibilityObserver(AccessibilityObserver observer);

// A progress bar's value (0 to 1) is announced when its whole percent changes, not at every
// frame: `announcedPercent` is the bar's memory of what was said last (-1 before the first).
void accessibleProgressChanged(View& view, double fraction, int& announcedPercent);

// Every element under `root` that a person uses or reads and that has no name, one line each:
// role, then the path of the names above it.
std::vector<std::string> unnamedAccessibleElements(View& root);

} // namespace tx
