// The application's window: the root of the view tree on screen, 320 points wide and as high as
// the main screen. It delivers touches and keys, keeps the first responder and draws itself on
// the run loop, into the desktop window of the Qt backend or into an off-screen frame.
#pragma once

#include "platform/ui/View.h"

#include <QImage>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class ViewController;
class PlatformWindow;

class Window : public View {
public:
    explicit Window(const Rect& frame);
    ~Window() override;

    static Window* keyWindow();
    void makeKeyWindow();
    void makeKeyAndVisible();
    bool isKeyWindow() const { return keyWindow() == this; }

    void setRootViewController(std::shared_ptr<ViewController> controller);
    std::shared_ptr<ViewController> rootViewController() const { return _rootViewController; }

    Responder* firstResponder() const { return _firstResponder; }

    // Drawing: requests are gathered and served on the next turn of the run loop.
    void scheduleDisplay();
    void displayNow();
    // The last frame drawn (pixels at the screen scale); null before the first.
    const QImage& frameImage() const { return _frame; }
    int displayCount() const { return _displayCount; }

    // Input from the platform, in window points.
    void sendTouch(TouchPhase phase, Point location);
    void sendKey(const KeyEvent& event);
    void sendWheel(Point location, double dx, double dy);
    // The desktop window took or lost the keyboard focus (touches end; activity stays).
    void platformFocusChanged(bool active);
    // The desktop window was shown or restored (true), or minimised, hidden or the session
    // locked (false): the application becomes active or resigns.
    void platformVisibilityChanged(bool shown);
    // The desktop session was locked or unlocked: a locked session resigns like a hidden window.
    void platformSessionLockChanged(bool locked);
    // The user closes the desktop window; false keeps it open.
    bool platformCloseRequested();
    // Shows the desktop window above the others, restored if it was minimised, and asks for the
    // keyboard focus (another start of the application wants it seen).
    void raiseOnDesktop();
    // Files dropped on the window: the top presented screen, then the root screen.
    void platformFilesDropped(const std::vector<std::string>& paths);

    static const std::vector<Window*>& allWindows();
    // The desktop window that shows this one; null off screen.
    PlatformWindow* platformWindow() const { return _platformWindow.get(); }

    AccessibleRole accessibilityRole() const override;
    std::string accessibilityLabel() const override;

private:
    friend class Responder;
    friend class View;
    void setFirstResponder(Responder* responder);
    void deliverTouch(TouchPhase phase);
    void rootViewControllerAppears();
    void updateActivity();

    std::shared_ptr<ViewController> _rootViewController;
    bool _rootAppeared = false;
    bool _platformShown = false;
    bool _sessionLocked = false;
    Responder* _firstResponder = nullptr;
    QImage _frame;
    bool _displayScheduled = false;
    int _displayCount = 0;
    double _lastDisplaySeconds = 0;
    TouchPtr _touch;
    View* _touchTarget = nullptr;
    std::weak_ptr<View> _touchTargetRef;
    Point _touchStart;
    double _lastTapTime = -10;
    std::unique_ptr<PlatformWindow> _platformWindow;
};

} // namespace tx
