// A minimal web view for embedded video players: it finds the player's address in the page it
// is given and shows the player's area with a play button, whose touch-up-inside opens the
// address outside the application (in the desktop's browser). Only http and https addresses
// are taken; a page pointing anywhere else shows no player.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/View.h"

#include <memory>
#include <string>

namespace tx {

class WebView : public View {
public:
    explicit WebView(const Rect& frame = {});

    void loadHTMLString(const std::string& html, const std::string& baseURL);
    // A page given by its address: shown as the same area, its button opening the address.
    void loadRequest(const std::string& url);
    // The address the play button opens; empty when the page embeds nothing.
    const std::string& playerAddress() const { return _address; }
    const std::shared_ptr<Button>& playButton() const { return _playButton; }

    void layoutSubviews() override;
    void drawRect(const Rect& rect) override;

private:
    void showPlayer(const std::string& address);

    std::string _address;
    std::shared_ptr<Button> _playButton;
};

} // namespace tx
