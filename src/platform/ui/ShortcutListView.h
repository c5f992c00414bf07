// The list of keys shown over the screen on top (F1): each key a person can type there now and
// what it does, read from the same table that routes the keys. Esc, F1 or a click close it.
#pragma once

#include "platform/ui/KeyTable.h"
#include "platform/ui/View.h"

#include <string>
#include <vector>

namespace tx {

class ShortcutListView : public View {
public:
    struct Row {
        std::string keys;
        std::string description;
    };

    ShortcutListView(const Rect& windowBounds, const KeyTable& table);

    const std::vector<Row>& rows() const { return _rows; }
    void close();

    bool canBecomeFirstResponder() const override { return true; }
    void addKeyBindings(KeyTable& table) override;
    bool keyPressed(const KeyEvent& event) override;
    void touchesBegan(const TouchSet&) override {}
    void touchesEnded(const TouchSet& touches) override;
    void drawRect(const Rect& rect) override;

private:
    Rect panelRect() const;
    std::vector<Row> _rows;
};

} // namespace tx
