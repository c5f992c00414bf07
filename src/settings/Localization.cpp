#include "Localization.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdlib>
#include <map>
#include <memory>

namespace tx {

namespace {

std::string languageOf(std::string locale) {
    // "ja_JP.UTF-8@euro" → "ja"
    const std::size_t cut = locale.find_first_of("_.@-");
    if (cut != std::string::npos)
        locale.resize(cut);
    if (locale == "C" || locale == "POSIX")
        return "en";
    return locale;
}

// The application's own words, by language.
const std::map<std::string, std::map<std::string, std::string>>& translations() {
    static const auto* table = new std::map<std::string, std::map<std::string, std::string>>{
        {"ja", {{"ON", "オン"}, {"OFF", "オフ"}}},
        {"de", {{"ON", "EIN"}, {"OFF", "AUS"}}},
        {"fr", {{"ON", "OUI"}, {"OFF", "NON"}}},
        {"ko", {{"ON", "켬"}, {"OFF", "끔"}}},
    };
    return *table;
}

} // namespace

std::vector<std::string> preferredLanguages() {
    std::vector<std::string> languages;
    if (const char* list = std::getenv("LANGUAGE"); list && *list) {
        std::string rest = list;
        while (!rest.empty()) {
            const std::size_t colon = rest.find(':');
            std::string entry = rest.substr(0, colon);
            if (!entry.empty())
                languages.push_back(languageOf(entry));
            rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
        }
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (const char* value = std::getenv(name); value && *value) {
            languages.push_back(languageOf(value));
            break;
        }
    }
    if (languages.empty())
        languages.push_back("en");
    return languages;
}

std::string localizedString(const std::string& key) {
    for (const std::string& language : preferredLanguages()) {
        auto table = translations().find(language);
        if (table == translations().end())
            continue;
        auto word = table->second.find(key);
        if (word != table->second.end())
            return word->second;
    }
    return key;
}

std::string platformLocalizedString(const std::string& key) {
    // Qt's catalogue for the first preferred language, loaded once, where it is installed.
    static std::unique_ptr<QTranslator> translator = [] {
        auto made = std::make_unique<QTranslator>();
        const QString language = QString::fromStdString(preferredLanguages().front());
        if (!made->load(QStringLiteral("qtbase_") + language,
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            made.reset();
        return made;
    }();
    if (translator) {
        const QString word = translator->translate("QPlatformTheme", key.c_str());
        if (!word.isEmpty())
            return word.toStdString();
    }
    return key;
}

} // namespace tx
