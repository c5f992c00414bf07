// A screen: it owns a view loaded on first use, hears when it appears and disappears, and
// presents other screens modally over the window (the presenting chain).
#pragma once

#include "platform/ui/Responder.h"
#include "platform/ui/View.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tx {

enum class InterfaceOrientation {
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeLeft = 3,
    LandscapeRight = 4
};

class ViewController : public Responder {
public:
    ViewController() = default;
    ~ViewController() override;

    // Loads the view on first use (loadView, then viewDidLoad).
    ViewPtr view();
    bool isViewLoaded() const { return _view != nullptr; }
    void setView(ViewPtr view);
    // Releases the loaded view and calls viewDidUnload.
    void unloadView();

    // Makes the view; the default is an empty view as large as the screen.
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillAppear(bool animated) { (void)animated; }
    virtual void viewDidAppear(bool animated) { (void)animated; }
    virtual void viewWillDisappear(bool animated) { (void)animated; }
    virtual void viewDidDisappear(bool animated) { (void)animated; }
    virtual void viewDidUnload() {}

    // Every screen of the application is portrait only with the status bar hidden.
    virtual bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation orientation) const {
        return orientation == InterfaceOrientation::Portrait;
    }
    virtual bool prefersStatusBarHidden() const { return true; }

    // Covers the window with `controller`'s view (sliding up when animated). A controller that
    // already presents one passes the request to the top of its chain.
    void presentViewController(std::shared_ptr<ViewController> controller, bool animated,
                               std::function<void()> completion = {});
    // Dismisses what this controller presents, with everything above it; called on the
    // presented controller itself, its presenter does it.
    void dismissViewController(bool animated, std::function<void()> completion = {});
    ViewController* presentedViewController() const { return _presented.get(); }
    ViewController* presentingViewController() const { return _presenting; }

    Responder* nextResponder() const override;
    // The part of this screen that keys and the focus ring serve now: the view, or a panel that
    // slid over it.
    virtual View* keyboardContainer() { return view().get(); }
    // Movie or other files dropped on the window while this screen is on top; true when used.
    virtual bool filesDropped(const std::vector<std::string>& paths) {
        (void)paths;
        return false;
    }

protected:
    Window* responderWindow() const override;

private:
    void finishDismissal(const std::shared_ptr<ViewController>& presented, bool animated,
                         const std::function<void()>& completion);

    ViewPtr _view;
    std::shared_ptr<ViewController> _presented;
    ViewController* _presenting = nullptr;
    bool _beingDismissed = false;
};

} // namespace tx
