#include "share/YoutubeTabPlaceholderViewController.h"

#include "app/CustomEffectSound.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Screen.h"

namespace tx {

void YoutubeTabPlaceholderViewController::loadView() {
    const Rect bounds = Screen::mainScreen().bounds();
    auto root = std::make_shared<View>(bounds);
    root->setBackgroundColor(theme::background());
    auto background = std::make_shared<ImageView>(bounds);
    background->setImage(Image::imageNamed("movies_bg_640_1136"));
    background->setContentMode(ContentMode::ScaleAspectFill);
    root->addSubview(background);
    _tableView = std::make_shared<TableView>(
        Rect(0, LibraryTabHeader::kHeight, 320, bounds.size.height - LibraryTabHeader::kHeight));
    _tableView->setBackgroundColor(Color::clear());
    root->addSubview(_tableView);
    _header = LibraryTabHeader::addTo(*root, 1);
    _header.myMovies->addTarget(this, ControlEventTouchUpInside,
                                [this](Control&) { onMyMovies(); });
    _header.camera->addTarget(this, ControlEventTouchUpInside,
                              [this](Control&) { onCameraButton(); });
    setView(root);
}

bool YoutubeTabPlaceholderViewController::keyPressed(const KeyEvent& event) {
    switch (event.key) {
    case KeyEvent::Key::Tab:
        onMyMovies();
        return true;
    case KeyEvent::Key::Escape:
        onCameraButton();
        return true;
    default:
        return false;
    }
}

void YoutubeTabPlaceholderViewController::onMyMovies() {
    NotificationCenter::defaultCenter().post("MoviesTabSelected", shared_from_this());
}

void YoutubeTabPlaceholderViewController::onCameraButton() {
    CustomEffectSound::share()->playEffectSound(kSoundEffect_BtnClick);
    closeLibrary(*this);
}

} // namespace tx
