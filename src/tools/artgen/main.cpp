// Draws every picture Taluvex bundles, at the pixel size its name carries, in one look: a dark
// camera theme with a single coral accent. Usage: taluvex-artgen <output folder>
#include "platform/foundation/Translation.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

const QColor kBackgroundTop(0x1c, 0x1f, 0x25);
const QColor kBackgroundBottom(0x0c, 0x0d, 0x10);
const QColor kPanel(0x23, 0x26, 0x2d);
const QColor kPanelLight(0x30, 0x34, 0x3d);
const QColor kStroke(0x41, 0x46, 0x51);
const QColor kAccent(0xff, 0x5a, 0x36);
const QColor kAccentDark(0xc4, 0x3c, 0x1d);
const QColor kText(0xf2, 0xf2, 0xf2);
const QColor kSecondary(0x9a, 0xa0, 0xa9);

QString gOutput;

// The words drawn into a picture, in the language the artwork is drawn for (LANGUAGE).
QString words(const std::string& text) {
    return QString::fromStdString(text);
}
int gCount = 0;

QFont font(double pixels, bool bold = true) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    f.setBold(bold);
    return f;
}

using Painter = std::function<void(QPainter&, double w, double h)>;

void save(const std::string& name, int w, int h, const Painter& paint) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    paint(p, w, h);
    p.end();
    std::string file = name;
    if (file.size() < 4 || file.compare(file.size() - 4, 4, ".png") != 0)
        file += ".png";
    if (!image.save(gOutput + "/" + QString::fromStdString(file))) {
        std::fprintf(stderr, "taluvex-artgen: cannot write %s\n", file.c_str());
        std::exit(1);
    }
    gCount++;
}

// Paints in the coordinates of the size the picture is shown at (in pixels at scale 2), for
// pictures that the screens draw squeezed into a frame of another shape.
Painter displayedAt(double shownW, double shownH, const Painter& paint) {
    return [=](QPainter& p, double w, double h) {
        p.scale(w / shownW, h / shownH);
        paint(p, shownW, shownH);
    };
}

void roundedFill(QPainter& p, const QRectF& r, double radius, const QBrush& brush) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    p.fillPath(path, brush);
}

void roundedStroke(QPainter& p, const QRectF& r, double radius, const QColor& color, double width) {
    p.save();
    p.setPen(QPen(color, width));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(r, radius, radius);
    p.restore();
}

void text(QPainter& p, const QRectF& r, const QString& s, double pixels, const QColor& color,
          int flags = Qt::AlignCenter, bool bold = true) {
    p.save();
    p.setFont(font(pixels, bold));
    p.setPen(color);
    p.drawText(r, flags, s);
    p.restore();
}

// ---------------------------------------------------------------------------------------------
// Icons, drawn in a square `r`.

enum class Icon {
    None,
    Record,
    Stop,
    Play,
    Camera,
    Film,
    Import,
    Swap,
    Check,
    Back,
    Minus,
    Plus,
    Mail,
    Music,
    Mute,
    Video,
    Share,
    Trophy,
    Facebook,
    Twitter,
    Close,
    Down,
    Up,
    Forward,
    Save,
    Star,
    Clock,
    Rewind,
    Sliders
};

