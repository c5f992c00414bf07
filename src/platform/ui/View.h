// The retained view tree: a rectangle with a position, a transform, an opacity and subviews,
// drawn with QPainter, hit by touches, and animated by setting model values at once while the
// run loop draws interpolated (presentation) values.
#pragma once

#include "platform/ui/AccessibilityTraits.h"
#include "platform/ui/Color.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Image.h"
#include "platform/ui/Responder.h"

#include <functional>
#include <memory>
#include <vector>

namespace tx {

class GraphicsContext;
class View;
class ViewController;
class Window;
struct ViewAnimation;
using ViewPtr = std::shared_ptr<View>;

// How a view's content (an image) fits its bounds; the numbers are the stored values.
enum class ContentMode {
    ScaleToFill = 0,
    ScaleAspectFit = 1,
    ScaleAspectFill = 2,
    Redraw = 3,
    Center = 4,
    Top = 5,
    Bottom = 6,
    Left = 7,
    Right = 8,
    TopLeft = 9,
    TopRight = 10,
    BottomLeft = 11,
    BottomRight = 12
};

// Where content of `contentSize` goes inside `bounds` for a content mode.
Rect contentRect(ContentMode mode, Size contentSize, const Rect& bounds);

enum class AnimationCurve { EaseInOut, EaseIn, EaseOut, Linear };

class View : public Responder {
public:
    explicit View(const Rect& frame = {});
    ~View() override;

    // Geometry (model values). The frame is derived from centre, bounds size and transform.
    Rect frame() const;
    void setFrame(const Rect& frame);
    Rect bounds() const { return _bounds; }
    void setBounds(const Rect& bounds);
    Point center() const { return _center; }
    void setCenter(Point center);
    AffineTransform transform() const { return _transform; }
    void setTransform(const AffineTransform& transform);
    double alpha() const { return _alpha; }
    void setAlpha(double alpha);

    // What is on screen now, while an animation runs.
    Point presentationCenter() const;
    Rect presentationBounds() const;
    AffineTransform presentationTransform() const;
    double presentationAlpha() const;
    Rect presentationFrame() const;

    bool isHidden() const { return _hidden; }
    void setHidden(bool hidden);
    bool clipsToBounds() const { return _clipsToBounds; }
    void setClipsToBounds(bool clips);
    Color backgroundColor() const { return _backgroundColor; }
    void setBackgroundColor(const Color& color);
    ContentMode contentMode() const { return _contentMode; }
    void setContentMode(ContentMode mode);
    int tag() const { return _tag; }
    void setTag(int tag) { _tag = tag; }
    bool isUserInteractionEnabled() const { return _userInteractionEnabled; }
    void setUserInteractionEnabled(bool enabled) { _userInteractionEnabled = enabled; }
    // Rounds the background and, with clipping, the content.
    double cornerRadius() const { return _cornerRadius; }
    void setCornerRadius(double radius);
    bool isOpaque() const { return _opaque; }
    void setOpaque(bool opaque) { _opaque = opaque; }
    // An alpha mask laid at the view's origin at the mask picture's own size.
    void setMaskImage(ImagePtr mask);
    ImagePtr maskImage() const { return _mask; }

    // The tree.
    View* superview() const { return _superview; }
    const std::vector<ViewPtr>& subviews() const { return _subviews; }
    Window* window() const;
    void addSubview(const ViewPtr& view);
    void insertSubview(const ViewPtr& view, std::size_t index);
    void insertSubviewBelow(const ViewPtr& view, const View* sibling);
    void removeFromSuperview();
    void bringSubviewToFront(const View* view);
    void sendSubviewToBack(const View* view);
    View* viewWithTag(int tag);
    bool isDescendantOf(const View* view) const;
    std::shared_ptr<View> sharedView() { return sharedAs<View>(); }

    // The controller whose root view this is, if any.
    ViewController* viewController() const { return _viewController; }
    void setViewController(ViewController* controller) { _viewController = controller; }

