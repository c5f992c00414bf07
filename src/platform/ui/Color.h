// Colours with alpha, in the 0…1 range per component.
#pragma once

namespace tx {

struct Color {
    double red = 0, green = 0, blue = 0, alpha = 0;

    static Color rgb(double r, double g, double b, double a = 1) { return {r, g, b, a}; }
    static Color hex(unsigned rgb, double a = 1) {
        return {((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0, (rgb & 0xff) / 255.0, a};
    }
    static Color white(double level, double a = 1) { return {level, level, level, a}; }
    static Color clear() { return {}; }
    static Color black() { return white(0); }
    static Color whiteColor() { return white(1); }
    static Color gray() { return white(0.5); }
    static Color lightGray() { return white(2.0 / 3); }
    static Color darkGray() { return white(1.0 / 3); }

    Color withAlpha(double a) const { return {red, green, blue, a}; }
    bool isClear() const { return alpha <= 0; }
    bool operator==(const Color&) const = default;
};

// The kit's own look: a dark camera theme with one accent colour. The artwork uses the same values.
namespace theme {
inline Color background() {
    return Color::hex(0x141619);
}
inline Color panel() {
    return Color::hex(0x23262d);
}
inline Color panelLight() {
    return Color::hex(0x2f333c);
}
inline Color accent() {
    return Color::hex(0xff5a36);
}
// The keyboard focus ring: a blue that stands out from the accent and the artwork.
inline Color focusRing() {
    return Color::hex(0x4da3ff);
}
inline Color text() {
    return Color::hex(0xf2f2f2);
}
inline Color secondaryText() {
    return Color::hex(0x9aa0a9);
}
inline Color separator() {
    return Color::hex(0x383c45);
}
} // namespace theme

} // namespace tx
