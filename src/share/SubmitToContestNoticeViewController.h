// The contest notice: what the contest is and how to enter, over the whole window, with a link to
// the contest's page in the browser. It keeps itself alive while it is shown.
#pragma once

#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/ViewController.h"

#include <memory>

namespace tx {

class SubmitToContestNoticeViewController : public ViewController {
public:
    void loadView() override;
    void viewDidLoad() override;

    // Fades the notice in over the key window / out again, after which it lets go of itself.
    void show();
    void hide();
    void cancel() { hide(); }
    // Opens the contest's page in the browser (https only).
    void facebook();

    const std::shared_ptr<ScrollView>& scrollView() const { return _scrollView; }
    const std::shared_ptr<Button>& facebookButton() const { return _facebookButton; }
    const std::shared_ptr<Button>& closeButton() const { return _closeButton; }
    bool isShown() const { return _refController != nullptr; }

private:
    std::shared_ptr<ScrollView> _scrollView;
    std::shared_ptr<ImageView> _background;
    std::shared_ptr<Button> _facebookButton;
    std::shared_ptr<Button> _closeButton;
    std::shared_ptr<SubmitToContestNoticeViewController> _refController;
};

} // namespace tx
