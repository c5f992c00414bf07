#include "platform/ui/Image.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/Translation.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Screen.h"

#include <QBuffer>
#include <QPainter>
#include <QString>
#include <cmath>
#include <map>

namespace tx {

namespace {

constexpr double kArtworkScale = 2.0;
constexpr double kTallScreenPoints = 568;

std::vector<unsigned char> encode(const QImage& image, const char* format, int quality) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, quality);
    return {bytes.begin(), bytes.end()};
}

bool endsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

} // namespace

Image::Image(QImage pixels, double scale, double leftCapWidth, double topCapHeight)
    : _pixels(std::move(pixels)), _scale(scale > 0 ? scale : 1), _leftCapWidth(leftCapWidth),
      _topCapHeight(topCapHeight) {
    if (_pixels.format() != QImage::Format_ARGB32_Premultiplied)
        _pixels = _pixels.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

std::string Image::pathForImageNamed(const std::string& name) {
    std::string base = name;
    if (endsWith(base, ".png"))
        base.resize(base.size() - 4);
    // A picture with words in it is drawn again for each translated language, in l10n/LANG.
    auto find = [](const std::string& picture) {
        for (const std::string& language : preferredLanguages()) {
            if (std::string path = resourcePath("l10n/" + language + "/" + picture, "png");
                !path.empty())
                return path;
        }
        return resourcePath(picture, "png");
    };
    std::string path;
    // A picture drawn for the tall screen ("Default-568h@2x") stands in for its name there.
    if (Screen::mainScreen().bounds().height() >= kTallScreenPoints && !endsWith(base, "@2x"))
        path = find(base + "-568h@2x");
    if (path.empty())
        path = find(base);
    if (path.empty() && !endsWith(base, "@2x"))
        path = find(base + "@2x");
    return path;
}

ImagePtr Image::imageNamed(const std::string& name) {
    // Bundled pictures never change while the application runs, so each is read once.
    static auto* cache = new std::map<std::string, ImagePtr>();
    std::string key =
        name + (Screen::mainScreen().bounds().height() >= kTallScreenPoints ? "#tall" : "");
    for (const std::string& language : preferredLanguages())
        key += "#" + language;
    auto found = cache->find(key);
    if (found != cache->end())
        return found->second;
    ImagePtr image;
    std::string path = pathForImageNamed(name);
    if (!path.empty()) {
        QImage pixels(QString::fromStdString(path));
        if (!pixels.isNull())
            image = std::make_shared<Image>(std::move(pixels), kArtworkScale);
    }
    if (image)
        (*cache)[key] = image;
    return image;
}

ImagePtr Image::imageWithContentsOfFile(const std::string& path) {
    QImage pixels(QString::fromStdString(path));
    if (pixels.isNull())
        return nullptr;
    return std::make_shared<Image>(std::move(pixels), 1.0);
}

ImagePtr Image::imageWithData(const std::vector<unsigned char>& data, double scale) {
    QImage pixels;
    if (!pixels.loadFromData(data.data(), static_cast<int>(data.size())))
        return nullptr;
    return std::make_shared<Image>(std::move(pixels), scale);
}

ImagePtr Image::stretchableImage(double leftCapWidth, double topCapHeight) const {
    return std::make_shared<Image>(_pixels, _scale, leftCapWidth, topCapHeight);
}

ImagePtr Image::cropped(const Rect& rect) const {
    QRect pixelsRect(static_cast<int>(std::lround(rect.minX() * _scale)),
                     static_cast<int>(std::lround(rect.minY() * _scale)),
                     static_cast<int>(std::lround(rect.width() * _scale)),
                     static_cast<int>(std::lround(rect.height() * _scale)));
    return std::make_shared<Image>(_pixels.copy(pixelsRect), _scale);
}

ImagePtr Image::scaledTo(Size size) const {
    ImageContext context(size, false, _scale);
    context.context().drawImage(*this, Rect({0, 0}, size));
    return context.image();
}

ImagePtr Image::rotated(double radians) const {
    Size s = size();
    ImageContext context(s, false, _scale);
    GraphicsContext& g = context.context();
    g.translate(s.width / 2, s.height / 2);
    g.rotate(radians);
    g.drawImage(*this, Rect(-s.width / 2, -s.height / 2, s.width, s.height));
    return context.image();
}

ImagePtr Image::maskedWith(const Image& mask) const {
    QImage result = _pixels.copy();
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationIn);
    // Outside the mask nothing shows.
    QImage full(result.size(), QImage::Format_ARGB32_Premultiplied);
    full.fill(Qt::transparent);
    {
        QPainter maskPainter(&full);
        maskPainter.setRenderHint(QPainter::SmoothPixmapTransform);
        Size ms = mask.size();
        maskPainter.drawImage(QRectF(0, 0, ms.width * _scale, ms.height * _scale), mask.pixels());
    }
    painter.drawImage(0, 0, full);
    painter.end();
    return std::make_shared<Image>(std::move(result), _scale);
}

std::vector<unsigned char> Image::pngData() const {
    return encode(_pixels, "PNG", -1);
}

std::vector<unsigned char> Image::jpegData(double quality) const {
    QImage opaque = _pixels.convertToFormat(QImage::Format_RGB32);
    return encode(opaque, "JPEG",
                  static_cast<int>(std::lround(std::clamp(quality, 0.0, 1.0) * 100)));
}

bool Image::writeToFile(const std::string& path) const {
    bool jpeg = endsWith(path, ".jpg") || endsWith(path, ".jpeg");
    QImage out = jpeg ? _pixels.convertToFormat(QImage::Format_RGB32) : _pixels;
    return out.save(QString::fromStdString(path), jpeg ? "JPEG" : "PNG", jpeg ? 90 : -1);
}

void Image::drawInRect(const Rect& rect, double alpha) const {
    if (GraphicsContext* context = GraphicsContext::current())
        context->drawImage(*this, rect, alpha);
}

void Image::drawAtPoint(Point point, double alpha) const {
    drawInRect(Rect(point, size()), alpha);
}

} // namespace tx