void icon(QPainter& p, Icon kind, const QRectF& r, const QColor& color) {
    p.save();
    double s = std::min(r.width(), r.height());
    QPointF c = r.center();
    double lw = std::max(1.5, s * 0.09);
    QPen pen(color, lw, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    auto box = [&](double fx, double fy, double fw, double fh) {
        return QRectF(c.x() + fx * s, c.y() + fy * s, fw * s, fh * s);
    };
    auto pt = [&](double fx, double fy) { return QPointF(c.x() + fx * s, c.y() + fy * s); };
    switch (kind) {
    case Icon::None:
        break;
    case Icon::Record:
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawEllipse(box(-0.32, -0.32, 0.64, 0.64));
        break;
    case Icon::Stop:
        p.setPen(Qt::NoPen);
        p.setBrush(color);
        p.drawRoundedRect(box(-0.24, -0.24, 0.48, 0.48), s * 0.06, s * 0.06);
        break;
    case Icon::Play: {
        QPainterPath path;
        path.moveTo(pt(-0.2, -0.3));
        path.lineTo(pt(0.32, 0));
        path.lineTo(pt(-0.2, 0.3));
        path.closeSubpath();
        p.setPen(QPen(color, lw * 0.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(color);
        p.drawPath(path);
        break;
    }
    case Icon::Camera:
        p.drawRoundedRect(box(-0.4, -0.22, 0.8, 0.56), s * 0.08, s * 0.08);
        p.drawEllipse(box(-0.15, -0.09, 0.3, 0.3));
        p.drawLine(pt(-0.14, -0.22), pt(-0.08, -0.32));
        p.drawLine(pt(-0.08, -0.32), pt(0.1, -0.32));
        p.drawLine(pt(0.1, -0.32), pt(0.16, -0.22));
        break;
    case Icon::Film:
        p.drawRoundedRect(box(-0.34, -0.4, 0.68, 0.8), s * 0.05, s * 0.05);
        p.drawLine(pt(-0.18, -0.4), pt(-0.18, 0.4));
        p.drawLine(pt(0.18, -0.4), pt(0.18, 0.4));
        for (double y : {-0.25, 0.0, 0.25}) {
            p.drawPoint(pt(-0.26, y));
            p.drawPoint(pt(0.26, y));
        }
        break;
    case Icon::Import:
        p.drawLine(pt(0, -0.36), pt(0, 0.12));
        p.drawLine(pt(-0.16, -0.04), pt(0, 0.12));
        p.drawLine(pt(0.16, -0.04), pt(0, 0.12));
        p.drawPolyline(
            QPolygonF({pt(-0.36, 0.02), pt(-0.36, 0.34), pt(0.36, 0.34), pt(0.36, 0.02)}));
        break;
    case Icon::Swap:
        p.drawArc(box(-0.32, -0.32, 0.64, 0.64), 30 * 16, 150 * 16);
        p.drawArc(box(-0.32, -0.32, 0.64, 0.64), 210 * 16, 150 * 16);
        p.drawLine(pt(0.28, -0.16), pt(0.3, -0.02));
        p.drawLine(pt(0.28, -0.16), pt(0.14, -0.12));
        p.drawLine(pt(-0.28, 0.16), pt(-0.3, 0.02));
        p.drawLine(pt(-0.28, 0.16), pt(-0.14, 0.12));
        break;
    case Icon::Check:
        p.drawPolyline(QPolygonF({pt(-0.3, 0.0), pt(-0.08, 0.22), pt(0.32, -0.22)}));
        break;
    case Icon::Back:
        p.drawPolyline(QPolygonF({pt(0.12, -0.3), pt(-0.16, 0), pt(0.12, 0.3)}));
        break;
    case Icon::Forward:
        p.drawPolyline(QPolygonF({pt(-0.12, -0.3), pt(0.16, 0), pt(-0.12, 0.3)}));
        break;
    case Icon::Down:
        p.drawPolyline(QPolygonF({pt(-0.28, -0.12), pt(0, 0.16), pt(0.28, -0.12)}));
        break;
    case Icon::Up:
        p.drawPolyline(QPolygonF({pt(-0.28, 0.12), pt(0, -0.16), pt(0.28, 0.12)}));
        break;
    case Icon::Minus:
        p.drawLine(pt(-0.28, 0), pt(0.28, 0));
        break;
    case Icon::Plus:
        p.drawLine(pt(-0.28, 0), pt(0.28, 0));
        p.drawLine(pt(0, -0.28), pt(0, 0.28));
        break;
    case Icon::Close:
        p.drawLine(pt(-0.24, -0.24), pt(0.24, 0.24));
        p.drawLine(pt(0.24, -0.24), pt(-0.24, 0.24));
        break;
    case Icon::Mail:
        p.drawRoundedRect(box(-0.38, -0.26, 0.76, 0.52), s * 0.05, s * 0.05);
        p.drawPolyline(QPolygonF({pt(-0.36, -0.22), pt(0, 0.06), pt(0.36, -0.22)}));
        break;
    case Icon::Music:
        p.drawLine(pt(-0.1, 0.22), pt(-0.1, -0.3));
        p.drawLine(pt(-0.1, -0.3), pt(0.26, -0.38));
        p.drawLine(pt(0.26, -0.38), pt(0.26, 0.14));
        p.setBrush(color);
        p.drawEllipse(box(-0.3, 0.12, 0.2, 0.17));
        p.drawEllipse(box(0.06, 0.04, 0.2, 0.17));
        break;
    case Icon::Mute: {
        QPainterPath path;
        path.moveTo(pt(-0.36, -0.1));
        path.lineTo(pt(-0.2, -0.1));
        path.lineTo(pt(0.0, -0.3));
        path.lineTo(pt(0.0, 0.3));
        path.lineTo(pt(-0.2, 0.1));
        path.lineTo(pt(-0.36, 0.1));
        path.closeSubpath();
        p.drawPath(path);
        p.drawLine(pt(0.14, -0.12), pt(0.36, 0.12));
        p.drawLine(pt(0.36, -0.12), pt(0.14, 0.12));
        break;
    }
    case Icon::Video:
        p.drawRoundedRect(box(-0.4, -0.22, 0.52, 0.44), s * 0.06, s * 0.06);
        p.drawPolygon(QPolygonF({pt(0.16, -0.04), pt(0.4, -0.18), pt(0.4, 0.18), pt(0.16, 0.04)}));
        break;
    case Icon::Share:
        p.drawPolyline(QPolygonF({pt(-0.14, -0.1), pt(-0.3, -0.1), pt(-0.3, 0.36), pt(0.3, 0.36),
                                  pt(0.3, -0.1), pt(0.14, -0.1)}));
        p.drawLine(pt(0, -0.38), pt(0, 0.14));
        p.drawLine(pt(-0.14, -0.24), pt(0, -0.38));
        p.drawLine(pt(0.14, -0.24), pt(0, -0.38));
        break;
    case Icon::Save:
        p.drawRoundedRect(box(-0.34, -0.34, 0.68, 0.68), s * 0.08, s * 0.08);
        p.drawLine(pt(0, -0.2), pt(0, 0.14));
        p.drawLine(pt(-0.13, 0.02), pt(0, 0.15));
        p.drawLine(pt(0.13, 0.02), pt(0, 0.15));
        break;
    case Icon::Trophy:
        p.drawPolyline(QPolygonF({pt(-0.22, -0.32), pt(0.22, -0.32), pt(0.18, 0.0), pt(0, 0.08),
                                  pt(-0.18, 0.0), pt(-0.22, -0.32)}));
        p.drawArc(box(-0.38, -0.3, 0.2, 0.22), 90 * 16, 180 * 16);
        p.drawArc(box(0.18, -0.3, 0.2, 0.22), 270 * 16, 180 * 16);
        p.drawLine(pt(0, 0.08), pt(0, 0.24));
        p.drawLine(pt(-0.16, 0.3), pt(0.16, 0.3));
        break;
    case Icon::Facebook:
        text(p, r, QStringLiteral("f"), s * 0.78, color);
        break;
    case Icon::Twitter:
        text(p, r, QStringLiteral("t"), s * 0.74, color);
        break;
    case Icon::Star: {
        QPainterPath path;
        for (int i = 0; i < 10; i++) {
            double a = -M_PI / 2 + i * M_PI / 5;
            double rad = (i % 2 ? 0.16 : 0.38) * s;
            QPointF q(c.x() + rad * std::cos(a), c.y() + rad * std::sin(a));
            if (i == 0)
                path.moveTo(q);
            else
                path.lineTo(q);
        }
        path.closeSubpath();
        p.setBrush(color);
        p.drawPath(path);
        break;
    }
    case Icon::Clock:
        p.drawEllipse(box(-0.36, -0.36, 0.72, 0.72));
        p.drawLine(pt(0, 0), pt(0, -0.22));
        p.drawLine(pt(0, 0), pt(0.16, 0.08));
        break;
    case Icon::Rewind: {
        p.setBrush(color);
        p.setPen(QPen(color, lw * 0.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolygon(QPolygonF({pt(0.02, -0.26), pt(-0.34, 0), pt(0.02, 0.26)}));
        p.drawPolygon(QPolygonF({pt(0.36, -0.26), pt(0.0, 0), pt(0.36, 0.26)}));
        break;
    }
    case Icon::Sliders:
        for (double y : {-0.22, 0.0, 0.22})
            p.drawLine(pt(-0.32, y), pt(0.32, y));
        p.setBrush(color);
        p.drawEllipse(box(0.06, -0.3, 0.14, 0.16));
        p.drawEllipse(box(-0.22, -0.08, 0.14, 0.16));
        p.drawEllipse(box(0.1, 0.14, 0.14, 0.16));
        break;
    }
    p.restore();
}

// ---------------------------------------------------------------------------------------------
// Building blocks

void backdrop(QPainter& p, double w, double h) {
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, kBackgroundTop);
    g.setColorAt(1, kBackgroundBottom);
    p.fillRect(QRectF(0, 0, w, h), g);
    // A faint film strip along both edges.
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 10));
    double hole = w * 0.018;
    for (double y = hole; y < h; y += hole * 3.2) {
        p.drawRoundedRect(QRectF(hole * 0.8, y, hole * 1.3, hole * 1.7), hole * 0.3, hole * 0.3);
        p.drawRoundedRect(QRectF(w - hole * 2.1, y, hole * 1.3, hole * 1.7), hole * 0.3,
                          hole * 0.3);
    }
    QRadialGradient glow(QPointF(w * 0.5, h * 0.32), w * 0.8);
    glow.setColorAt(0, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 22));
    glow.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(QRectF(0, 0, w, h), glow);
    p.restore();
}

// A screen background with an optional title bar.
Painter screenBackground(const QString& title) {
    return [=](QPainter& p, double w, double h) {
        backdrop(p, w, h);
        if (title.isEmpty())
            return;
        double bar = w * 0.14;
        p.fillRect(QRectF(0, 0, w, bar), QColor(0, 0, 0, 90));
        p.fillRect(QRectF(0, bar - 2, w, 2), kAccent);
        text(p, QRectF(0, 0, w, bar), title, bar * 0.36, kText);
    };
}

void logo(QPainter& p, QPointF c, double size) {
    p.save();
    QPainterPath ring;
    ring.addEllipse(c, size / 2, size / 2);
    p.fillPath(ring, kAccent);
    icon(p, Icon::Rewind,
         QRectF(c.x() - size * 0.32, c.y() - size * 0.32, size * 0.64, size * 0.64), kText);
    p.restore();
}

enum class Style { Primary, Secondary, Ghost, Danger };

// A rounded button with an optional icon and label; pressed pictures are darker and sunk.
Painter button(const QString& label, Icon glyph, bool pressed, Style style = Style::Secondary) {
    return [=](QPainter& p, double w, double h) {
        QRectF r(2, 2, w - 4, h - 4);
        double radius = std::min(h * 0.5 - 2, w * 0.12 + h * 0.12);
        QColor top, bottom, edge, fore = kText;
        switch (style) {
        case Style::Primary:
            top = kAccent;
            bottom = kAccentDark;
            edge = kAccent.lighter(120);
            break;
        case Style::Danger:
            top = QColor(0xe5, 0x38, 0x3b);
            bottom = QColor(0xa8, 0x22, 0x25);
            edge = top.lighter(120);
            break;
        case Style::Secondary:
            top = kPanelLight;
            bottom = kPanel;
            edge = kStroke;
            break;
        case Style::Ghost:
            top = QColor(0, 0, 0, 110);
            bottom = QColor(0, 0, 0, 150);
            edge = QColor(255, 255, 255, 60);
            break;
        }
        if (pressed) {
            top = top.darker(135);
            bottom = bottom.darker(135);
            if (style == Style::Secondary || style == Style::Ghost)
                fore = kAccent;
        }
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, top);
        g.setColorAt(1, bottom);
        roundedFill(p, r, radius, g);
        roundedStroke(p, r.adjusted(0.5, 0.5, -0.5, -0.5), radius, edge, std::max(1.5, h * 0.03));
        double iconSize = h * 0.56;
        if (label.isEmpty()) {
            icon(p, glyph, QRectF(w / 2 - iconSize / 2, h / 2 - iconSize / 2, iconSize, iconSize),
                 fore);
            return;
        }
        double fontPixels = std::min(h * 0.36, w * 0.16);
        QFontMetricsF metrics(font(fontPixels));
        double textWidth = metrics.horizontalAdvance(label);
        double gap = glyph == Icon::None ? 0 : iconSize * 1.15;
        double x = (w - textWidth - gap) / 2;
        if (glyph != Icon::None)
            icon(p, glyph, QRectF(x - iconSize * 0.1, h / 2 - iconSize / 2, iconSize, iconSize),
                 fore);
        text(p, QRectF(x + gap, 0, textWidth + 4, h), label, fontPixels, fore,
             Qt::AlignLeft | Qt::AlignVCenter);
    };
}

