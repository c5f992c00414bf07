#include "platform/ui/Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>

namespace tx {

namespace {
// Without a GUI application there is no desktop clipboard; the text stays in the process.
std::string& fallback() {
    static auto* text = new std::string();
    return *text;
}
} // namespace

Pasteboard& Pasteboard::generalPasteboard() {
    static auto* pasteboard = new Pasteboard();
    return *pasteboard;
}

void Pasteboard::setString(const std::string& text) {
    fallback() = text;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        QGuiApplication::clipboard()->setText(QString::fromStdString(text));
}

std::string Pasteboard::string() const {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        QString text = QGuiApplication::clipboard()->text();
        if (!text.isEmpty())
            return text.toStdString();
    }
    return fallback();
}

} // namespace tx
