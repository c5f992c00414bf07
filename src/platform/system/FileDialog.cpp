// The desktop's file chooser: the xdg-desktop-portal FileChooser where the session has one (it
// shows the desktop's own dialog, also from a sandbox), else Qt's dialog when the application
// runs with widgets, else zenity or kdialog, else a cancel.
#include "FileDialog.h"

#include "platform/foundation/RunLoop.h"
#include "platform/system/SessionBus.h"

#include <QApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileDialog>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>
#include <QVariantMap>
#include <utility>

namespace tx {

// One filter as the portal takes it: a name and glob patterns (type 0) or MIME types (type 1).
struct PortalFilterRule {
    uint type = 0;
    QString pattern;
};
struct PortalFilter {
    QString name;
    QList<PortalFilterRule> rules;
};

} // namespace tx

Q_DECLARE_METATYPE(tx::PortalFilterRule)
Q_DECLARE_METATYPE(tx::PortalFilter)

namespace tx {

QDBusArgument& operator<<(QDBusArgument& arg, const PortalFilterRule& rule) {
    arg.beginStructure();
    arg << rule.type << rule.pattern;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, PortalFilterRule& rule) {
    arg.beginStructure();
    arg >> rule.type >> rule.pattern;
    arg.endStructure();
    return arg;
}
QDBusArgument& operator<<(QDBusArgument& arg, const PortalFilter& filter) {
    arg.beginStructure();
    arg << filter.name << filter.rules;
    arg.endStructure();
    return arg;
}
const QDBusArgument& operator>>(const QDBusArgument& arg, PortalFilter& filter) {
    arg.beginStructure();
    arg >> filter.name >> filter.rules;
    arg.endStructure();
    return arg;
}

namespace {

const char* const kPortalService = "org.freedesktop.portal.Desktop";
const char* const kPortalPath = "/org/freedesktop/portal/desktop";

std::string join(const std::vector<std::string>& parts) {
    std::string joined;
    for (const auto& part : parts)
        joined += (joined.empty() ? "" : " ") + part;
    return joined;
}

FileDialog::Handler& handlerSlot() {
    static FileDialog::Handler* handler = new FileDialog::Handler;
    return *handler;
}

void answerLater(FileDialog::Completion completion, std::string path) {
    RunLoop::post([completion = std::move(completion), path = std::move(path)] {
        if (completion)
            completion(path);
    });
}

} // namespace

// Waits for the portal's answer to one request.
class PortalRequest : public QObject {
    Q_OBJECT
public:
    PortalRequest(QDBusConnection bus, QString path, FileDialog::Completion completion)
        : _bus(std::move(bus)), _path(std::move(path)), _completion(std::move(completion)) {}

