// Words a person reads, in their language: every such text goes through _() (or
// translatedPlural), and the build gathers what is marked into the translators' template.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

namespace tx {

// Language codes in order of preference ("ja", "en", "pt_BR" gives "pt"): the entries of
// LANGUAGE, then the first of LC_ALL, LC_MESSAGES and LANG that is set. "C" and "POSIX" count as
// "en"; "en" is the answer when nothing is set. Read from the environment itself, so a language
// is followed whether or not its locale is installed.
std::vector<std::string> preferredLanguages();

// `text` in the first preferred language whose catalogue (share/taluvex/translations/LANG.qm
// beside the program) has it, else `text` itself.
std::string translated(const char* text);
// `text` as it is meant where it stands: the same English words may want other translations in
// different places ("Cancel" on a narrow picker bar and in an alert).
std::string translatedIn(const char* context, const char* text);
// The form of `singular` that goes with `count`, as the language counts; English picks
// `singular` for 1 and `plural` otherwise. "%n" in the text stands for the count.
std::string translatedPlural(const char* singular, const char* plural, long count);

// A pattern with numbered places ("%1", "%2", ...) filled in, so that a translation may put
// them in another order: withArguments(_("%1 of %2"), {"3", "7"}).
std::string withArguments(const std::string& pattern, std::initializer_list<std::string> values);

} // namespace tx

// The translation call, and the mark for texts kept in tables and translated where they are
// shown.
#define _(text) ::tx::translated(text)
#define N_(text) text
