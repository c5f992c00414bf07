#include "ImagePickerController.h"

#include "platform/ui/Screen.h"

namespace tx {

const char* const kUTTypeMovie = "public.movie";

// For now the picker only offers the way back; the list, the dialog and the trim screen follow.
void ImagePickerController::loadView() {
    auto root = std::make_shared<View>(Screen::mainScreen().bounds());
    root->setBackgroundColor(Color::black());
    setView(root);
}

bool ImagePickerController::keyPressed(const KeyEvent& event) {
    if (event.key != KeyEvent::Key::Escape)
        return false;
    cancel();
    return true;
}

void ImagePickerController::finishWithMovie(const std::string& path) {
    if (auto d = delegate())
        d->imagePickerControllerDidFinishPickingMediaWithInfo(*this, {kUTTypeMovie, path});
}

void ImagePickerController::cancel() {
    if (auto d = delegate())
        d->imagePickerControllerDidCancel(*this);
}

} // namespace tx
