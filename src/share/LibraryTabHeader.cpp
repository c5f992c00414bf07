#include "platform/foundation/Translation.h"
#include "share/LibraryTabHeader.h"

#include "app/TaluvexAppDelegate.h"
#include "platform/ui/Image.h"
#include "platform/ui/ViewController.h"

namespace tx {

LibraryTabHeader LibraryTabHeader::addTo(View& parent, int selectedTab) {
    LibraryTabHeader header;
    auto bar = std::make_shared<View>(Rect(0, 0, 320, kHeight));
    bar->setBackgroundColor(theme::background());
    parent.addSubview(bar);
    header.myMovies = std::make_shared<Button>(Rect(0, 0, 160, kTabHeight));
    header.myMovies->setImage(Image::imageNamed(selectedTab == 0 ? "M_b_320_112" : "M_320_112"),
                              ControlStateNormal);
    header.myMovies->setImage(Image::imageNamed("M_b_320_112"),
                              ControlStateHighlighted | ControlStateSelected);
    header.myMovies->setSelected(selectedTab == 0);
    bar->addSubview(header.myMovies);
    header.youtube = std::make_shared<Button>(Rect(160, 0, 160, kTabHeight));
    header.youtube->setImage(Image::imageNamed(selectedTab == 1 ? "U_bg_320_112" : "U_320_112"),
                             ControlStateNormal);
    header.youtube->setSelected(selectedTab == 1);
    bar->addSubview(header.youtube);
    header.camera = std::make_shared<Button>(Rect(6, 62, 60, 30));
    header.camera->setImage(Image::imageNamed("camera_btn_120_60"), ControlStateNormal);
    header.camera->setImage(Image::imageNamed("camera_btn_P_120_60"), ControlStateHighlighted);
    bar->addSubview(header.camera);
    header.myMovies->accessibility().role = AccessibleRole::PageTab;
    header.myMovies->setAccessibilityLabel(_("My movies"));
    header.youtube->accessibility().role = AccessibleRole::PageTab;
    header.youtube->setAccessibilityLabel(_("YouTube"));
    header.camera->setAccessibilityLabel(_("Back to the camera"));
    return header;
}

ViewController& libraryContainer(ViewController& tab) {
    // The tab's view sits in the container's view.
    for (View* view = tab.isViewLoaded() ? tab.view()->superview() : nullptr; view != nullptr;
         view = view->superview()) {
        if (ViewController* container = view->viewController()) {
            return *container;
        }
    }
    return tab;
}

void closeLibrary(ViewController& tab) {
    TaluvexAppDelegate* app = TaluvexAppDelegate::sharedDelegate();
    if (app != nullptr && app->viewController() != nullptr) {
        app->viewController()->mainViewController().dismissViewController(true);
        return;
    }
    libraryContainer(tab).dismissViewController(true);
}

} // namespace tx
