// Deleting the user's files the desktop way: into the freedesktop.org trash, from where they can
// be restored, or removed outright where there is no trash to be had.
#pragma once

#include "platform/foundation/Error.h"

#include <functional>
#include <string>

namespace tx {

class Trash {
public:
    // Moves the file at `path` to the trash (or removes it where there is none). True when the
    // file is gone afterwards, also when it was gone already; otherwise `error` says why.
    static bool moveToTrash(const std::string& path, ErrorPtr* error = nullptr);

    // Whether the file at `path` would go to a trash it can be restored from (the user's own on
    // the same disk, or the disk's shared one), rather than be removed for good.
    static bool isAvailableFor(const std::string& path);

    // Stands in for the desktop (tests); an empty handler restores the real trash.
    using Handler = std::function<bool(const std::string& path, ErrorPtr* error)>;
    static void setHandler(Handler handler);
};

} // namespace tx
