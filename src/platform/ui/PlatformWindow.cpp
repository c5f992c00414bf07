#include "platform/ui/PlatformWindow.h"

#include "platform/foundation/Paths.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Screen.h"
#include "platform/ui/Window.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QInputMethodEvent>
#include <QInputMethodQueryEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <QWheelEvent>
#include <cmath>

namespace tx {

PlatformWindow::PlatformWindow(tx::Window& window) : _window(window) {
    installAccessibility();
    Rect b = window.bounds();
    setTitle(QStringLiteral("Taluvex"));
    QScreen* screen = QGuiApplication::primaryScreen();
    QSize size = logicalSizeFor(b.width(), b.height(), screen ? screen->devicePixelRatio() : 1.0);
    if (screen)
        size = fittedSize(size, screen->availableGeometry().height() - kDecorationUnits);
    resize(size);
    // The user may make it any size: the screen is drawn uniformly scaled and centred in it.
    setMinimumSize(QSize(std::max(1, size.width() / 4), std::max(1, size.height() / 4)));
    setIcon(appIcon());
}

QSize PlatformWindow::fittedSize(QSize preferred, int availableHeight) {
    if (availableHeight <= 0 || preferred.height() <= availableHeight)
        return preferred;
    const double factor = static_cast<double>(availableHeight) / preferred.height();
    return {static_cast<int>(std::floor(preferred.width() * factor)), availableHeight};
}

QRectF PlatformWindow::pictureRect() const {
    const Rect b = _window.bounds();
    const double w = std::max(1, width());
    const double h = std::max(1, height());
    const double scale = std::min(w / b.width(), h / b.height());
    const double pw = b.width() * scale;
    const double ph = b.height() * scale;
    return {(w - pw) / 2, (h - ph) / 2, pw, ph};
}

QIcon PlatformWindow::appIcon() {
    // The installed hicolor icons first; from a build tree, the artwork's own.
    QIcon icon = QIcon::fromTheme(QGuiApplication::desktopFileName());
    if (!icon.isNull())
        return icon;
    for (int size : {48, 128, 256}) {
        const std::string name = "appicon_" + std::to_string(size) + "_" + std::to_string(size);
        const std::string path = resourcePath(name, "png");
        if (!path.empty())
            icon.addFile(QString::fromStdString(path), QSize(size, size));
    }
    return icon;
}

QSize PlatformWindow::logicalSizeFor(double widthPoints, double heightPoints,
                                     double devicePixelRatio) {
    // The picture is drawn at two pixels a point and shown pixel for pixel: on a HiDPI screen
    // the window is as many desktop units wide as it has points, elsewhere twice that.
    const double scale = Screen::mainScreen().scale() / std::max(1.0, devicePixelRatio);
    return {static_cast<int>(std::lround(widthPoints * scale)),
            static_cast<int>(std::lround(heightPoints * scale))};
}

QAccessibleInterface* PlatformWindow::accessibleRoot() const {
    return QAccessible::queryAccessibleInterface(const_cast<PlatformWindow*>(this));
}

PlatformWindow::PointF PlatformWindow::toPoints(const QPointF& position) const {
    const Rect b = _window.bounds();
    const QRectF picture = pictureRect();
    return {(position.x() - picture.x()) * b.width() / picture.width(),
            (position.y() - picture.y()) * b.height() / picture.height()};
}

bool PlatformWindow::event(QEvent* event) {
    if (event->type() == QEvent::InputMethodQuery) {
        auto* query = static_cast<QInputMethodQueryEvent*>(event);
        Responder* first = _window.firstResponder();
        if (query->queries() & Qt::ImEnabled)
            query->setValue(Qt::ImEnabled, first && first->acceptsTextInput());
        query->accept();
        return true;
    }
    if (event->type() == QEvent::InputMethod) {
        auto* input = static_cast<QInputMethodEvent*>(event);
        if (!input->commitString().isEmpty()) {
            KeyEvent key;
            key.key = KeyEvent::Key::Character;
            key.text = input->commitString().toStdString();
            _window.sendKey(key);
        }
        input->accept();
        return true;
    }
    switch (event->type()) {
    case QEvent::Show:
        _window.platformVisibilityChanged(!(windowStates() & Qt::WindowMinimized));
        break;
    case QEvent::Hide:
        _window.platformVisibilityChanged(false);
        break;
    case QEvent::WindowStateChange:
        _window.platformVisibilityChanged(isVisible() && !(windowStates() & Qt::WindowMinimized));
        break;
    case QEvent::Close:
        if (!_window.platformCloseRequested()) {
            event->ignore();
            return true;
        }
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (drag->mimeData()->hasUrls())
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        std::vector<std::string> paths;
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (url.isLocalFile())
                paths.push_back(url.toLocalFile().toStdString());
        }
        drop->acceptProposedAction();
        _window.platformFilesDropped(paths);
        return true;
    }
    default:
        break;
    }
    return QRasterWindow::event(event);
}

void PlatformWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QImage& frame = _window.frameImage();
    if (frame.isNull()) {
        painter.fillRect(QRect(0, 0, width(), height()), Qt::black);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // Never stretched out of shape: bars fill what a window manager's size leaves over.
    const QRectF picture = pictureRect();
    if (picture.width() < width() || picture.height() < height())
        painter.fillRect(QRect(0, 0, width(), height()), Qt::black);
    painter.drawImage(picture, frame);
}

void PlatformWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    _pressed = true;
    PointF p = toPoints(event->position());
    _window.sendTouch(TouchPhase::Began, {p.x, p.y});
}

void PlatformWindow::mouseMoveEvent(QMouseEvent* event) {
    PointF p = toPoints(event->position());
    if (!_pressed) {
        _window.sendHover({p.x, p.y});
        return;
    }
    _window.sendTouch(TouchPhase::Moved, {p.x, p.y});
}

void PlatformWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !_pressed)
        return;
    _pressed = false;
    PointF p = toPoints(event->position());
    _window.sendTouch(TouchPhase::Ended, {p.x, p.y});
}

void PlatformWindow::keyPressEvent(QKeyEvent* event) {
    KeyEvent key;
    key.shift = event->modifiers() & Qt::ShiftModifier;
    key.control = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Backspace:
        key.key = KeyEvent::Key::Backspace;
        break;
    case Qt::Key_Delete:
        key.key = KeyEvent::Key::Delete;
        break;
    case Qt::Key_Left:
        key.key = KeyEvent::Key::Left;
        break;
    case Qt::Key_Right:
        key.key = KeyEvent::Key::Right;
        break;
    case Qt::Key_Up:
        key.key = KeyEvent::Key::Up;
        break;
    case Qt::Key_Down:
        key.key = KeyEvent::Key::Down;
        break;
    case Qt::Key_Home:
        key.key = KeyEvent::Key::Home;
        break;
    case Qt::Key_End:
        key.key = KeyEvent::Key::End;
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        key.key = KeyEvent::Key::Return;
        break;
    case Qt::Key_Escape:
        key.key = KeyEvent::Key::Escape;
        break;
    case Qt::Key_Tab:
        key.key = KeyEvent::Key::Tab;
        break;
    case Qt::Key_Backtab:
        key.key = KeyEvent::Key::Tab;
        key.shift = true;
        break;
    case Qt::Key_F1:
        key.key = KeyEvent::Key::F1;
        break;
    case Qt::Key_Question:
        key.key = KeyEvent::Key::Character;
        key.text = "?";
        break;
    default:
        if (key.control && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z) {
            key.key = KeyEvent::Key::Character;
            key.text = std::string(1, static_cast<char>('a' + (event->key() - Qt::Key_A)));
        } else if (!event->text().isEmpty() && event->text().at(0).isPrint()) {
            key.key = KeyEvent::Key::Character;
            key.text = event->text().toStdString();
        }
    }
    _window.sendKey(key);
}

void PlatformWindow::wheelEvent(QWheelEvent* event) {
    PointF p = toPoints(event->position());
    // One wheel notch (120) scrolls 40 points.
    QPoint delta = event->angleDelta();
    _window.sendWheel({p.x, p.y}, -delta.x() / 3.0, -delta.y() / 3.0);
}

void PlatformWindow::focusInEvent(QFocusEvent*) {
    _window.platformFocusChanged(true);
}
void PlatformWindow::focusOutEvent(QFocusEvent*) {
    _window.platformFocusChanged(false);
}

} // namespace tx
