// Drawing into a view or an off-screen image: the graphics context wraps a QPainter whose
// coordinates are points. `current()` is the context that drawRect and image drawing use.
#pragma once

#include "platform/ui/Color.h"
#include "platform/ui/Font.h"
#include "platform/ui/Geometry.h"
#include "platform/ui/Image.h"

#include <QImage>
#include <QPainter>
#include <memory>
#include <string>

namespace tx {

enum class TextAlignment { Left, Center, Right };
enum class LineBreakMode { WordWrap, TruncateTail, Clip };

class GraphicsContext {
public:
    explicit GraphicsContext(QPainter& painter);
    GraphicsContext(const GraphicsContext&) = delete;
    GraphicsContext& operator=(const GraphicsContext&) = delete;
    ~GraphicsContext();

    // The innermost context being drawn into, or null.
    static GraphicsContext* current();

    QPainter& painter() { return _painter; }

    void saveState();
    void restoreState();
    void clipToRect(const Rect& rect);
    void translate(double dx, double dy);
    void rotate(double radians);
    void scale(double sx, double sy);
    void concatTransform(const AffineTransform& t);
    void setAlpha(double alpha);

    void fillRect(const Rect& rect, const Color& color);
    void fillRoundedRect(const Rect& rect, double radius, const Color& color);
    void fillEllipse(const Rect& rect, const Color& color);
    void strokeRect(const Rect& rect, const Color& color, double lineWidth);
    void strokeRoundedRect(const Rect& rect, double radius, const Color& color, double lineWidth);
    void strokeLine(Point from, Point to, const Color& color, double lineWidth);

    // Draws `image` into `rect`, honouring its stretch caps.
    void drawImage(const Image& image, const Rect& rect, double alpha = 1);
    // Draws the part `source` (in the image's points) of `image` into `rect`.
    void drawImagePart(const Image& image, const Rect& source, const Rect& rect, double alpha = 1);
    // Draws text inside `rect`, vertically centred when it fits on the lines it takes. Wrapped
    // text with `maxLines` above 0 shows at most that many whole lines, and never a line cut by
    // the rectangle's bottom: what does not fit ends the last line shown with "…".
    void drawText(const std::string& text, const Rect& rect, const Font& font, const Color& color,
                  TextAlignment alignment = TextAlignment::Left,
                  LineBreakMode lineBreak = LineBreakMode::TruncateTail,
                  bool verticallyCentred = true, int maxLines = 0);

private:
    QPainter& _painter;
    GraphicsContext* _previous = nullptr;
};

// An off-screen bitmap of `size` points at `scale` that becomes the current context while it lives.
class ImageContext {
public:
    ImageContext(Size size, bool opaque, double scale);
    ~ImageContext();
    GraphicsContext& context() { return *_context; }
    ImagePtr image();

private:
    QImage _image;
    double _scale;
    std::unique_ptr<QPainter> _painter;
    std::unique_ptr<GraphicsContext> _context;
};

} // namespace tx
