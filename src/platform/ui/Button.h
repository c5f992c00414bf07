// A custom button: per-state image, background image, title and title colour. A state without
// its own value shows the normal state's (the highlighted-and-selected state included).
#pragma once

#include "platform/ui/Control.h"
#include "platform/ui/Font.h"
#include "platform/ui/Image.h"

#include <map>
#include <string>

namespace tx {

class Button : public Control {
public:
    explicit Button(const Rect& frame = {});

    void setImage(ImagePtr image, unsigned state);
    void setBackgroundImage(ImagePtr image, unsigned state);
    void setTitle(const std::string& title, unsigned state);
    void setTitleColor(const Color& color, unsigned state);
    ImagePtr imageForState(unsigned state) const;
    ImagePtr backgroundImageForState(unsigned state) const;
    std::string titleForState(unsigned state) const;
    Color titleColorForState(unsigned state) const;
    ImagePtr currentImage() const { return imageForState(state()); }
    ImagePtr currentBackgroundImage() const { return backgroundImageForState(state()); }
    std::string currentTitle() const { return titleForState(state()); }

    Font titleFont() const { return _titleFont; }
    void setTitleFont(const Font& font);
    // How the image fits the button; by default it keeps its size and shrinks to fit.
    void setImageContentMode(ContentMode mode);
    // Pressed without a pressed picture, the pictures darken; disabled, they fade.
    void setAdjustsImageWhenHighlighted(bool adjusts) { _adjustsWhenHighlighted = adjusts; }
    void setAdjustsImageWhenDisabled(bool adjusts) { _adjustsWhenDisabled = adjusts; }

    void drawRect(const Rect& rect) override;

    // A button with a look of its own for the selected state latches (a toggle button); one
    // without a title is named by its screen after what it does.
    AccessibleRole accessibilityRole() const override;
    std::string accessibilityLabel() const override;
    AccessibleStates accessibilityStates() const override;

private:
    bool latches() const;
    template <typename T>
    static T lookup(const std::map<unsigned, T>& values, unsigned state, const T& fallback);
    void drawPicture(const Image& image, const Rect& rect, bool darken, double alpha);

    std::map<unsigned, ImagePtr> _images;
    std::map<unsigned, ImagePtr> _backgrounds;
    std::map<unsigned, std::string> _titles;
    std::map<unsigned, Color> _titleColors;
    Font _titleFont = Font::boldSystemFont(15);
    ContentMode _imageContentMode = ContentMode::Center;
    bool _adjustsWhenHighlighted = true;
    bool _adjustsWhenDisabled = true;
};

} // namespace tx
