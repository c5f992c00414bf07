// Picks a movie for the main screen: the movies of the user's Videos folder, "Other…" for the
// desktop's file dialog, then a trim screen. A trimmed range is exported into the private
// temporary folder; an untrimmed pick hands on the original file.
#pragma once

#include "platform/ui/ViewController.h"

#include <memory>
#include <string>

namespace tx {

class ImagePickerController;

// What a pick gives: the kind of media and the movie's file path.
struct ImagePickerMediaInfo {
    std::string mediaType;
    std::string mediaURL;
};

// The kind of media of every pick ("public.movie").
extern const char* const kUTTypeMovie;

class ImagePickerControllerDelegate {
public:
    virtual ~ImagePickerControllerDelegate() = default;
    virtual void
    imagePickerControllerDidFinishPickingMediaWithInfo(ImagePickerController& picker,
                                                       const ImagePickerMediaInfo& info) = 0;
    virtual void imagePickerControllerDidCancel(ImagePickerController& picker) = 0;
};

class ImagePickerController : public ViewController {
public:
    void setDelegate(std::weak_ptr<ImagePickerControllerDelegate> delegate) {
        _delegate = std::move(delegate);
    }
    std::shared_ptr<ImagePickerControllerDelegate> delegate() const { return _delegate.lock(); }
    // Editing allowed: the trim screen comes between the choice and the answer.
    void setAllowsEditing(bool allows) { _allowsEditing = allows; }
    bool allowsEditing() const { return _allowsEditing; }
    // Starts at the trim screen of this file instead of the list (a movie dropped on the window).
    void setInitialMoviePath(std::string path) { _initialMoviePath = std::move(path); }
    const std::string& initialMoviePath() const { return _initialMoviePath; }

    void loadView() override;
    bool keyPressed(const KeyEvent& event) override;

protected:
    void finishWithMovie(const std::string& path);
    void cancel();

private:
    std::weak_ptr<ImagePickerControllerDelegate> _delegate;
    bool _allowsEditing = false;
    std::string _initialMoviePath;
};

} // namespace tx
