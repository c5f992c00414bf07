// The user's preferred languages as the desktop's locale settings give them, and the few words of
// the settings screens that are translated.
#pragma once

#include <string>
#include <vector>

namespace tx {

// Language codes in order of preference ("ja", "en", "pt_BR" gives "pt"): the entries of
// LANGUAGE, then the first of LC_ALL, LC_MESSAGES and LANG that is set. "C" and "POSIX" count as
// "en"; "en" is the answer when nothing is set.
std::vector<std::string> preferredLanguages();

// The application's own translation of `key` into the first preferred language that has one, or
// the key itself.
std::string localizedString(const std::string& key);

// The desktop toolkit's own word for `key` ("ON", "OFF") from its installed translations, or the
// key itself where it has none.
std::string platformLocalizedString(const std::string& key);

} // namespace tx