// A round button (record, camera, play).
Painter roundButton(Icon glyph, bool pressed, Style style, double ringFraction = 0.08) {
    return [=](QPainter& p, double w, double h) {
        double d = std::min(w, h) - 4;
        QRectF r((w - d) / 2, (h - d) / 2, d, d);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, pressed ? 140 : 220));
        p.drawEllipse(r);
        QRectF inner =
            r.adjusted(d * ringFraction, d * ringFraction, -d * ringFraction, -d * ringFraction);
        QColor fill = style == Style::Primary ? kAccent : kPanel;
        if (pressed)
            fill = fill.darker(140);
        p.setBrush(fill);
        p.drawEllipse(inner);
        QColor fore = style == Style::Primary ? kText : kAccent;
        double iconSize = d * 0.5;
        icon(p, glyph, QRectF(w / 2 - iconSize / 2, h / 2 - iconSize / 2, iconSize, iconSize),
             fore);
    };
}

Painter progressBar(bool filled, bool sending) {
    return [=](QPainter& p, double w, double h) {
        QRectF r(0, 0, w, h);
        double radius = h / 2;
        if (!filled) {
            roundedFill(p, r, radius, QColor(0, 0, 0, 150));
            roundedStroke(p, r.adjusted(1, 1, -1, -1), radius - 1, kStroke, 2);
            return;
        }
        QLinearGradient g(0, 0, w, 0);
        g.setColorAt(0, sending ? QColor(0xff, 0x8a, 0x3d) : kAccentDark);
        g.setColorAt(1, kAccent);
        roundedFill(p, r.adjusted(2, 2, -2, -2), radius - 2, g);
        // Diagonal stripes give the bar motion even when it stands still.
        p.save();
        QPainterPath clip;
        clip.addRoundedRect(r.adjusted(2, 2, -2, -2), radius - 2, radius - 2);
        p.setClipPath(clip);
        p.setPen(QPen(QColor(255, 255, 255, 40), h * 0.28));
        for (double x = -h; x < w + h; x += h * 0.9)
            p.drawLine(QPointF(x, h), QPointF(x + h, 0));
        p.restore();
    };
}

