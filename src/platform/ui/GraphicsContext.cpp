#include "platform/ui/GraphicsContext.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <vector>

namespace tx {

namespace {

thread_local GraphicsContext* gCurrent = nullptr;

QColor qcolor(const Color& c) {
    return QColor::fromRgbF(c.red, c.green, c.blue, c.alpha);
}
QRectF qrect(const Rect& r) {
    return QRectF(r.minX(), r.minY(), r.width(), r.height());
}

// Splits one axis of a stretchable image into (source, destination) spans in pixels and points.
struct Span {
    double srcStart, srcLength, dstStart, dstLength;
};

std::vector<Span> spans(double pixelLength, double scale, double cap, double dstStart,
                        double dstLength) {
    if (cap <= 0 || cap * scale + scale >= pixelLength)
        return {{0, pixelLength, dstStart, dstLength}};
    double capPixels = std::round(cap * scale);
    double endPixels = pixelLength - capPixels - scale;
    double capPoints = capPixels / scale;
    double endPoints = endPixels / scale;
    double middle = std::max(0.0, dstLength - capPoints - endPoints);
    if (dstLength < capPoints + endPoints) { // narrower than both caps: shrink the caps evenly
        double f = dstLength / (capPoints + endPoints);
        return {{0, capPixels, dstStart, capPoints * f},
                {capPixels + scale, endPixels, dstStart + capPoints * f, endPoints * f}};
    }
    return {{0, capPixels, dstStart, capPoints},
            {capPixels, scale, dstStart + capPoints, middle},
            {capPixels + scale, endPixels, dstStart + capPoints + middle, endPoints}};
}

} // namespace

GraphicsContext::GraphicsContext(QPainter& painter) : _painter(painter), _previous(gCurrent) {
    gCurrent = this;
    _painter.setRenderHint(QPainter::Antialiasing);
    _painter.setRenderHint(QPainter::SmoothPixmapTransform);
    _painter.setRenderHint(QPainter::TextAntialiasing);
}

GraphicsContext::~GraphicsContext() {
    gCurrent = _previous;
}

GraphicsContext* GraphicsContext::current() {
    return gCurrent;
}

void GraphicsContext::saveState() {
    _painter.save();
}
void GraphicsContext::restoreState() {
    _painter.restore();
}
void GraphicsContext::clipToRect(const Rect& rect) {
    _painter.setClipRect(qrect(rect), Qt::IntersectClip);
}
void GraphicsContext::translate(double dx, double dy) {
    _painter.translate(dx, dy);
}
void GraphicsContext::rotate(double radians) {
    _painter.rotate(radians * 180.0 / M_PI);
}
void GraphicsContext::scale(double sx, double sy) {
    _painter.scale(sx, sy);
}
void GraphicsContext::concatTransform(const AffineTransform& t) {
    _painter.setTransform(QTransform(t.a, t.b, t.c, t.d, t.tx, t.ty), true);
}
void GraphicsContext::setAlpha(double alpha) {
    _painter.setOpacity(alpha);
}

void GraphicsContext::fillRect(const Rect& rect, const Color& color) {
    _painter.fillRect(qrect(rect), qcolor(color));
}

void GraphicsContext::fillRoundedRect(const Rect& rect, double radius, const Color& color) {
    QPainterPath path;
    path.addRoundedRect(qrect(rect), radius, radius);
    _painter.fillPath(path, qcolor(color));
}

void GraphicsContext::fillEllipse(const Rect& rect, const Color& color) {
    QPainterPath path;
    path.addEllipse(qrect(rect));
    _painter.fillPath(path, qcolor(color));
}

void GraphicsContext::strokeRect(const Rect& rect, const Color& color, double lineWidth) {
    _painter.save();
    _painter.setPen(QPen(qcolor(color), lineWidth));
    _painter.setBrush(Qt::NoBrush);
    _painter.drawRect(qrect(rect));
    _painter.restore();
}

void GraphicsContext::strokeRoundedRect(const Rect& rect, double radius, const Color& color,
                                        double lineWidth) {
    _painter.save();
    _painter.setRenderHint(QPainter::Antialiasing);
    _painter.setPen(QPen(qcolor(color), lineWidth));
    _painter.setBrush(Qt::NoBrush);
    _painter.drawRoundedRect(qrect(rect), radius, radius);
    _painter.restore();
}

void GraphicsContext::strokeLine(Point from, Point to, const Color& color, double lineWidth) {
    _painter.save();
    _painter.setPen(QPen(qcolor(color), lineWidth));
    _painter.drawLine(QPointF(from.x, from.y), QPointF(to.x, to.y));
    _painter.restore();
}

void GraphicsContext::drawImage(const Image& image, const Rect& rect, double alpha) {
    const QImage& pixels = image.pixels();
    double opacity = _painter.opacity();
    _painter.setOpacity(opacity * alpha);
    if (!image.isStretchable()) {
        _painter.drawImage(qrect(rect), pixels);
    } else {
        double s = image.scale();
        for (const Span& h :
             spans(pixels.width(), s, image.leftCapWidth(), rect.minX(), rect.width()))
            for (const Span& v :
                 spans(pixels.height(), s, image.topCapHeight(), rect.minY(), rect.height()))
                _painter.drawImage(QRectF(h.dstStart, v.dstStart, h.dstLength, v.dstLength), pixels,
                                   QRectF(h.srcStart, v.srcStart, h.srcLength, v.srcLength));
    }
    _painter.setOpacity(opacity);
}

void GraphicsContext::drawImagePart(const Image& image, const Rect& source, const Rect& rect,
                                    double alpha) {
    double s = image.scale();
    double opacity = _painter.opacity();
    _painter.setOpacity(opacity * alpha);
    _painter.drawImage(
        qrect(rect), image.pixels(),
        QRectF(source.minX() * s, source.minY() * s, source.width() * s, source.height() * s));
    _painter.setOpacity(opacity);
}

void GraphicsContext::drawText(const std::string& text, const Rect& rect, const Font& font,
                               const Color& color, TextAlignment alignment, LineBreakMode lineBreak,
                               bool verticallyCentred, int maxLines) {
    if (text.empty() || color.isClear())
        return;
    QFont qf = font.qfont();
    QFontMetricsF metrics(qf);
    QString string = QString::fromStdString(text);
    Qt::Alignment h = alignment == TextAlignment::Left     ? Qt::AlignLeft
                      : alignment == TextAlignment::Center ? Qt::AlignHCenter
                                                           : Qt::AlignRight;
    _painter.save();
    _painter.setFont(qf);
    _painter.setPen(qcolor(color));
    if (lineBreak == LineBreakMode::WordWrap && maxLines > 0) {
        // Whole lines only: as many as asked for and as fit the height.
        const double spacing = metrics.lineSpacing();
        const int fit = std::max(1, static_cast<int>(std::floor(rect.height() / spacing + 0.01)));
        const int wanted = std::min(maxLines, fit);
        QTextLayout layout(string, qf);
        QTextOption option;
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        std::vector<QString> lines;
        int lastStart = 0;
        bool more = false;
        layout.beginLayout();
        for (;;) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) {
                break;
            }
            line.setLineWidth(rect.width());
            if (static_cast<int>(lines.size()) == wanted) {
                more = true;
                break;
            }
            lastStart = line.textStart();
            lines.push_back(string.mid(line.textStart(), line.textLength()).trimmed());
        }
        layout.endLayout();
        if (more && !lines.empty()) {
            lines.back() = metrics.elidedText(string.mid(lastStart).simplified(), Qt::ElideRight,
                                              rect.width() + 0.5);
        }
        const double height = spacing * static_cast<double>(lines.size());
        double y = rect.origin.y;
        if (verticallyCentred && height < rect.height()) {
            y += (rect.height() - height) / 2;
        }
        for (const QString& line : lines) {
            _painter.drawText(QRectF(rect.origin.x, y, rect.width(), spacing),
                              int(h) | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, line);
            y += spacing;
        }
    } else if (lineBreak == LineBreakMode::WordWrap) {
        QRectF bounds = metrics.boundingRect(qrect(rect), int(h) | Qt::TextWordWrap, string);
        QRectF target = qrect(rect);
        if (verticallyCentred && bounds.height() < target.height())
            target = QRectF(target.x(), target.y() + (target.height() - bounds.height()) / 2,
                            target.width(), bounds.height());
        _painter.setClipRect(qrect(rect), Qt::IntersectClip);
        _painter.drawText(target, int(h) | Qt::AlignTop | Qt::TextWordWrap, string);
    } else {
        if (lineBreak == LineBreakMode::TruncateTail)
            string = metrics.elidedText(string, Qt::ElideRight, rect.width() + 0.5);
        Qt::Alignment v = verticallyCentred ? Qt::AlignVCenter : Qt::AlignTop;
        _painter.drawText(qrect(rect), int(h) | int(v) | Qt::TextSingleLine | Qt::TextDontClip,
                          string);
    }
    _painter.restore();
}

ImageContext::ImageContext(Size size, bool opaque, double scale) : _scale(scale > 0 ? scale : 1) {
    int w = std::max(1, static_cast<int>(std::lround(size.width * _scale)));
    int h = std::max(1, static_cast<int>(std::lround(size.height * _scale)));
    _image = QImage(w, h, QImage::Format_ARGB32_Premultiplied);
    _image.fill(opaque ? Qt::black : Qt::transparent);
    _painter = std::make_unique<QPainter>(&_image);
    _painter->scale(_scale, _scale);
    _context = std::make_unique<GraphicsContext>(*_painter);
}

ImageContext::~ImageContext() {
    _context.reset();
    _painter->end();
}

ImagePtr ImageContext::image() {
    _painter->end();
    auto image = std::make_shared<Image>(_image, _scale);
    _painter->begin(&_image);
    _painter->scale(_scale, _scale);
    return image;
}

} // namespace tx
