// The movie library: for now an empty screen with the way back to the camera.
#pragma once

#include "platform/ui/ViewController.h"

namespace tx {

class MoviesViewController : public ViewController {
public:
    void loadView() override;
    bool keyPressed(const KeyEvent& event) override;
    void onBack();
};

} // namespace tx
