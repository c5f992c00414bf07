#include "Gallery.h"

#include "platform/ui/GraphicsContext.h"

#include <algorithm>
#include <QLinearGradient>
#include <QRadialGradient>

namespace tx::gallery {

std::vector<GalleryPage>& galleryPages() {
    static auto* pages = new std::vector<GalleryPage>();
    return *pages;
}

std::shared_ptr<ImageView> addPicture(View& parent, const std::string& name, Point origin) {
    auto view = std::make_shared<ImageView>(Image::imageNamed(name));
    view->setFrame(Rect(origin, view->frame().size));
    parent.addSubview(view);
    return view;
}

std::shared_ptr<ImageView> addPicture(View& parent, const std::string& name, const Rect& frame) {
    auto view = std::make_shared<ImageView>(frame);
    view->setImage(Image::imageNamed(name));
    parent.addSubview(view);
    return view;
}

std::shared_ptr<Button> addButton(View& parent, const std::string& normal,
                                  const std::string& pressed, const Rect& frame) {
    auto button = std::make_shared<Button>(frame);
    button->setImage(Image::imageNamed(normal), ControlStateNormal);
    if (!pressed.empty())
        button->setImage(Image::imageNamed(pressed), ControlStateHighlighted);
    // The tour's sample buttons are named after their picture ("record_btn_140_140": "record").
    std::string name = normal.substr(0, normal.find("_btn"));
    std::replace(name.begin(), name.end(), '_', ' ');
    button->setAccessibilityLabel(name);
    parent.addSubview(button);
    return button;
}

std::shared_ptr<Label> addLabel(View& parent, const std::string& text, const Rect& frame,
                                const Font& font, const Color& color, TextAlignment alignment) {
    auto label = std::make_shared<Label>(frame);
    label->setText(text);
    label->setFont(font);
    label->setTextColor(color);
    label->setTextAlignment(alignment);
    parent.addSubview(label);
    return label;
}

ImagePtr cameraPicture(Size size, double hue) {
    ImageContext context(size, true, 2);
    QPainter& p = context.context().painter();
    double w = size.width;
    double h = size.height;
    QLinearGradient sky(0, 0, 0, h * 0.62);
    sky.setColorAt(0, QColor::fromHsvF(hue, 0.55, 0.35));
    sky.setColorAt(1, QColor::fromHsvF(std::fmod(hue + 0.08, 1.0), 0.7, 0.95));
    p.fillRect(QRectF(0, 0, w, h * 0.62), sky);
    QRadialGradient sun(QPointF(w * 0.62, h * 0.56), w * 0.22);
    sun.setColorAt(0, QColor(255, 240, 200));
    sun.setColorAt(0.35, QColor(255, 200, 120, 200));
    sun.setColorAt(1, QColor(255, 160, 80, 0));
    p.fillRect(QRectF(0, 0, w, h * 0.62), sun);
    QLinearGradient ground(0, h * 0.62, 0, h);
    ground.setColorAt(0, QColor::fromHsvF(std::fmod(hue + 0.55, 1.0), 0.4, 0.3));
    ground.setColorAt(1, QColor(10, 12, 16));
    p.fillRect(QRectF(0, h * 0.62, w, h * 0.38), ground);
    p.setPen(QPen(QColor(0, 0, 0, 120), 2));
    for (int i = 0; i < 7; i++) { // a row of posts along a path
        double x = w * (0.08 + i * 0.14);
        p.drawLine(QPointF(x, h * (0.6 + i * 0.01)), QPointF(x, h * (0.72 + i * 0.02)));
    }
    return context.image();
}

} // namespace tx::gallery
