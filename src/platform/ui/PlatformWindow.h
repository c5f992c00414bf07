// The desktop window of the Qt backend: shows a kit window's frames at the screen scale and
// turns mouse presses into touches, keys into key events and focus into activation.
#pragma once

#include <QIcon>
#include <QRasterWindow>

namespace tx {

class Window;

class PlatformWindow : public QRasterWindow {
public:
    explicit PlatformWindow(tx::Window& window);

    // The window's size in desktop units for a screen of `devicePixelRatio` pixels a unit: two
    // pixels a point everywhere.
    static QSize logicalSizeFor(double widthPoints, double heightPoints, double devicePixelRatio);
    // `preferred` shrunk uniformly to at most `availableHeight` desktop units high.
    static QSize fittedSize(QSize preferred, int availableHeight);
    // Room left for the window manager's title bar and frame, in desktop units.
    static constexpr int kDecorationUnits = 40;
    // Where the screen's picture goes in the window: as large as fits, centred, never distorted.
    QRectF pictureRect() const;
    static QIcon appIcon();

    // The window as a screen reader finds it: the kit's views inside (Accessibility.h).
    QAccessibleInterface* accessibleRoot() const override;

protected:
    // Input methods (compose keys, Korean and other scripts) commit text to the first responder.
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct PointF {
        double x, y;
    };
    PointF toPoints(const QPointF& position) const;
    tx::Window& _window;
    bool _pressed = false;
};

} // namespace tx
