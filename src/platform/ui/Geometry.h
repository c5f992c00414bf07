// Points, sizes, rectangles and affine transforms in points (a point is two pixels on screen).
#pragma once

#include <algorithm>
#include <cmath>

namespace tx {

struct Point {
    double x = 0;
    double y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    double width = 0;
    double height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
    Rect(Point o, Size s) : origin(o), size(s) {}

    double minX() const { return std::min(origin.x, origin.x + size.width); }
    double minY() const { return std::min(origin.y, origin.y + size.height); }
    double maxX() const { return std::max(origin.x, origin.x + size.width); }
    double maxY() const { return std::max(origin.y, origin.y + size.height); }
    double midX() const { return origin.x + size.width / 2; }
    double midY() const { return origin.y + size.height / 2; }
    double width() const { return std::abs(size.width); }
    double height() const { return std::abs(size.height); }
    bool isEmpty() const { return size.width <= 0 || size.height <= 0; }

    bool contains(Point p) const {
        return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY();
    }
    Rect offsetBy(double dx, double dy) const {
        return {origin.x + dx, origin.y + dy, size.width, size.height};
    }
    Rect insetBy(double dx, double dy) const {
        return {origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy};
    }
    Rect intersection(const Rect& o) const {
        double x0 = std::max(minX(), o.minX());
        double y0 = std::max(minY(), o.minY());
        double x1 = std::min(maxX(), o.maxX());
        double y1 = std::min(maxY(), o.maxY());
        if (x1 <= x0 || y1 <= y0)
            return {};
        return {x0, y0, x1 - x0, y1 - y0};
    }
    bool intersects(const Rect& o) const { return !intersection(o).isEmpty(); }
    bool operator==(const Rect&) const = default;
};

// The 2-D affine transform [a b 0; c d 0; tx ty 1], applied to row vectors like the phone kit.
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static AffineTransform identity() { return {}; }
    static AffineTransform rotation(double radians) {
        double s = std::sin(radians);
        double co = std::cos(radians);
        return {co, s, -s, co, 0, 0};
    }
    static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static AffineTransform translation(double x, double y) { return {1, 0, 0, 1, x, y}; }

    bool isIdentity() const { return *this == AffineTransform{}; }
    // This transform followed by `t`.
    AffineTransform concat(const AffineTransform& t) const {
        return {a * t.a + b * t.c, a * t.b + b * t.d,          c * t.a + d * t.c,
                c * t.b + d * t.d, tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
    }
    AffineTransform inverted() const {
        double det = a * d - b * c;
        if (det == 0)
            return *this;
        return {
            d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
    }
    Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    // The bounding box of `r` after the transform.
    Rect apply(const Rect& r) const {
        Point p[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                      apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
        double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
        for (const Point& q : p) {
            x0 = std::min(x0, q.x);
            x1 = std::max(x1, q.x);
            y0 = std::min(y0, q.y);
            y1 = std::max(y1, q.y);
        }
        return {x0, y0, x1 - x0, y1 - y0};
    }
    bool operator==(const AffineTransform&) const = default;
};

struct EdgeInsets {
    double top = 0, left = 0, bottom = 0, right = 0;
};

// A range of bytes in a UTF-8 string, as text-editing delegates receive it.
struct Range {
    std::size_t location = 0;
    std::size_t length = 0;
    bool operator==(const Range&) const = default;
};

} // namespace tx
