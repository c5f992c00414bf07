// Mail with one attachment, composed by the user's own mail program: the message is handed over
// through xdg-email with the attachment given by path (never read into memory). Where no mail
// program answers, the user is offered to save the complete message as an .eml file instead.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "platform/ui/AlertView.h"

#include <memory>
#include <string>
#include <vector>

class QProcess;

namespace tx {

class MailComposer;

enum class MailComposeResult {
    // The user's mail program has the message.
    HandedOver,
    // No mail program: the message was saved as a file where the user said.
    Saved,
    Cancelled,
    Failed
};

// Told on the main thread, once per `present`. A failure comes with an error for the user.
class MailComposeDelegate {
public:
    virtual ~MailComposeDelegate() = default;
    virtual void mailComposeControllerDidFinish(MailComposer& composer, MailComposeResult result,
                                                const ErrorPtr& error) = 0;
};

class MailComposer : public Object, public AlertViewDelegate {
public:
    MailComposer();
    ~MailComposer() override;

    void setMailComposeDelegate(std::weak_ptr<MailComposeDelegate> delegate) {
        _delegate = std::move(delegate);
    }
    // Addresses the message goes to; none leaves the choice to the user.
    void setToRecipients(std::vector<std::string> recipients) {
        _recipients = std::move(recipients);
    }
    const std::vector<std::string>& toRecipients() const { return _recipients; }
    void setSubject(std::string subject) { _subject = std::move(subject); }
    const std::string& subject() const { return _subject; }
    void setMessageBody(std::string body, bool isHTML) {
        _body = std::move(body);
        _bodyIsHTML = isHTML;
    }
    const std::string& messageBody() const { return _body; }
    // The file at `path` goes along as `fileName`; the file itself is not read or renamed.
    void addAttachment(std::string path, std::string mimeType, std::string fileName);
    const std::string& attachmentName() const { return _attachmentName; }

    // Hands the message to the user's mail program; the delegate hears how it went. The composer
    // keeps itself alive until then.
    void present();

    // Writes the whole message (headers, the body as given, the attachment in base64) to `path`
    // atomically; false and `error` when it cannot.
    bool writeMessage(const std::string& path, ErrorPtr* error = nullptr) const;

    // The text of an HTML body for mail programs that take plain text: tags dropped, line breaks
    // kept, links written out after their text.
    static std::string plainTextFromHTML(const std::string& html);

    // The program that hands mail over ("xdg-email", looked up in PATH).
    static void setMailProgram(std::string program);

    // Where attachments wait for the mail program, which may read them long after Taluvex has
    // quit: $XDG_CACHE_HOME/taluvex/outbox.
    static std::string outboxDirectory();
    // Empties the outbox of entries last used more than `maxAgeSeconds` ago (a week at start).
    static void removeOldOutboxEntries(double maxAgeSeconds = 7 * 24 * 60 * 60);
    // The attachment under its mail name in the outbox: a hard link to the movie where the disk
    // allows, else one copy per movie, reused by later mails of the same movie.
    std::string attachmentForHandOver(ErrorPtr* error) const;

    void alertViewClickedButtonAtIndex(AlertView& alertView, int buttonIndex) override;

private:
    void handOverFinished(int exitCode, bool started);
    void offerToSave(const std::string& message);
    void saveMessage();
    void finish(MailComposeResult result, const ErrorPtr& error);

    std::weak_ptr<MailComposeDelegate> _delegate;
    std::vector<std::string> _recipients;
    std::string _subject;
    std::string _body;
    bool _bodyIsHTML = false;
    std::string _attachmentPath;
    std::string _attachmentType;
    std::string _attachmentName;
    std::unique_ptr<QProcess> _process;
    std::shared_ptr<AlertView> _alert;
    // Held while presented, so the composer outlives the screen that opened it if need be.
    std::shared_ptr<MailComposer> _self;
};

using MailComposerPtr = std::shared_ptr<MailComposer>;

} // namespace tx
