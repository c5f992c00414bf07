// The top of both library tabs: the My Movies and YouTube tab buttons side by side, and the
// camera button under them that closes the library.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/View.h"

#include <memory>

namespace tx {

class ViewController;

struct LibraryTabHeader {
    static constexpr double kTabHeight = 56;
    // The list starts below the header's button row.
    static constexpr double kHeight = 102;

    std::shared_ptr<Button> myMovies;
    std::shared_ptr<Button> youtube;
    std::shared_ptr<Button> camera;

    // Adds the header to `parent` with the tab `selectedTab` (0 My Movies, 1 YouTube) lit.
    static LibraryTabHeader addTo(View& parent, int selectedTab);
};

// The library container a tab is shown in (the tab itself when it stands alone): screens opened
// from a tab are presented from there, so they sit in the window's chain of screens.
ViewController& libraryContainer(ViewController& tab);

// Closes the library: the main screen dismisses what it presents; without a main screen (tools,
// tests), the library's own presenter does.
void closeLibrary(ViewController& tab);

} // namespace tx
