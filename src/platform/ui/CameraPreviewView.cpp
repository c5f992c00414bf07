#include "platform/ui/CameraPreviewView.h"

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"

#include <cmath>

namespace tx {

CameraPreviewView::CameraPreviewView(const Rect& frame) : View(frame) {
    setBackgroundColor(Color::black());
    // The picture fills the view; its longer side is cropped.
    setContentMode(ContentMode::ScaleAspectFill);
    setClipsToBounds(true);
}

CameraPreviewView::~CameraPreviewView() {
    if (_pollTimer) {
        _pollTimer->invalidate();
    }
}

void CameraPreviewView::setSource(Source source) {
    _source = std::move(source);
    _shownSerial = 0;
    _image.reset();
    setNeedsDisplay();
    updateTimer();
}

void CameraPreviewView::setStillPicture(const QImage& picture) {
    setSource({});
    _image = picture.isNull() ? nullptr : std::make_shared<Image>(picture, 1.0);
    setNeedsDisplay();
}

bool CameraPreviewView::poll() {
    if (!_source.serial || !_source.picture) {
        return false;
    }
    const std::uint64_t serial = _source.serial();
    if (serial == 0 || serial == _shownSerial) {
        return false;
    }
    _shownSerial = serial;
    // Fetched at the view's own pixel size, the picture is drawn without scaling.
    const double scale = Screen::mainScreen().scale();
    const int pixelWidth = static_cast<int>(std::lround(bounds().width() * scale));
    const int pixelHeight = static_cast<int>(std::lround(bounds().height() * scale));
    QImage picture = _source.picture(pixelWidth, pixelHeight);
    ++_fetchCount;
    if (picture.isNull()) {
        return false;
    }
    const bool fitted = picture.width() == pixelWidth && picture.height() == pixelHeight;
    _image = std::make_shared<Image>(std::move(picture), fitted ? scale : 1.0);
    setNeedsDisplay();
    return true;
}

void CameraPreviewView::drawRect(const Rect& rect) {
    if (!_image) {
        return;
    }
    GraphicsContext& context = *GraphicsContext::current();
    QPainter& painter = context.painter();
    const QTransform transform = painter.transform();
    const QImage& pixels = _image->pixels();
    const QRectF target =
        transform.mapRect(QRectF(rect.minX(), rect.minY(), rect.width(), rect.height()));
    // A picture fetched at the view's pixel size is copied as it is, pixel for pixel: at 30
    // pictures a second a scaled draw would cost more than the conversion itself.
    if (transform.type() <= QTransform::TxScale && painter.opacity() >= 1.0 &&
        std::lround(target.width()) == pixels.width() &&
        std::lround(target.height()) == pixels.height()) {
        painter.save();
        painter.resetTransform();
        painter.drawImage(QPoint(static_cast<int>(std::lround(target.x())),
                                 static_cast<int>(std::lround(target.y()))),
                          pixels);
        painter.restore();
        return;
    }
    context.drawImage(*_image, contentRect(contentMode(), _image->size(), rect));
}

void CameraPreviewView::didMoveToWindow() {
    updateTimer();
}

void CameraPreviewView::updateTimer() {
    // Polls only while a live source is on screen.
    const bool wanted = window() != nullptr && _source.serial && _source.picture;
    if (wanted && !_pollTimer) {
        std::weak_ptr<Object> weakSelf = weak_from_this();
        _pollTimer = Timer::scheduled(kPollSeconds, true, [weakSelf](Timer& timer) {
            auto self = std::dynamic_pointer_cast<CameraPreviewView>(weakSelf.lock());
            if (!self) {
                timer.invalidate();
                return;
            }
            self->poll();
        });
    } else if (!wanted && _pollTimer) {
        _pollTimer->invalidate();
        _pollTimer.reset();
    }
}

} // namespace tx
