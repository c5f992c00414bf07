// Fonts by size: the system font and its bold face.
#pragma once

#include <string>

class QFont;

namespace tx {

struct Size;

class Font {
public:
    Font() = default;
    static Font systemFont(double pointSize) { return Font(pointSize, false); }
    static Font boldSystemFont(double pointSize) { return Font(pointSize, true); }

    double pointSize() const { return _pointSize; }
    bool isBold() const { return _bold; }
    // Height of one line, in points.
    double lineHeight() const;
    // Size of `text` on one line, in points.
    Size sizeOfText(const std::string& text) const;

    QFont qfont() const;
    bool operator==(const Font&) const = default;

private:
    Font(double pointSize, bool bold) : _pointSize(pointSize), _bold(bold) {}
    double _pointSize = 17;
    bool _bold = false;
};

} // namespace tx
