#include "Localization.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdlib>
#include <memory>

namespace tx {

std::string localizedString(const std::string& key) {
    return translated(key.c_str());
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
