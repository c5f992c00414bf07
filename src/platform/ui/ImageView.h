// Shows one picture per its content mode (scale to fill by default; 7 pins it to the left).
#pragma once

#include "platform/ui/Image.h"
#include "platform/ui/View.h"

namespace tx {

class ImageView : public View {
public:
    explicit ImageView(const Rect& frame = {});
    // A view the size of the picture.
    explicit ImageView(ImagePtr image);

    ImagePtr image() const { return _image; }
    void setImage(ImagePtr image);
    ImagePtr highlightedImage() const { return _highlightedImage; }
    void setHighlightedImage(ImagePtr image);
    bool isHighlighted() const { return _highlighted; }
    void setHighlighted(bool highlighted);

    void drawRect(const Rect& rect) override;

private:
    ImagePtr _image;
    ImagePtr _highlightedImage;
    bool _highlighted = false;
};

} // namespace tx