// A picker row: icon, label, and the right side left free for the check mark and play button.
Painter soundRow(const QString& label, const QString& detail, Icon glyph, bool pressed) {
    return [=](QPainter& p, double w, double h) {
        QRectF r(4, 4, w - 8, h - 8);
        roundedFill(p, r, h * 0.2, pressed ? QColor(0x3a, 0x2a, 0x26) : kPanel);
        roundedStroke(p, r, h * 0.2, pressed ? kAccent : kStroke, 2);
        double iconSize = h * 0.52;
        QRectF iconBox(h * 0.26, (h - iconSize) / 2, iconSize, iconSize);
        icon(p, glyph, iconBox, pressed ? kAccent : kText);
        double x = iconBox.right() + h * 0.22;
        if (detail.isEmpty()) {
            text(p, QRectF(x, 0, w - x, h), label, h * 0.3, kText,
                 Qt::AlignLeft | Qt::AlignVCenter);
        } else {
            text(p, QRectF(x, h * 0.12, w - x, h * 0.46), label, h * 0.28, kText,
                 Qt::AlignLeft | Qt::AlignVCenter);
            text(p, QRectF(x, h * 0.52, w - x, h * 0.34), detail, h * 0.2, kSecondary,
                 Qt::AlignLeft | Qt::AlignVCenter, false);
        }
    };
}

