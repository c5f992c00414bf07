#include "platform/ui/CameraPreviewView.h"

#include "platform/ui/GraphicsContext.h"

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
    QImage picture = _source.picture();
    ++_fetchCount;
    if (picture.isNull()) {
        return false;
    }
    _image = std::make_shared<Image>(std::move(picture), 1.0);
    setNeedsDisplay();
    return true;
}

void CameraPreviewView::drawRect(const Rect& rect) {
    if (_image) {
        GraphicsContext::current()->drawImage(*_image,
                                              contentRect(contentMode(), _image->size(), rect));
    }
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
