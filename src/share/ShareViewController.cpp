#include "ShareViewController.h"

#include "platform/foundation/Paths.h"
#include "platform/ui/Image.h"
#include "platform/ui/Screen.h"

namespace tx {

void ShareViewController::loadView() {
    const Rect bounds = Screen::mainScreen().bounds();
    auto root = std::make_shared<View>(bounds);
    root->setBackgroundColor(Color::black());
    _thumbnail = std::make_shared<ImageView>(Rect(10, 60, 300, 225));
    _thumbnail->setContentMode(ContentMode::ScaleAspectFit);
    root->addSubview(_thumbnail);
    auto back = std::make_shared<Button>(Rect(10, 10, 60, 30));
    back->setTitle("Back", ControlStateNormal);
    back->addTarget(this, ControlEventTouchUpInside, [this](Control&) { onBack(); });
    root->addSubview(back);
    setView(root);
}

void ShareViewController::viewWillAppear(bool) {
    _thumbnail->setImage(Image::imageWithContentsOfFile(pathByReplacingExtension(_path, "jpg")));
}

bool ShareViewController::keyPressed(const KeyEvent& event) {
    if (event.key == KeyEvent::Key::Escape) {
        onBack();
        return true;
    }
    return false;
}

void ShareViewController::onBack() {
    dismissViewController(true);
}

} // namespace tx