// Tab headers: the active one carries the accent underline.
Painter tab(const QString& label, Icon glyph, bool active) {
    return [=](QPainter& p, double w, double h) {
        p.fillRect(QRectF(0, 0, w, h), active ? kPanelLight : kPanel);
        p.fillRect(QRectF(0, h - 3, w, 3), active ? kAccent : kStroke);
        double iconSize = h * 0.42;
        QFontMetricsF metrics(font(h * 0.3));
        double tw = metrics.horizontalAdvance(label);
        double x = (w - tw - iconSize * 1.2) / 2;
        QColor fore = active ? kText : kSecondary;
        icon(p, glyph, QRectF(x, (h - iconSize) / 2, iconSize, iconSize),
             active ? kAccent : kSecondary);
        text(p, QRectF(x + iconSize * 1.2, 0, tw + 4, h), label, h * 0.3, fore,
             Qt::AlignLeft | Qt::AlignVCenter);
    };
}

Painter segment(const QString& label, bool selected) {
    return [=](QPainter& p, double w, double h) {
        QRectF r(3, 3, w - 6, h - 6);
        if (selected)
            roundedFill(p, r, h * 0.4, kAccent);
        else
            roundedStroke(p, r, h * 0.4, kStroke, 2);
        text(p, r, label, h * 0.34, selected ? kText : kSecondary);
    };
}

// ---------------------------------------------------------------------------------------------
// The slider switch: an off track, an on track, a knob, and the end caps' outline.

void sliderTrack(QPainter& p, double w, double h, bool on) {
    QRectF r(1, 1, w - 2, h - 2);
    QLinearGradient g(0, 0, 0, h);
    if (on) {
        g.setColorAt(0, kAccentDark);
        g.setColorAt(1, kAccent);
    } else {
        g.setColorAt(0, QColor(0x16, 0x18, 0x1c));
        g.setColorAt(1, kPanelLight);
    }
    roundedFill(p, r, h / 2 - 1, g);
}

void sliderOutline(QPainter& p, double w, double h, bool pressed) {
    roundedStroke(p, QRectF(1.5, 1.5, w - 3, h - 3), h / 2 - 1.5,
                  pressed ? kAccent : QColor(0, 0, 0, 200), 3);
}

void sliderKnob(QPainter& p, double w, double h, bool pressed) {
    QRectF r(2, 2, w - 4, h - 4);
    QLinearGradient g(0, 0, 0, h);
    g.setColorAt(0, pressed ? QColor(0xd8, 0xd8, 0xd8) : QColor(0xfa, 0xfa, 0xfa));
    g.setColorAt(1, pressed ? QColor(0xa8, 0xa8, 0xa8) : QColor(0xc8, 0xcb, 0xd0));
    roundedFill(p, r, h / 2 - 2, g);
    roundedStroke(p, r, h / 2 - 2, QColor(0, 0, 0, 90), 2);
    p.setPen(QPen(QColor(0, 0, 0, 60), 2));
    for (int i = -1; i <= 1; i++)
        p.drawLine(QPointF(w / 2 + i * 6, h * 0.35), QPointF(w / 2 + i * 6, h * 0.65));
}

// ---------------------------------------------------------------------------------------------

