// The general pasteboard: the desktop clipboard, as plain UTF-8 text.
#pragma once

#include <string>

namespace tx {

class Pasteboard {
public:
    static Pasteboard& generalPasteboard();
    void setString(const std::string& text);
    std::string string() const;
};

} // namespace tx
