// Pages of the tour that show how the window explains its keys: the focus ring that Tab moves,
// a button's tooltip, the list of keys F1 shows, and the camera's name on start.
#include "Gallery.h"

#include "platform/ui/ToolTipView.h"
#include "settings/SettingViewController.h"
#include "shell/TaluvexViewController.h"

namespace tx::gallery {
namespace {

void tab(Window& window, int times) {
    for (int i = 0; i < times; i++)
        window.sendKey({KeyEvent::Key::Tab, {}, false, false});
}

GalleryRegistration ring({"main-screen-focus-ring", [](Window& window) {
                              mainScreenIn(window);
                              tab(window, 3);
                          }});

// The tooltip as resting the pointer on the load button shows it.
GalleryRegistration tooltip({"main-screen-tooltip", [](Window& window) {
                                 auto main = mainScreenIn(window);
                                 const auto& button = main->loadVideoButton();
                                 const Rect control =
                                     button->convertRectToView(button->bounds(), nullptr);
                                 window.addSubview(std::make_shared<ToolTipView>(
                                     window.toolTipFor(button.get()), control, window.bounds()));
                             }});

GalleryRegistration keys({"main-screen-shortcut-list", [](Window& window) {
                              mainScreenIn(window);
                              window.toggleShortcutList();
                          }});

GalleryRegistration panelKeys({"settings-panel-shortcut-list", [](Window& window) {
                                   auto main = mainScreenIn(window);
                                   // The slide sets the panel's place at once.
                                   main->settingViewController()->onShowHideButton();
                                   window.toggleShortcutList();
                               }});

GalleryRegistration camera({"main-screen-camera-name", [](Window& window) {
                                auto main = mainScreenIn(window);
                                main->showCameraName();
                            }});

} // namespace
} // namespace tx::gallery
