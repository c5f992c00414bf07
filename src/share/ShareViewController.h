// The screen shown on one movie after a render or from the library: for now its thumbnail and
// Back.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ViewController.h"

#include <string>

namespace tx {

class ShareViewController : public ViewController {
public:
    const std::string& path() const { return _path; }
    void setPath(std::string path) { _path = std::move(path); }

    void loadView() override;
    void viewWillAppear(bool animated) override;
    bool keyPressed(const KeyEvent& event) override;

    void onBack();

private:
    std::string _path;
    std::shared_ptr<ImageView> _thumbnail;
};

} // namespace tx
