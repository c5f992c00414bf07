#include "platform/system/MailComposer.h"
#include "platform/foundation/Translation.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/system/FileDialog.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSaveFile>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tx {

namespace {

const char* const kMailDomain = "MailComposer";
// xdg-email's exit statuses: a required tool (a mail program) was not found, or it failed.
constexpr int kNoMailTool = 3;
constexpr int kMailActionFailed = 4;
// Bytes of attachment per read: 76-character base64 lines hold 57 bytes each.
constexpr qint64 kBase64ChunkBytes = 57 * 1024;
constexpr int kLongestRawLine = 900;

std::string& mailProgram() {
    static auto* program = new std::string("xdg-email");
    return *program;
}

ErrorPtr mailError(std::string text) {
    return Error::make(kMailDomain, 0, std::move(text));
}

// An address fit for a header line and the hand-over's command line.
bool usableAddress(const std::string& address) {
    return !address.empty() && address.front() != '-' &&
           address.find_first_of("\r\n,<>\"") == std::string::npos;
}

std::string encodedHeader(const std::string& text);

// "\r\nTo: a, b", or nothing without usable recipients.
std::string recipientsHeader(const std::vector<std::string>& recipients) {
    std::string line;
    for (const std::string& recipient : recipients) {
        if (usableAddress(recipient)) {
            line += (line.empty() ? "\r\nTo: " : ", ") + recipient;
        }
    }
    return line;
}

std::string encodedHeader(const std::string& text) {
    for (unsigned char c : text) {
        if (c >= 0x80 || c < 0x20) {
            return "=?UTF-8?B?" + QByteArray::fromStdString(text).toBase64().toStdString() + "?=";
        }
    }
    return text;
}

std::string quotedName(const std::string& name) {
    std::string quoted;
    for (char c : name) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return "\"" + quoted + "\"";
}

bool hasLongLine(const std::string& text) {
    std::size_t length = 0;
    for (char c : text) {
        length = c == '\n' ? 0 : length + 1;
        if (length > kLongestRawLine) {
            return true;
        }
    }
    return false;
}

std::string withCRLF(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            out += '\r';
        }
        out += text[i];
    }
    return out;
}

std::string base64Lines(const QByteArray& data) {
    const QByteArray encoded = data.toBase64();
    std::string out;
    for (qsizetype at = 0; at < encoded.size(); at += 76) {
        out += encoded.mid(at, 76).toStdString();
        out += "\r\n";
    }
    return out;
}

} // namespace

MailComposer::MailComposer() = default;

MailComposer::~MailComposer() {
    if (_process) {
        QObject::disconnect(_process.get(), nullptr, nullptr, nullptr);
    }
}

void MailComposer::setMailProgram(std::string program) {
    mailProgram() = program.empty() ? std::string("xdg-email") : std::move(program);
}

void MailComposer::addAttachment(std::string path, std::string mimeType, std::string fileName) {
    _attachmentPath = std::move(path);
    _attachmentType = std::move(mimeType);
    _attachmentName = std::move(fileName);
}

