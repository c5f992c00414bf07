// The screenshot tour: pages that build a screen from views in a window, rendered into PNGs
// headless. A page registers itself with a static GalleryRegistration in a *Pages.cpp file.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/Window.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tx {
class TaluvexViewController;
}

namespace tx::gallery {

struct GalleryPage {
    std::string name;
    // Builds the page in a key window of the screen's size; the clock stands at 0.
    std::function<void(Window& window)> build;
    // How far the animation clock moves before the picture is taken (half an animation shows
    // it half-way; a large value lets every animation end).
    double advanceSeconds = 10;
};

std::vector<GalleryPage>& galleryPages();

struct GalleryRegistration {
    explicit GalleryRegistration(GalleryPage page) { galleryPages().push_back(std::move(page)); }
};

// Helpers for building pages.
std::shared_ptr<ImageView> addPicture(View& parent, const std::string& name, Point origin);
std::shared_ptr<ImageView> addPicture(View& parent, const std::string& name, const Rect& frame);
std::shared_ptr<Button> addButton(View& parent, const std::string& normal,
                                  const std::string& pressed, const Rect& frame);
std::shared_ptr<Label> addLabel(View& parent, const std::string& text, const Rect& frame,
                                const Font& font, const Color& color,
                                TextAlignment alignment = TextAlignment::Left);
// A stand-in for the camera's live picture: a sunset over a horizon.
ImagePtr cameraPicture(Size size, double hue);
// Screens a page keeps until the tour ends.
std::vector<std::shared_ptr<Object>>& keptAlive();
// The application's main screen as the window's root, with a still picture for the camera.
std::shared_ptr<TaluvexViewController> mainScreenIn(Window& window);

} // namespace tx::gallery
