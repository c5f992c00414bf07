#include "MoviesViewController.h"

#include "platform/ui/Button.h"
#include "platform/ui/Screen.h"

namespace tx {

void MoviesViewController::loadView() {
    auto root = std::make_shared<View>(Screen::mainScreen().bounds());
    root->setBackgroundColor(Color::black());
    auto back = std::make_shared<Button>(Rect(10, 10, 80, 30));
    back->setTitle("Camera", ControlStateNormal);
    back->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onBack(); });
    root->addSubview(back);
    setView(root);
}

bool MoviesViewController::keyPressed(const KeyEvent& event) {
    if (event.key == KeyEvent::Key::Escape) {
        onBack();
        return true;
    }
    return false;
}

void MoviesViewController::onBack() {
    dismissViewController(true);
}

} // namespace tx