std::string MailComposer::plainTextFromHTML(const std::string& html) {
    std::string text = html;
    // Links: "text (address)".
    static const std::regex link(R"(<a\s+[^>]*href\s*=\s*['"]([^'"]*)['"][^>]*>(.*?)</a\s*>)",
                                 std::regex::icase);
    text = std::regex_replace(text, link, "$2 ($1)");
    static const std::regex lineBreak(R"(<\s*(br|/p|/div)\s*/?\s*>)", std::regex::icase);
    text = std::regex_replace(text, lineBreak, "\n");
    static const std::regex head(R"(<head\b.*?</head\s*>)", std::regex::icase);
    text = std::regex_replace(text, head, "");
    static const std::regex tag(R"(<[^>]*>)");
    text = std::regex_replace(text, tag, "");
    const std::pair<const char*, const char*> entities[] = {{"&lt;", "<"},    {"&gt;", ">"},
                                                            {"&quot;", "\""}, {"&#39;", "'"},
                                                            {"&nbsp;", " "},  {"&amp;", "&"}};
    for (const auto& [entity, plain] : entities) {
        for (std::size_t at = text.find(entity); at != std::string::npos;
             at = text.find(entity, at + 1)) {
            text.replace(at, std::strlen(entity), plain);
        }
    }
    return text;
}

std::string MailComposer::outboxDirectory() {
    return pathByAppending(cacheDirectory(), "outbox");
}

void MailComposer::removeOldOutboxEntries(double maxAgeSeconds) {
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (const auto& entry : fs::directory_iterator(outboxDirectory(), ec)) {
        std::error_code timeError;
        const auto changed = fs::last_write_time(entry.path(), timeError);
        if (!timeError && std::chrono::duration<double>(now - changed).count() > maxAgeSeconds) {
            fs::remove_all(entry.path(), timeError);
        }
    }
}

std::string MailComposer::attachmentForHandOver(ErrorPtr* error) const {
    // One folder per movie (its disk, file number, size and time), so the movie itself is never
    // renamed, a mail program that reads the attachment later still finds it, and a second mail
    // of the same movie costs no second copy.
    struct stat info {};
    if (::stat(_attachmentPath.c_str(), &info) != 0) {
        *error = mailError(withArguments(_("The movie could not be attached: %1."),
                                         {std::strerror(errno)}));
        return {};
    }
    const std::string folder = pathByAppending(
        outboxDirectory(), std::to_string(info.st_dev) + "-" + std::to_string(info.st_ino) + "-" +
                               std::to_string(info.st_size) + "-" +
                               std::to_string(info.st_mtim.tv_sec));
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        *error = mailError(withArguments(_("The movie could not be attached: %1."), {ec.message()}));
        return {};
    }
    fs::last_write_time(folder, fs::file_time_type::clock::now(), ec); // in use again
    const std::string named = pathByAppending(folder, _attachmentName);
    if (fileExists(named) || ::link(_attachmentPath.c_str(), named.c_str()) == 0) {
        return named;
    }
    // Another disk: an earlier copy of this movie under another mail name serves again.
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string earlier = entry.path().string();
        if (lastPathComponent(earlier).rfind(".copy-", 0) != 0 &&
            ::link(earlier.c_str(), named.c_str()) == 0) {
            return named;
        }
    }
    // Copied under a working name and renamed, so the mail name only ever holds a whole movie.
    const std::string working = pathByAppending(folder, ".copy-" + uniqueString());
    fs::copy_file(_attachmentPath, working, ec);
    if (!ec) {
        fs::rename(working, named, ec);
    }
    if (ec) {
        std::error_code ignored;
        fs::remove(working, ignored);
        *error = mailError(withArguments(_("The movie could not be attached: %1."), {ec.message()}));
        return {};
    }
    return named;
}

void MailComposer::present() {
    _self = sharedAs<MailComposer>();
    std::string attachment;
    if (!_attachmentPath.empty()) {
        if (!fileExists(_attachmentPath)) {
            finish(MailComposeResult::Failed,
                   mailError(withArguments(
                       _("The movie \"%1\" is no longer there, so it cannot be sent."),
                       {lastPathComponent(_attachmentPath)})));
            return;
        }
        ErrorPtr error;
        attachment = attachmentForHandOver(&error);
        if (attachment.empty()) {
            finish(MailComposeResult::Failed, error);
            return;
        }
    }
    QStringList arguments{"--utf8", "--subject", QString::fromStdString(_subject), "--body",
                          QString::fromStdString(_bodyIsHTML ? plainTextFromHTML(_body) : _body)};
    if (!attachment.empty()) {
        arguments << "--attach" << QString::fromStdString(attachment);
    }
    for (const std::string& recipient : _recipients) {
        if (usableAddress(recipient)) {
            arguments << QString::fromStdString(recipient);
        }
    }
    _process = std::make_unique<QProcess>();
    _process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    std::weak_ptr<MailComposer> weak = _self;
    QObject::connect(_process.get(), &QProcess::finished, _process.get(),
                     [weak](int exitCode, QProcess::ExitStatus status) {
                         if (auto self = weak.lock()) {
                             self->handOverFinished(
                                 status == QProcess::NormalExit ? exitCode : kMailActionFailed,
                                 true);
                         }
                     });
    QObject::connect(_process.get(), &QProcess::errorOccurred, _process.get(),
                     [weak](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) {
                             return;
                         }
                         if (auto self = weak.lock()) {
                             self->handOverFinished(kNoMailTool, false);
                         }
                     });
    _process->start(QString::fromStdString(mailProgram()), arguments);
}

void MailComposer::handOverFinished(int exitCode, bool started) {
    if (!_process) {
        return;
    }
    // Let go of the process on a later turn: this runs inside one of its signals.
    RunLoop::post([process = std::shared_ptr<QProcess>(_process.release())]() {});
    if (exitCode == 0) {
        finish(MailComposeResult::HandedOver, nullptr);
    } else if (exitCode == kNoMailTool || !started) {
        offerToSave(_("No mail program is set up on this computer. You can save the message and "
                      "send it from your mail account later."));
    } else if (exitCode == kMailActionFailed) {
        offerToSave(_("Your mail program could not be opened. You can save the message and send "
                      "it from your mail account later."));
    } else {
        finish(MailComposeResult::Failed,
               mailError(withArguments(_("The message could not be handed to your mail program "
                                         "(%1 ended with status %2)."),
                                       {mailProgram(), std::to_string(exitCode)})));
    }
}

