// The shared application: its delegate's life cycle (launch, resign and become active from the
// window's focus, incoming addresses), the key window, the idle timer, the status bar and
// opening an address outside the application.
#pragma once

#include "platform/ui/Responder.h"

#include <functional>
#include <memory>
#include <string>

namespace tx {

class Application;
class Window;

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual bool applicationDidFinishLaunching(Application& application) {
        (void)application;
        return true;
    }
    virtual void applicationWillResignActive(Application& application) { (void)application; }
    virtual void applicationDidBecomeActive(Application& application) { (void)application; }
    virtual void applicationDidEnterBackground(Application& application) { (void)application; }
    virtual void applicationWillEnterForeground(Application& application) { (void)application; }
    virtual void applicationWillTerminate(Application& application) { (void)application; }
    virtual bool applicationOpenURL(Application& application, const std::string& url,
                                    const std::string& sourceApplication) {
        (void)sourceApplication;
        return applicationHandleOpenURL(application, url);
    }
    virtual bool applicationHandleOpenURL(Application& application, const std::string& url) {
        (void)application;
        (void)url;
        return false;
    }
    // The user closes the window; false keeps the application running (the delegate may ask
    // the user first and quit later).
    virtual bool applicationShouldTerminate(Application& application) {
        (void)application;
        return true;
    }
};

class Application : public Responder {
public:
    static Application& sharedApplication();
    // Makes the Qt GUI application if no Qt application exists yet; false when a non-GUI one
    // was made first. Call it before anything touches the run loop.
    static bool ensureGuiApplication();

    // The application keeps its delegate for the life of the process.
    void setDelegate(std::shared_ptr<ApplicationDelegate> delegate) {
        _delegate = std::move(delegate);
    }
    ApplicationDelegate* delegate() const { return _delegate.get(); }

    Window* keyWindow() const;

    bool isIdleTimerDisabled() const { return _idleTimerDisabled; }
    void setIdleTimerDisabled(bool disabled) { _idleTimerDisabled = disabled; }
    bool isStatusBarHidden() const { return _statusBarHidden; }
    void setStatusBarHidden(bool hidden, bool animated = false) {
        (void)animated;
        _statusBarHidden = hidden;
    }

    // Opens an address with the desktop's handler (browser, mail client).
    bool openURL(const std::string& url);
    // Replaces the desktop handler (tests record the addresses instead).
    static void setOpenURLHandler(std::function<bool(const std::string&)> handler);

    bool isActive() const { return _active; }
    // Activation from the window's focus; tells the delegate on each change.
    void setActive(bool active);
    // An address handed to the application from outside.
    bool deliverOpenURL(const std::string& url, const std::string& sourceApplication = {});

    // Launches: the delegate's did-finish-launching, then the run loop until quit.
    int run();

private:
    std::shared_ptr<ApplicationDelegate> _delegate;
    bool _idleTimerDisabled = false;
    bool _statusBarHidden = true;
    bool _active = false;
};

// The process entry: makes the GUI application, launches with `delegate`, runs the loop.
int applicationMain(int argc, char** argv, std::shared_ptr<ApplicationDelegate> delegate);

} // namespace tx