    bool listen(const QString& path) {
        if (!_path.isEmpty())
            stopListening();
        _path = path;
        return _bus.connect(QString(), _path, "org.freedesktop.portal.Request", "Response", this,
                            SLOT(response(uint, QVariantMap)));
    }
    void stopListening() {
        _bus.disconnect(QString(), _path, "org.freedesktop.portal.Request", "Response", this,
                        SLOT(response(uint, QVariantMap)));
    }
    const QString& path() const { return _path; }
    void answer(const std::string& chosen) {
        stopListening();
        if (auto completion = std::move(_completion))
            answerLater(std::move(completion), chosen);
        deleteLater();
    }
    FileDialog::Completion takeCompletion() { return std::move(_completion); }

public slots:
    void response(uint code, const QVariantMap& results) {
        std::string chosen;
        const QStringList uris = results.value("uris").toStringList();
        // 0 is a choice; 1 a cancel; 2 the dialog went away some other way.
        if (code == 0 && !uris.isEmpty())
            chosen = QUrl(uris.front()).toLocalFile().toStdString();
        answer(chosen);
    }

private:
    QDBusConnection _bus;
    QString _path;
    FileDialog::Completion _completion;
};

std::vector<FileDialogFilter> parseNameFilters(const std::vector<std::string>& nameFilters) {
    std::vector<FileDialogFilter> filters;
    for (const std::string& text : nameFilters) {
        FileDialogFilter filter;
        const auto open = text.find('(');
        const auto close = text.rfind(')');
        std::string patterns = text;
        if (open != std::string::npos && close != std::string::npos && close > open) {
            filter.name = text.substr(0, open);
            while (!filter.name.empty() && filter.name.back() == ' ')
                filter.name.pop_back();
            patterns = text.substr(open + 1, close - open - 1);
        }
        std::size_t at = 0;
        while (at < patterns.size()) {
            const auto space = patterns.find(' ', at);
            const std::string pattern =
                patterns.substr(at, space == std::string::npos ? std::string::npos : space - at);
            if (!pattern.empty())
                filter.patterns.push_back(pattern);
            at = space == std::string::npos ? patterns.size() : space + 1;
        }
        if (filter.name.empty())
            filter.name = patterns;
        if (!filter.patterns.empty())
            filters.push_back(std::move(filter));
    }
    return filters;
}

namespace {

// Qt's own dialog, when the application runs with widgets.
bool runWidgetDialog(const FileDialogRequest& request, FileDialog::Completion& completion) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return false;
    QStringList filters;
    for (const auto& filter : request.nameFilters)
        filters << QString::fromStdString(filter);
    auto* dialog = new QFileDialog(nullptr, QString::fromStdString(request.title),
                                   QString::fromStdString(request.directory));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setNameFilters(filters);
    dialog->setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (request.save)
        dialog->selectFile(QString::fromStdString(request.suggestedName));
    auto shared = std::make_shared<FileDialog::Completion>(std::move(completion));
    auto answer = [shared](const std::string& path) {
        if (auto done = std::exchange(*shared, nullptr))
            answerLater(std::move(done), path);
    };
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog,
                     [answer](const QString& file) { answer(file.toStdString()); });
    QObject::connect(dialog, &QFileDialog::finished, dialog, [answer](int) { answer({}); });
    dialog->open();
    return true;
}

// The dialog programs of GTK and KDE desktops that run without a portal.
bool runDialogProgram(const FileDialogRequest& request, FileDialog::Completion& completion) {
    const QString title = QString::fromStdString(request.title);
    QString folder = QString::fromStdString(request.directory);
    if (!folder.isEmpty() && !folder.endsWith('/'))
        folder += '/';
    const QString start = folder + QString::fromStdString(request.suggestedName);
    QString program = QStandardPaths::findExecutable("zenity");
    QStringList arguments;
    if (!program.isEmpty()) {
        arguments << "--file-selection"
                  << "--title=" + title;
        if (request.save)
            arguments << "--save"
                      << "--confirm-overwrite";
        if (!start.isEmpty())
            arguments << "--filename=" + start;
        for (const FileDialogFilter& filter : parseNameFilters(request.nameFilters))
            arguments << "--file-filter=" + QString::fromStdString(filter.name) + " |" +
                             QString::fromStdString(" " + join(filter.patterns));
    } else if (!(program = QStandardPaths::findExecutable("kdialog")).isEmpty()) {
        QStringList filters;
        for (const auto& filter : request.nameFilters)
            filters << QString::fromStdString(filter);
        arguments << (request.save ? "--getsavefilename" : "--getopenfilename")
                  << (start.isEmpty() ? QStringLiteral(".") : start) << filters.join('\n')
                  << "--title" << title;
    } else {
        return false;
    }
    auto* process = new QProcess;
    auto shared = std::make_shared<FileDialog::Completion>(std::move(completion));
    QObject::connect(process, &QProcess::finished, process,
                     [process, shared](int code, QProcess::ExitStatus status) {
                         std::string chosen;
                         // Both programs print the chosen file and succeed; a cancel fails.
                         if (status == QProcess::NormalExit && code == 0)
                             chosen = QString::fromLocal8Bit(process->readAllStandardOutput())
                                          .trimmed()
                                          .toStdString();
                         if (auto done = std::exchange(*shared, nullptr))
                             answerLater(std::move(done), chosen);
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, shared](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart)
                             return;
                         if (auto done = std::exchange(*shared, nullptr))
                             answerLater(std::move(done), {});
                         process->deleteLater();
                     });
    process->start(program, arguments);
    return true;
}