void MailComposer::offerToSave(const std::string& message) {
    _alert = std::make_shared<AlertView>(_("No Mail Program"), message,
                                         sharedAs<AlertViewDelegate>(), _("Cancel"),
                                         std::vector<std::string>{_("Save Message…")});
    _alert->show();
}

void MailComposer::alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) {
    const bool save = buttonIndex == alertView.firstOtherButtonIndex();
    _alert.reset();
    if (save) {
        saveMessage();
    } else {
        finish(MailComposeResult::Cancelled, nullptr);
    }
}

void MailComposer::saveMessage() {
    FileDialogRequest request;
    request.title = _("Save Message");
    request.nameFilters = {withArguments(_("E-mail messages (%1)"), {"*.eml"})};
    request.directory = documentsDirectory();
    request.save = true;
    request.suggestedName = (_subject.empty() ? std::string("Message") : _subject) + ".eml";
    std::weak_ptr<MailComposer> weak = sharedAs<MailComposer>();
    FileDialog::run(request, [weak](const std::string& path) {
        auto self = weak.lock();
        if (!self) {
            return;
        }
        if (path.empty()) {
            self->finish(MailComposeResult::Cancelled, nullptr);
            return;
        }
        ErrorPtr error;
        if (self->writeMessage(path, &error)) {
            self->finish(MailComposeResult::Saved, nullptr);
        } else {
            self->finish(MailComposeResult::Failed, error);
        }
    });
}

bool MailComposer::writeMessage(const std::string& path, ErrorPtr* error) const {
    auto fail = [&](const std::string& text) {
        if (error != nullptr) {
            *error = mailError(text);
        }
        return false;
    };
    QFile attachment(QString::fromStdString(_attachmentPath));
    if (!_attachmentPath.empty() && !attachment.open(QIODevice::ReadOnly)) {
        return fail(withArguments(_("The movie \"%1\" could not be read: %2."),
                                  {lastPathComponent(_attachmentPath),
                                   attachment.errorString().toStdString()}));
    }
    QSaveFile out(QString::fromStdString(path));
    if (!out.open(QIODevice::WriteOnly)) {
        return fail(withArguments(_("The message could not be saved as %1: %2."),
                                  {path, out.errorString().toStdString()}));
    }
    const std::string boundary = "=_taluvex_" + uniqueString();
    std::string head = "MIME-Version: 1.0\r\n"
                       "Date: " +
                       QDateTime::currentDateTime().toString(Qt::RFC2822Date).toStdString() +
                       "\r\n"
                       "Subject: " +
                       encodedHeader(_subject) + recipientsHeader(_recipients) +
                       "\r\n"
                       "X-Unsent: 1\r\n"
                       "Content-Type: multipart/mixed; boundary=\"" +
                       boundary + "\"\r\n\r\n";
    head += "--" + boundary + "\r\n";
    head += std::string("Content-Type: ") + (_bodyIsHTML ? "text/html" : "text/plain") +
            "; charset=UTF-8\r\n";
    if (hasLongLine(_body)) {
        head += "Content-Transfer-Encoding: base64\r\n\r\n" +
                base64Lines(QByteArray::fromStdString(_body));
    } else {
        head += "Content-Transfer-Encoding: 8bit\r\n\r\n" + withCRLF(_body) + "\r\n";
    }
    out.write(head.data(), static_cast<qint64>(head.size()));
    if (!_attachmentPath.empty()) {
        const std::string part =
            "--" + boundary + "\r\nContent-Type: " + _attachmentType +
            "; name=" + quotedName(_attachmentName) +
            "\r\nContent-Disposition: attachment; filename=" + quotedName(_attachmentName) +
            "\r\nContent-Transfer-Encoding: base64\r\n\r\n";
        out.write(part.data(), static_cast<qint64>(part.size()));
        for (;;) {
            const QByteArray chunk = attachment.read(kBase64ChunkBytes);
            if (chunk.isEmpty()) {
                break;
            }
            const std::string lines = base64Lines(chunk);
            out.write(lines.data(), static_cast<qint64>(lines.size()));
        }
        if (attachment.error() != QFileDevice::NoError) {
            out.cancelWriting();
            return fail(withArguments(_("The movie \"%1\" could not be read: %2."),
                                      {lastPathComponent(_attachmentPath),
                                       attachment.errorString().toStdString()}));
        }
    }
    const std::string tail = "--" + boundary + "--\r\n";
    out.write(tail.data(), static_cast<qint64>(tail.size()));
    if (!out.commit()) {
        return fail(withArguments(_("The message could not be saved as %1: %2."),
                                  {path, out.errorString().toStdString()}));
    }
    return true;
}

void MailComposer::finish(MailComposeResult result, const ErrorPtr& error) {
    auto keep = std::move(_self);
    if (auto delegate = _delegate.lock()) {
        delegate->mailComposeControllerDidFinish(*this, result, error);
    }
}

} // namespace tx