void generate() {
    // Launch picture and full-screen backgrounds.
    // The launch picture, for both screen heights.
    auto launch = [](QPainter& p, double w, double h) {
        backdrop(p, w, h);
        logo(p, QPointF(w / 2, h * 0.42), w * 0.34);
        text(p, QRectF(0, h * 0.42 + w * 0.21, w, w * 0.15), QStringLiteral("Taluvex"), w * 0.11,
             kText);
        text(p, QRectF(0, h * 0.42 + w * 0.36, w, w * 0.08),
             words(_("play your world backwards")), w * 0.042, kSecondary, Qt::AlignCenter,
             false);
    };
    save("Default", 640, 960, launch);
    save("Default-568h@2x.png", 640, 1136, launch);
    for (auto [name, title] : std::vector<std::pair<std::string, QString>>{
             {"screen_bg_640_1136", {}},
             {"share_bg_640_1136", words(_("Share"))},
             {"movies_bg_640_1136", {}},
             {"sound_bg_640_1040", words(_("Sound Track"))},
             {"contest_bg_640_1040", words(_("Contest"))},
             {"facebook_panel_bg_640_1136", QStringLiteral("Facebook")},
             {"contest_notice_bg_640_1136", words(_("The Contest"))}}) {
        int h = std::stoi(name.substr(name.rfind('_') + 1));
        save(name, 640, h, screenBackground(title));
    }
    save("sound_bg_640_864@2x.png", 640, 864, screenBackground(words(_("Sound Track"))));
    save("contest_bg_640_864@2x.png", 640, 864, screenBackground(words(_("Contest"))));

    // Render progress overlay: the panel is shown at 250 x 136 points.
    save("converting_bg_640_960", 640, 960,
         displayedAt(500, 272, [](QPainter& p, double w, double h) {
             QRectF r(2, 2, w - 4, h - 4);
             QLinearGradient g(0, 0, 0, h);
             g.setColorAt(0, kPanelLight);
             g.setColorAt(1, kPanel);
             roundedFill(p, r, 26, g);
             roundedStroke(p, r, 26, kStroke, 3);
             icon(p, Icon::Rewind, QRectF(34, 28, 52, 52), kAccent);
             text(p, QRectF(98, 26, w - 120, 56), words(_("Reversing your movie")), 30, kText,
                  Qt::AlignLeft | Qt::AlignVCenter);
             text(p, QRectF(98, 200, 240, 56), words(_("Please wait")), 24, kSecondary,
                  Qt::AlignLeft | Qt::AlignVCenter, false);
         }));
    save("loading_bar_bg_304_36", 304, 36, progressBar(false, false));
    save("loading_bar_loading_304_36", 304, 36, progressBar(true, false));
    save("cancel_btn_116_56", 116, 56, button(words(_("Cancel")), Icon::None, false));
    save("cancel_btn_P_116_56", 116, 56, button(words(_("Cancel")), Icon::None, true));

    // Sending overlay.
    // The bar lies on it at (84, 231) points whatever the screen height, while the picture
    // stretches with the height: the card keeps the bar's band free of drawing.
    save("sending_video_bg_640_960", 640, 960, [](QPainter& p, double w, double h) {
        p.fillRect(QRectF(0, 0, w, h), QColor(8, 9, 11, 225));
        QRectF card(100, 250, w - 200, 400);
        roundedFill(p, card, 28, kPanel);
        roundedStroke(p, card, 28, kStroke, 3);
        icon(p, Icon::Share, QRectF(w / 2 - 32, 288, 64, 64), kAccent);
        text(p, QRectF(0, 520, w, 40), words(_("Sending your movie")), 30, kText);
        text(p, QRectF(0, 566, w, 34), words(_("Please keep Taluvex open")), 22, kSecondary,
             Qt::AlignCenter, false);
    });
    save("sending_bar_bg_304_36", 304, 36, progressBar(false, true));
    save("sending_bar_loading_304_36", 304, 36, progressBar(true, true));

    // Slider switch.
    save("btn_slider_off.png", 56, 54,
         [](QPainter& p, double w, double h) { sliderTrack(p, w, h, false); });
    save("btn_slider_on.png", 56, 54,
         [](QPainter& p, double w, double h) { sliderTrack(p, w, h, true); });
    save("btn_slider_track.png", 56, 54,
         [](QPainter& p, double w, double h) { sliderOutline(p, w, h, false); });
    save("btn_slider_track_pressed.png", 56, 54,
         [](QPainter& p, double w, double h) { sliderOutline(p, w, h, true); });
    save("btn_slider_thumb.png", 88, 54,
         [](QPainter& p, double w, double h) { sliderKnob(p, w, h, false); });
    save("btn_slider_thumb_pressed.png", 88, 54,
         [](QPainter& p, double w, double h) { sliderKnob(p, w, h, true); });
    // Captions 64 x 27 points: "ON" centred 12 points in, "OFF" 49 points in. The same in every
    // language but Japanese, which the switch writes in words of its own.
    save("btn_slider_international_on", 128, 54, [](QPainter& p, double, double h) {
        text(p, QRectF(0, 0, 48, h), QStringLiteral("ON"), 22, kText);
    });
    save("btn_slider_international_off", 128, 54, [](QPainter& p, double, double h) {
        text(p, QRectF(64, 0, 68, h), QStringLiteral("OFF"), 22, kSecondary);
    });

    // Sound track picker rows.
    struct Row {
        std::string name;
        QString label;
        QString detail;
        Icon glyph;
    };
    std::vector<Row> rows = {
        {"from_ipod", words(_("From Music Library")), words(_("a song of your own")),
         Icon::Music},
        {"from_video", words(_("From Video")), words(_("the recording, reversed")),
         Icon::Video},
        {"mute", words(_("Mute")), words(_("no sound")), Icon::Mute}};
    const char* moods[] = {"Dreamy", "Upbeat", "Cinematic", "Funky", "Chill", "Epic"};
    for (int i = 1; i <= 6; i++)
        rows.push_back({"track" + std::to_string(i), words(_("Track %1")).arg(i),
                        QString::fromLatin1(moods[i - 1]), Icon::Music});
    for (const Row& row : rows) {
        save(row.name + "_588_90", 588, 90, soundRow(row.label, row.detail, row.glyph, false));
        save(row.name + "_P_588_90", 588, 90, soundRow(row.label, row.detail, row.glyph, true));
    }
    save("check_44_44", 44, 44, [](QPainter& p, double w, double h) {
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QRectF(2, 2, w - 4, h - 4));
        icon(p, Icon::Check, QRectF(8, 8, w - 16, h - 16), kText);
    });
    save("play_btn_64_64", 64, 64, roundButton(Icon::Play, false, Style::Secondary));
    save("play_btn_P_64_64", 64, 64, roundButton(Icon::Play, true, Style::Secondary));
    save("stop_btn_64_64", 64, 64, roundButton(Icon::Stop, false, Style::Primary));
    save("stop_btn_P_64_64", 64, 64, roundButton(Icon::Stop, true, Style::Primary));

    // Navigation buttons shared by the screens.
    for (bool pressed : {false, true}) {
        std::string P = pressed ? "_P" : "";
        save("back_btn" + P + "_120_60", 120, 60,
             button(words(_("Back")), Icon::Back, pressed, Style::Ghost));
        save("camera_btn" + P + "_120_60", 120, 60,
             button(QString(), Icon::Camera, pressed, Style::Ghost));
        save("contest_btn" + P + "_120_60", 120, 60,
             button(QString(), Icon::Trophy, pressed, Style::Ghost));
        save("close_btn" + P + "_80_80", 80, 80,
             roundButton(Icon::Close, pressed, Style::Secondary, 0.05));
        save("edit_b" + P + "_140_80", 140, 80,
             button(words(_("Edit")), Icon::None, pressed, Style::Ghost));
        save("done_b" + P + "_140_80", 140, 80,
             button(words(_("Done")), Icon::None, pressed, Style::Primary));
        save("submit_btn" + P + "_240_80", 240, 80,
             button(words(_("Submit")), Icon::Trophy, pressed, Style::Primary));
        save("facebook_share_btn" + P + "_240_80", 240, 80,
             button(words(_("Share")), Icon::Facebook, pressed, Style::Primary));
        save("facebook_page_btn" + P + "_400_80", 400, 80,
             button(words(_("Visit us on Facebook")), Icon::Facebook, pressed,
                    Style::Secondary));
        save("share_small_btn" + P + "_88_60", 88, 60,
             button(QString(), Icon::Share, pressed, Style::Ghost));

        // Main screen.
        save("record_btn" + P + "_140_140", 140, 140,
             roundButton(Icon::Record, pressed, Style::Secondary));
        save("record_btn_S" + P + "_140_140", 140, 140,
             roundButton(Icon::Stop, pressed, Style::Primary));
        save("movies_btn" + P + "_100_100", 100, 100,
             button(QString(), Icon::Film, pressed, Style::Secondary));
        save("load_video_btn" + P + "_100_100", 100, 100,
             button(QString(), Icon::Import, pressed, Style::Secondary));
        save("switch_camera_btn" + P + "_100_60", 100, 60,
             button(QString(), Icon::Swap, pressed, Style::Ghost));

        // Settings panel.
        save("setting_handle" + P + "_76_200", 76, 200, [pressed](QPainter& p, double w, double h) {
            QRectF r(6, 4, w + 30, h - 8);
            roundedFill(p, r, 22, pressed ? kAccentDark : QColor(0, 0, 0, 170));
            roundedStroke(p, r, 22, pressed ? kAccent : QColor(255, 255, 255, 70), 2);
            icon(p, Icon::Sliders, QRectF(14, h / 2 - 26, 52, 52), kText);
        });
        save("speed_dn_btn" + P + "_88_88", 88, 88,
             roundButton(Icon::Minus, pressed, Style::Secondary, 0.05));
        save("speed_up_btn" + P + "_88_88", 88, 88,
             roundButton(Icon::Plus, pressed, Style::Secondary, 0.05));
        save("sound_track_btn" + P + "_400_80", 400, 80,
             button(words(_("Choose Sound")), Icon::Music, pressed));

        // Share screen: five tiles.
        save("share_camera_roll_btn" + P + "_280_96", 280, 96,
             button(words(_("Save")), Icon::Save, pressed));
        save("share_email_btn" + P + "_280_96", 280, 96,
             button(words(_("E-mail")), Icon::Mail, pressed));
        save("share_twitter_btn" + P + "_280_96", 280, 96,
             button(QStringLiteral("Twitter"), Icon::Twitter, pressed));
        save("share_facebook_btn" + P + "_280_96", 280, 96,
             button(QStringLiteral("Facebook"), Icon::Facebook, pressed));
        save("share_contest_btn" + P + "_576_96", 576, 96,
             button(words(_("Enter the Contest")), Icon::Trophy, pressed, Style::Primary));

        // Library rows and the YouTube tab.
        // A library row opens the movie (a chevron); a YouTube row's right end is its share button.
        auto row = [pressed](bool chevron) {
            return [pressed, chevron](QPainter& p, double w, double h) {
                p.fillRect(QRectF(0, 0, w, h), pressed ? QColor(0x3a, 0x2a, 0x26) : kPanel);
                p.fillRect(QRectF(0, h - 2, w, 2), kStroke);
                if (pressed)
                    p.fillRect(QRectF(0, 0, 6, h), kAccent);
                if (chevron)
                    icon(p, Icon::Forward, QRectF(w - 54, h / 2 - 18, 36, 36), kSecondary);
            };
        };
        save("movie_cell_bg" + P + "_640_156", 640, 156, row(true));
        save("youtube_cell_bg" + P + "_640_156", 640, 156, row(false));
        save(std::string("utube_loadmore") + P + "_576_114", 576, 114,
             button(words(_("Load More Videos")), Icon::Down, pressed, Style::Secondary));
    }
    save("share_play_overlay_120_120", 120, 120,
         roundButton(Icon::Play, false, Style::Primary, 0.05));
    save("webview_play_88_88", 88, 88, roundButton(Icon::Play, false, Style::Primary, 0.06));
    save("main_bottom_bar_640_196", 640, 196, [](QPainter& p, double w, double h) {
        QLinearGradient g(0, 0, 0, h);
        g.setColorAt(0, QColor(0x1a, 0x1c, 0x21));
        g.setColorAt(1, QColor(0x0b, 0x0c, 0x0e));
        p.fillRect(QRectF(0, 0, w, h), g);
        p.fillRect(QRectF(0, 0, w, 2), kStroke);
    });
    save("time_holder_bg_186_56", 186, 56, [](QPainter& p, double w, double h) {
        roundedFill(p, QRectF(2, 2, w - 4, h - 4), h / 2 - 2, QColor(0, 0, 0, 170));
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawEllipse(QRectF(18, h / 2 - 8, 16, 16));
    });
    save("thumb_frame_100_100", 100, 100, [](QPainter& p, double w, double h) {
        roundedStroke(p, QRectF(2, 2, w - 4, h - 4), 12, QColor(255, 255, 255, 200), 4);
    });
    save("setting_card_528_520", 528, 520, [](QPainter& p, double w, double h) {
        QRectF r(2, 2, w - 4, h - 4);
        roundedFill(p, r, 28, QColor(0x23, 0x26, 0x2d, 240));
        roundedStroke(p, r, 28, kStroke, 3);
        text(p, QRectF(0, 10, w, 60), words(_("Settings")), 30, kText);
        p.fillRect(QRectF(40, 72, w - 80, 2), kAccent);
        text(p, QRectF(40, 96, w - 80, 40), words(_("SPEED")), 22, kSecondary,
             Qt::AlignLeft | Qt::AlignVCenter);
        text(p, QRectF(40, 236, w - 80, 40), words(_("HIGH QUALITY")), 22, kSecondary,
             Qt::AlignLeft | Qt::AlignVCenter);
        text(p, QRectF(40, 348, w - 80, 40), words(_("SOUND")), 22, kSecondary,
             Qt::AlignLeft | Qt::AlignVCenter);
    });

    // Library header tabs and the YouTube order buttons.
    save("M_320_112", 320, 112, tab(words(_("My Movies")), Icon::Film, false));
    save("M_b_320_112", 320, 112, tab(words(_("My Movies")), Icon::Film, true));
    save("U_320_112", 320, 112, tab(QStringLiteral("YouTube"), Icon::Play, false));
    save("U_bg_320_112", 320, 112, tab(QStringLiteral("YouTube"), Icon::Play, true));
    for (auto [key, label] :
         std::vector<std::pair<std::string, QString>>{{"n", words(_("New"))},
                                                      {"m", words(_("Most Rated"))},
                                                      {"f", words(_("Featured"))}}) {
        save(key + "_184_62", 184, 62, segment(label, false));
        save(key + "_P_184_62", 184, 62, segment(label, true));
    }

    // The application's icon on the desktop, at the sizes the icon theme installs: the logo on
    // a rounded tile of the screens' own backdrop.
    for (int size : {48, 128, 256}) {
        const std::string px = std::to_string(size);
        save("appicon_" + px + "_" + px, size, size, [](QPainter& p, double w, double h) {
            const QRectF tile(w * 0.04, h * 0.04, w * 0.92, h * 0.92);
            QPainterPath shape;
            shape.addRoundedRect(tile, w * 0.2, h * 0.2);
            p.save();
            p.setClipPath(shape);
            backdrop(p, w, h);
            p.restore();
            roundedStroke(p, tile, w * 0.2, kStroke, std::max(1.0, w / 64));
            logo(p, QPointF(w / 2, h / 2), w * 0.58);
        });
    }

    // The Facebook picture frame: opaque where the movie's picture shows.
    // 150 x 150 points: a rounded square with a soft edge.
    save("bw_facebook_picture_frame_self", 300, 300, [](QPainter& p, double w, double h) {
        for (int i = 0; i < 6; i++) {
            QPainterPath frame;
            double inset = 12 + i;
            frame.addRoundedRect(QRectF(inset, inset, w - 2 * inset, h - 2 * inset), 30 - i,
                                 30 - i);
            p.fillPath(frame, QColor(0, 0, 0, 40 + i * 43));
        }
    });
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: taluvex-artgen <output folder>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
    QGuiApplication application(argc, argv);
    gOutput = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(gOutput);
    generate();
    std::printf("taluvex-artgen: %d pictures in %s\n", gCount, argv[1]);
    return 0;
}
