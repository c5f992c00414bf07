// Bitmap pictures: bundled artwork by name, pictures read from files, and the results of
// off-screen drawing. An image has a size in points and a scale (pixels per point).
#pragma once

#include "platform/foundation/Object.h"
#include "platform/ui/Geometry.h"

#include <QImage>
#include <memory>
#include <string>
#include <vector>

namespace tx {

class Image;
using ImagePtr = std::shared_ptr<Image>;

class Image : public Object {
public:
    Image(QImage pixels, double scale, double leftCapWidth = 0, double topCapHeight = 0);

    // Bundled artwork. A name may end in ".png" and carry "@2x"; all artwork is drawn at half its
    // pixel size ("cancel_btn_116_56" is 58 x 28 points). On the 568-point screen a
    // "<name>-568h@2x" picture is used where one exists. Null when there is no such picture.
    // Main thread only (the pictures are cached); the other constructors work on any thread.
    static ImagePtr imageNamed(const std::string& name);
    // The file behind a bundled name, or empty.
    static std::string pathForImageNamed(const std::string& name);
    // A picture file (PNG, JPEG) at scale 1; null when it cannot be read.
    static ImagePtr imageWithContentsOfFile(const std::string& path);
    static ImagePtr imageWithData(const std::vector<unsigned char>& data, double scale = 1);

    Size size() const { return {_pixels.width() / _scale, _pixels.height() / _scale}; }
    double scale() const { return _scale; }
    const QImage& pixels() const { return _pixels; }
    double leftCapWidth() const { return _leftCapWidth; }
    double topCapHeight() const { return _topCapHeight; }
    bool isStretchable() const { return _leftCapWidth > 0 || _topCapHeight > 0; }

    // A copy that stretches only its middle column (and row): the left cap and the part right of
    // the one stretched point keep their width; a cap of 0 scales that direction as a whole.
    ImagePtr stretchableImage(double leftCapWidth, double topCapHeight) const;
    // The part inside `rect` (in points).
    ImagePtr cropped(const Rect& rect) const;
    // Drawn into `size` points (scale to fill).
    ImagePtr scaledTo(Size size) const;
    // Turned by `radians` about its centre on a canvas of its own size (corners are cut off).
    ImagePtr rotated(double radians) const;
    // Keeps this picture where `mask` is opaque; the mask is laid at the origin at its own size.
    ImagePtr maskedWith(const Image& mask) const;

    std::vector<unsigned char> pngData() const;
    // `quality` from 0 (smallest) to 1 (best).
    std::vector<unsigned char> jpegData(double quality) const;
    bool writeToFile(const std::string& path) const;

    // Draws the picture into `rect` (stretching it per its caps) in the current graphics context.
    void drawInRect(const Rect& rect, double alpha = 1) const;
    void drawAtPoint(Point point, double alpha = 1) const;

private:
    QImage _pixels;
    double _scale = 1;
    double _leftCapWidth = 0;
    double _topCapHeight = 0;
};

} // namespace tx
