#include "platform/ui/Button.h"

#include "platform/ui/GraphicsContext.h"

namespace tx {

namespace {
constexpr double kDisabledAlpha = 0.45;
constexpr double kHighlightDarkening = 0.35;
} // namespace

Button::Button(const Rect& frame) : Control(frame) {}

template <typename T>
T Button::lookup(const std::map<unsigned, T>& values, unsigned state, const T& fallback) {
    auto it = values.find(state);
    if (it != values.end())
        return it->second;
    it = values.find(ControlStateNormal);
    return it != values.end() ? it->second : fallback;
}

void Button::setImage(ImagePtr image, unsigned state) {
    _images[state] = std::move(image);
    setNeedsDisplay();
}
void Button::setBackgroundImage(ImagePtr image, unsigned state) {
    _backgrounds[state] = std::move(image);
    setNeedsDisplay();
}
void Button::setTitle(const std::string& title, unsigned state) {
    _titles[state] = title;
    setNeedsDisplay();
}
void Button::setTitleColor(const Color& color, unsigned state) {
    _titleColors[state] = color;
    setNeedsDisplay();
}
ImagePtr Button::imageForState(unsigned state) const {
    return lookup<ImagePtr>(_images, state, nullptr);
}
ImagePtr Button::backgroundImageForState(unsigned state) const {
    return lookup<ImagePtr>(_backgrounds, state, nullptr);
}
std::string Button::titleForState(unsigned state) const {
    return lookup<std::string>(_titles, state, {});
}
Color Button::titleColorForState(unsigned state) const {
    return lookup<Color>(_titleColors, state, theme::text());
}

void Button::setTitleFont(const Font& font) {
    _titleFont = font;
    setNeedsDisplay();
}

void Button::setImageContentMode(ContentMode mode) {
    _imageContentMode = mode;
    setNeedsDisplay();
}

void Button::drawPicture(const Image& image, const Rect& rect, bool darken, double alpha) {
    GraphicsContext* context = GraphicsContext::current();
    if (!darken) {
        context->drawImage(image, rect, alpha);
        return;
    }
    ImageContext layer(rect.size, false, 2);
    layer.context().drawImage(image, Rect({0, 0}, rect.size));
    layer.context().painter().setCompositionMode(QPainter::CompositionMode_SourceAtop);
    layer.context().fillRect(Rect({0, 0}, rect.size),
                             Color::black().withAlpha(kHighlightDarkening));
    context->drawImage(*layer.image(), rect, alpha);
}

void Button::drawRect(const Rect& rect) {
    unsigned s = state();
    bool pressed = isHighlighted();
    bool darken = pressed && _adjustsWhenHighlighted;
    double alpha = !isEnabled() && _adjustsWhenDisabled ? kDisabledAlpha : 1.0;
    if (ImagePtr background = backgroundImageForState(s)) {
        bool own = _backgrounds.count(s) > 0;
        drawPicture(*background, rect, darken && !own, own ? 1.0 : alpha);
    }
    ImagePtr image = imageForState(s);
    std::string title = titleForState(s);
    double imageWidth = 0;
    Rect imageRect;
    if (image) {
        Size size = image->size();
        ContentMode mode = _imageContentMode;
        if (mode == ContentMode::Center &&
            (size.width > rect.width() || size.height > rect.height()))
            mode = ContentMode::ScaleAspectFit;
        imageRect = contentRect(mode, size, rect);
        imageWidth = title.empty() ? 0 : imageRect.width();
        if (imageWidth > 0)
            imageRect.origin.x -= _titleFont.sizeOfText(title).width / 2;
        bool own = _images.count(s) > 0;
        drawPicture(*image, imageRect, darken && !own, own ? 1.0 : alpha);
    }
    if (!title.empty()) {
        Rect titleRect = rect;
        if (imageWidth > 0)
            titleRect =
                Rect(imageRect.maxX(), rect.minY(), rect.maxX() - imageRect.maxX(), rect.height());
        Color color = titleColorForState(s);
        if (pressed && !_titleColors.count(s))
            color = color.withAlpha(color.alpha * 0.6);
        if (!isEnabled() && !_titleColors.count(s))
            color = color.withAlpha(color.alpha * kDisabledAlpha);
        GraphicsContext::current()->drawText(title, titleRect, _titleFont, color,
                                             imageWidth > 0 ? TextAlignment::Left
                                                            : TextAlignment::Center);
    }
}

} // namespace tx
