#include "platform/ui/ImageView.h"

#include "platform/ui/GraphicsContext.h"

namespace tx {

ImageView::ImageView(const Rect& frame) : View(frame) {
    setUserInteractionEnabled(false);
}

ImageView::ImageView(ImagePtr image) : ImageView(image ? Rect({0, 0}, image->size()) : Rect()) {
    _image = std::move(image);
}

void ImageView::setImage(ImagePtr image) {
    _image = std::move(image);
    setNeedsDisplay();
}

void ImageView::setHighlightedImage(ImagePtr image) {
    _highlightedImage = std::move(image);
    setNeedsDisplay();
}

void ImageView::setHighlighted(bool highlighted) {
    _highlighted = highlighted;
    setNeedsDisplay();
}

void ImageView::drawRect(const Rect& rect) {
    const ImagePtr& image = _highlighted && _highlightedImage ? _highlightedImage : _image;
    if (!image)
        return;
    GraphicsContext::current()->drawImage(*image, contentRect(contentMode(), image->size(), rect));
}

} // namespace tx