void runWithoutPortal(const FileDialogRequest& request, FileDialog::Completion completion) {
    if (runWidgetDialog(request, completion) || runDialogProgram(request, completion))
        return;
    // No dialog can be shown: the caller hears so, or the same answer as a cancel, on a later
    // turn like a real dialog.
    if (request.onUnavailable) {
        RunLoop::post([unavailable = request.onUnavailable] { unavailable(); });
        return;
    }
    answerLater(std::move(completion), {});
}

bool runPortal(const FileDialogRequest& request, FileDialog::Completion& completion) {
    QDBusConnection bus = sessionBus();
    if (!bus.isConnected())
        return false;
    static bool registered = [] {
        qDBusRegisterMetaType<PortalFilterRule>();
        qDBusRegisterMetaType<QList<PortalFilterRule>>();
        qDBusRegisterMetaType<PortalFilter>();
        qDBusRegisterMetaType<QList<PortalFilter>>();
        return true;
    }();
    (void)registered;

    static int requests = 0;
    const QString token = QStringLiteral("taluvex%1").arg(++requests);
    QString sender = bus.baseService().mid(1);
    sender.replace('.', '_');
    // Listening before asking: the answer cannot slip past us.
    auto* pending = new PortalRequest(bus, {}, std::move(completion));
    pending->listen(QStringLiteral("%1/request/%2/%3").arg(kPortalPath, sender, token));

    QVariantMap options;
    options.insert("handle_token", token);
    options.insert("modal", true);
    QList<PortalFilter> filters;
    for (const FileDialogFilter& f : parseNameFilters(request.nameFilters)) {
        PortalFilter filter{QString::fromStdString(f.name), {}};
        for (const auto& pattern : f.patterns)
            filter.rules.push_back({0, QString::fromStdString(pattern)});
        filters.push_back(filter);
    }
    if (!filters.isEmpty())
        options.insert("filters", QVariant::fromValue(filters));
    if (!request.directory.empty()) {
        QByteArray folder = QByteArray::fromStdString(request.directory);
        folder.append('\0');
        options.insert("current_folder", folder);
    }
    if (request.save && !request.suggestedName.empty())
        options.insert("current_name", QString::fromStdString(request.suggestedName));

    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                       "org.freedesktop.portal.FileChooser",
                                                       request.save ? "SaveFile" : "OpenFile");
    call << QString() << QString::fromStdString(request.title) << options;
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), pending);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, pending,
                     [pending, watcher, request] {
                         QDBusPendingReply<QDBusObjectPath> reply = *watcher;
                         watcher->deleteLater();
                         if (reply.isError()) {
                             // No portal after all: the dialog of the application itself.
                             pending->stopListening();
                             FileDialog::Completion completion = pending->takeCompletion();
                             pending->deleteLater();
                             runWithoutPortal(request, std::move(completion));
                             return;
                         }
                         // Older portals answer on a path of their own choosing.
                         const QString path = reply.value().path();
                         if (path != pending->path())
                             pending->listen(path);
                     });
    return true;
}

} // namespace

void FileDialog::setHandler(Handler handler) {
    handlerSlot() = std::move(handler);
}

void FileDialog::run(const FileDialogRequest& request, Completion completion) {
    if (handlerSlot()) {
        handlerSlot()(request, std::move(completion));
        return;
    }
    if (runPortal(request, completion))
        return;
    runWithoutPortal(request, std::move(completion));
}

} // namespace tx

#include "FileDialog.moc"
