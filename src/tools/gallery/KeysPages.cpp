// Pages of the tour that show how the window explains its keys: the focus ring that Tab moves,
// a button's tooltip, the list of keys F1 shows, and the camera's name on start.
#include "Gallery.h"

#include "platform/ui/ToolTipView.h"
#include "settings/SettingViewController.h"

#include <functional>
#include "shell/TaluvexViewController.h"

namespace tx::gallery {
namespace {

// The tour's windows are never shown on the desktop, but keys act only on a shown window's
// controls: the window counts as shown while `keys` are typed.
void typed(Window& window, const std::function<void()>& keys) {
    window.setHidden(false);
    keys();
    window.setHidden(true);
}

void tab(Window& window, int times) {
    typed(window, [&] {
        for (int i = 0; i < times; i++)
            window.sendKey({KeyEvent::Key::Tab, {}, false, false});
    });
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
                              typed(window, [&] { window.toggleShortcutList(); });
                          }});

GalleryRegistration panelKeys({"settings-panel-shortcut-list", [](Window& window) {
                                   auto main = mainScreenIn(window);
                                   // The slide sets the panel's place at once.
                                   main->settingViewController()->onShowHideButton();
                                   typed(window, [&] { window.toggleShortcutList(); });
                               }});

GalleryRegistration camera({"main-screen-camera-name", [](Window& window) {
                                auto main = mainScreenIn(window);
                                main->showCameraName();
                            }});

} // namespace
} // namespace tx::gallery
