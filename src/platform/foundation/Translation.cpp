#include "platform/foundation/Translation.h"

#include "platform/foundation/Paths.h"

#include <QTranslator>

#include <cstdlib>
#include <memory>
#include <mutex>

namespace tx {
namespace {

std::string languageOf(std::string locale) {
    // "ja_JP.UTF-8@euro" → "ja"
    const std::size_t cut = locale.find_first_of("_.@-");
    if (cut != std::string::npos) {
        locale.resize(cut);
    }
    if (locale == "C" || locale == "POSIX") {
        return "en";
    }
    return locale;
}

// The catalogues of the preferred languages, loaded again when the environment names others.
struct Catalogues {
    std::mutex lock;
    std::vector<std::string> languages;
    std::vector<std::unique_ptr<QTranslator>> translators;

    void follow(const std::vector<std::string>& wanted) {
        if (wanted == languages && !translators.empty()) {
            return;
        }
        languages = wanted;
        translators.clear();
        const QString folder =
            QString::fromStdString(pathByAppending(resourceDirectory(), "translations"));
        for (const std::string& language : wanted) {
            // The texts themselves are English: a preference for English ends the search.
            if (language == "en") {
                break;
            }
            auto translator = std::make_unique<QTranslator>();
            if (translator->load(QString::fromStdString(language), folder)) {
                translators.push_back(std::move(translator));
            }
        }
        // An empty list is loaded again on every call; a placeholder keeps English quick.
        if (translators.empty()) {
            translators.push_back(std::make_unique<QTranslator>());
        }
    }

    std::string lookUp(const char* context, const char* text, const char* plural, long count) {
        const std::lock_guard guard(lock);
        follow(preferredLanguages());
        for (const auto& translator : translators) {
            const QString found = translator->translate("", text, context, static_cast<int>(count));
            if (!found.isEmpty()) {
                return found.toStdString();
            }
        }
        return plural != nullptr && count != 1 ? plural : text;
    }
};

Catalogues& catalogues() {
    static auto* shared = new Catalogues;
    return *shared;
}

std::string replacedCount(std::string text, long count) {
    const std::string number = std::to_string(count);
    for (std::size_t at = text.find("%n"); at != std::string::npos;
         at = text.find("%n", at + number.size())) {
        text.replace(at, 2, number);
    }
    return text;
}

} // namespace

std::vector<std::string> preferredLanguages() {
    std::vector<std::string> languages;
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::string rest = list;
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            std::string entry = rest.substr(0, colon);
            if (!entry.empty()) {
                languages.push_back(languageOf(entry));
            }
            rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value && *value) {
            languages.push_back(languageOf(value));
            break;
        }
    }
    if (languages.empty()) {
        languages.push_back("en");
    }
    return languages;
}

std::string translated(const char* text) {
    if (text == nullptr || *text == 0) {
        return {};
    }
    return catalogues().lookUp(nullptr, text, nullptr, -1);
}

std::string translatedIn(const char* context, const char* text) {
    if (text == nullptr || *text == 0) {
        return {};
    }
    return catalogues().lookUp(context, text, nullptr, -1);
}

std::string translatedPlural(const char* singular, const char* plural, long count) {
    return replacedCount(catalogues().lookUp(nullptr, singular, plural, count), count);
}

std::string withArguments(const std::string& pattern, std::initializer_list<std::string> values) {
    // One pass, so that a value holding "%2" itself (a file name) is left as it is.
    const std::vector<std::string> given(values);
    std::string text;
    for (std::size_t at = 0; at < pattern.size(); ++at) {
        const char next = at + 1 < pattern.size() ? pattern[at + 1] : 0;
        const std::size_t place = static_cast<std::size_t>(next - '0');
        if (pattern[at] == '%' && next >= '1' && next <= '9' && place <= given.size()) {
            text += given[place - 1];
            ++at;
        } else {
            text += pattern[at];
        }
    }
    return text;
}

} // namespace tx
