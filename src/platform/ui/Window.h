// The application's window: the root of the view tree on screen, 320 points wide and as high as
// the main screen. It delivers touches and keys, keeps the first responder and draws itself on
// the run loop, into the desktop window of the Qt backend or into an off-screen frame.
#pragma once

#include "platform/ui/KeyTable.h"
#include "platform/ui/View.h"

#include <QImage>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class ViewController;
class PlatformWindow;
class KeyTable;
class GraphicsContext;

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

    // The keyboard focus: the responder keys reach first (a text entry, a control the focus ring
    // is on, an alert). It changes only through setFirstResponder, which posts
    // kFocusDidChangeNotification with this window as the object.
    Responder* firstResponder() const { return _firstResponder; }
    static constexpr const char* kFocusDidChangeNotification = "TxWindowFocusDidChange";

    // The screen on top: the last shown subview of the window that takes input (a presented
    // screen, an alert, an overlay). Keys and the focus ring never go below it.
    View* topLayer() const;
    // Where keys go inside the top layer: its screen's keyboard container (a panel slid over its
    // screen), or the layer itself.
    View* keyContainer() const;
    // The controls Tab and Shift+Tab visit on the screen on top, in order.
    std::vector<View*> focusableViews() const;
    // Moves the focus ring to the next (or previous) control of the screen on top.
    void moveFocus(bool backwards);
    // The control the focus ring is drawn around, if any.
    View* focusRingView() const;
    // The keys of the screen on top, from the focused control up to the screen, and the
    // window-wide ones: what a key can do now.
    KeyTable keysOnTop() const;
    // The tooltip text for a control on the screen on top: what it does and its key.
    std::string toolTipFor(const View* view) const;
    // Shows the keys of the screen on top over it, or closes the list when it is shown.
    void toggleShortcutList();
    View* shortcutList() const;

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
    // The pointer moved without a button held: resting on a control for a moment shows its
    // tooltip.
    void sendHover(Point location);
    static constexpr double kToolTipDelaySeconds = 0.5;
    // The tooltip shown now, if any.
    View* toolTip() const;
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
    void setFirstResponder(Responder* responder, bool remember = true);
    // A view holding the focus left the window (an alert, a screen): focus goes back to what
    // had it before.
    void layerRemoved();
    bool windowKeyPressed(const KeyEvent& event);
    // The first responder a key goes to: the focus when it is on the screen on top (or above
    // it), else that screen's keyboard container.
    Responder* keyRouteStart() const;
    // Puts the ring around the focused control of the screen on top, or takes it away.
    void updateFocusRing();
    // A focused control that left the screen or was hidden hands the focus to the next shown one
    // in the ring, so that no key presses what cannot be seen.
    void keepFocusOnScreen();
    void addWindowKeyBindings(KeyTable& table) const;
    void deliverTouch(TouchPhase phase);
    void rootViewControllerAppears();
    void updateActivity();

    std::shared_ptr<ViewController> _rootViewController;
    bool _rootAppeared = false;
    bool _platformShown = false;
    bool _sessionLocked = false;
    Responder* _firstResponder = nullptr;
    // Earlier holders of the focus, newest last, to hand it back when a layer goes.
    std::vector<std::weak_ptr<Object>> _focusHistory;
    std::weak_ptr<View> _shortcutList;
    std::weak_ptr<View> _toolTip;
    std::shared_ptr<View> _ringView;
    std::weak_ptr<View> _hovered;
    Point _hoverPoint;
    int _hoverSerial = 0;
    void hideToolTip();
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
