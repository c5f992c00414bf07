// The slide-in settings panel the main screen carries: for now the handle strip at the right edge,
// which the main screen enables and disables around recordings and renders.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/ViewController.h"

namespace tx {

class SettingViewController : public ViewController {
public:
    void loadView() override;
    // Taps reach the panel only while it is enabled.
    void enable(bool enabled);
    bool isEnabled() const { return _enabled; }

private:
    bool _enabled = true;
    std::shared_ptr<Button> _handle;
};

} // namespace tx