    // Drawing and layout happen on a later turn of the run loop.
    void setNeedsDisplay();
    void setNeedsLayout();
    void layoutIfNeeded();
    virtual void layoutSubviews() {}
    // Draws the view's own content in its bounds coordinates into GraphicsContext::current().
    virtual void drawRect(const Rect& rect);
    // Draws this view's content and its subviews, in bounds coordinates (no frame or transform).
    void renderInContext(GraphicsContext& context);

    // Touches.
    virtual View* hitTest(Point point);
    virtual bool pointInside(Point point) const;
    Point convertPointToView(Point point, const View* view) const;
    Point convertPointFromView(Point point, const View* view) const;
    Rect convertRectToView(const Rect& rect, const View* view) const;

    // Resigns the first responder if it is this view or inside it.
    bool endEditing(bool force);

    Responder* nextResponder() const override;

    // What a screen reader is told (AccessibilityTraits.h). A view of the role None is read
    // through its subviews; kit classes answer for themselves, screens name what they made.
    virtual AccessibleRole accessibilityRole() const;
    virtual std::string accessibilityLabel() const;
    virtual std::string accessibilityDescription() const { return {}; }
    // The value as words, where the view has one to read (the speed "x 1.0").
    virtual std::string accessibilityValueText() const { return {}; }
    virtual std::optional<AccessibleValue> accessibilityValue() const;
    virtual AccessibleStates accessibilityStates() const;
    virtual std::vector<AccessibleAction> accessibilityActions() const;
    // Does what the action says as a press would; false when the view cannot now.
    virtual bool performAccessibilityAction(AccessibleAction action);
    // Covers what lies under it (alerts, overlays): nothing below it is read.
    virtual bool accessibilityIsModal() const { return false; }
    void setAccessibilityLabel(std::string label);
    void setAccessibilityHidden(bool hidden);
    bool isAccessibilityHidden() const { return _accessibility && _accessibility->hidden; }
    // The screen's settings for this view, made on first use.
    AccessibilityOverrides& accessibility();

    // Animations: `changes` sets model values at once; frame, bounds, centre, alpha and
    // transform are drawn interpolated. `completion` runs exactly once on the run loop, with
    // false when another animation of the same property took over or the view went away.
    using Completion = std::function<void(bool finished)>;
    static void animate(double durationSeconds, double delaySeconds, AnimationCurve curve,
                        const std::function<void()>& changes, Completion completion = {});
    static void animate(double durationSeconds, const std::function<void()>& changes,
                        Completion completion = {});
    // A transition on `view`: the changes made to it and its subviews are animated.
    static void transition(View* view, double durationSeconds, const std::function<void()>& changes,
                           Completion completion = {});
    bool hasAnimations() const;
    void removeAllAnimations();
    // The clock of the animations, in seconds; tests and the screenshot tour may replace it.
    static double animationTime();
    static void setAnimationClock(std::function<double()> clock);

protected:
    Window* responderWindow() const override { return window(); }
    virtual void didMoveToWindow() {}
    virtual void didMoveToSuperview() {}

private:
    friend class Animator;
    void setSuperview(View* superview);
    void notifyMovedToWindow();
    void drawSubtree(GraphicsContext& context);
    void drawOwnContent(GraphicsContext& context);
    void requestDisplay();
    void prepareSubview(const ViewPtr& view);

    View* _superview = nullptr;
    ViewController* _viewController = nullptr;
    std::vector<ViewPtr> _subviews;
    Point _center;
    Rect _bounds;
    AffineTransform _transform;
    double _alpha = 1;
    double _cornerRadius = 0;
    bool _hidden = false;
    bool _clipsToBounds = false;
    bool _userInteractionEnabled = true;
    bool _opaque = false;
    bool _needsLayout = true;
    int _tag = 0;
    ContentMode _contentMode = ContentMode::ScaleToFill;
    Color _backgroundColor;
    ImagePtr _mask;

    std::vector<ViewAnimation> _animations;
    std::unique_ptr<AccessibilityOverrides> _accessibility;
};

} // namespace tx
