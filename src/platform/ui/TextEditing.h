// What text fields and text views share: the edited text with its cursor and selection, the
// keys that change it (each change offered to the delegate first), and the laid-out text that
// draws it and maps clicks to positions. Positions are byte offsets into the UTF-8 text.
#pragma once

#include "platform/ui/Font.h"
#include "platform/ui/GraphicsContext.h"
#include "platform/ui/Responder.h"

#include <functional>
#include <string>

namespace tx {

struct TextEditingState {
    std::string text;
    std::size_t cursor = 0;
    std::size_t anchor = 0;

    Range selection() const {
        return {std::min(cursor, anchor), cursor > anchor ? cursor - anchor : anchor - cursor};
    }
    void moveTo(std::size_t position, bool extend);
};

enum class TextEditResult { Ignored, Changed, Moved, Return };

// Applies one key. `shouldChange` may refuse a replacement of `range` by `replacement`.
TextEditResult applyTextKey(TextEditingState& state, const KeyEvent& key, bool multiline,
                            const std::function<bool(Range, const std::string&)>& shouldChange);
// Replaces the selection (typing, pasting) if `shouldChange` allows it.
bool replaceSelection(TextEditingState& state, const std::string& replacement,
                      const std::function<bool(Range, const std::string&)>& shouldChange);

// A keyboard focus asked for before the view is in a window, taken when it gets there.
struct DeferredFocus {
    bool pending = false;
    template <typename V> void viewMovedToWindow(V& view) {
        if (!pending || !view.window())
            return;
        pending = false;
        view.becomeFirstResponder();
    }
};

// Text laid out in a width (wrapped or on one line) for drawing and hit testing.
class TextBox {
public:
    TextBox(const std::string& text, const Font& font, double width, bool wrap);
    ~TextBox();
    double height() const;
    // The top of the caret before `position`, and the height of its line.
    Rect caretRect(std::size_t position) const;
    std::size_t positionAt(Point point) const;
    void draw(GraphicsContext& context, Point origin, const Color& color, Range selection,
              bool showCaret, std::size_t caret) const;

private:
    struct Impl;
    std::unique_ptr<Impl> _impl;
};

} // namespace tx
