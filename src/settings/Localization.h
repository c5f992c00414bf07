// The user's preferred languages as the desktop's locale settings give them, and the few words of
// the settings screens that are translated.
#pragma once

#include "platform/foundation/Translation.h"

#include <string>

namespace tx {

// The application's own translation of `key` (the switch captions' "ON" and "OFF") into the
// first preferred language that has one, or the key itself.
std::string localizedString(const std::string& key);

// The desktop toolkit's own word for `key` ("ON", "OFF") from its installed translations, or the
// key itself where it has none.
std::string platformLocalizedString(const std::string& key);

} // namespace tx
