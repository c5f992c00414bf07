#include "DesktopHome.h"

#include "platform/foundation/RunLoop.h"
#include "platform/system/FileDialog.h"
#include "platform/system/MailComposer.h"
#include "platform/ui/AlertView.h"

#include <QByteArray>

#include <sstream>

#include <sys/stat.h>

using namespace tx;

namespace {

const std::string kBody = "<html><head></head><body>This is my clip which I made with <a "
                          "href='https://example.org/app'>Taluvex</a> App for Linux.<br>Have "
                          "Fun! &amp; more</body></html>";

struct Outcome : MailComposeDelegate {
    std::vector<MailComposeResult> results;
    ErrorPtr error;
    bool onMainThread = false;
    void mailComposeControllerDidFinish(MailComposer&, MailComposeResult result,
                                        const ErrorPtr& e) override {
        results.push_back(result);
        error = e;
        onMainThread = RunLoop::isMainThread();
    }
};

AlertView* findAlert(View& view) {
    for (const ViewPtr& sub : view.subviews()) {
        if (auto* alert = dynamic_cast<AlertView*>(sub.get())) {
            return alert;
        }
        if (AlertView* inner = findAlert(*sub)) {
            return inner;
        }
    }
    return nullptr;
}

// A MIME message taken apart: its headers and its parts' headers and bodies.
struct Part {
    std::string headers;
    std::string body;
};
struct Message {
    std::string headers;
    std::vector<Part> parts;
};

Message parse(const std::string& text) {
    Message message;
    const std::size_t headEnd = text.find("\r\n\r\n");
    message.headers = text.substr(0, headEnd);
    const std::string key = "boundary=\"";
    const std::size_t at = message.headers.find(key);
    const std::string boundary =
        "--" + message.headers.substr(at + key.size(),
                                      message.headers.find('"', at + key.size()) - at - key.size());
    std::size_t from = text.find(boundary, headEnd);
    while (from != std::string::npos) {
        from += boundary.size();
        if (text.compare(from, 2, "--") == 0) {
            break;
        }
        const std::size_t next = text.find(boundary, from);
        const std::string chunk = text.substr(from + 2, next - from - 2);
        const std::size_t split = chunk.find("\r\n\r\n");
        message.parts.push_back({chunk.substr(0, split), chunk.substr(split + 4)});
        from = next;
    }
    return message;
}

class MailComposerTest : public test::DesktopHomeTest {
protected:
    void SetUp() override {
        DesktopHomeTest::SetUp();
        movie = makeFile(home + "/.local/share/taluvex/Documents/3F25.mov", 200 * 1024 + 11);
        composer = std::make_shared<MailComposer>();
        composer->setMailComposeDelegate(outcome);
        composer->setSubject("My backwards movie");
        composer->setMessageBody(kBody, true);
        composer->addAttachment(movie, "video/quicktime", "Taluvex-2013-05-04.mov");
    }
    void TearDown() override {
        MailComposer::setMailProgram({});
        FileDialog::setHandler({});
        DesktopHomeTest::TearDown();
    }
    // A stand-in for xdg-email that writes its arguments, one a line, and ends with `status`.
    std::string fakeMailProgram(int status) {
        const std::string script = home + "/xdg-email";
        std::ofstream(script) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << home
                              << "/handed-over'\nexit " << status << "\n";
        ::chmod(script.c_str(), 0755);
        return script;
    }
    bool waitForResult() {
        return RunLoop::runUntil([&] { return !outcome->results.empty(); }, 5);
    }

    std::string movie;
    MailComposerPtr composer;
    std::shared_ptr<Outcome> outcome = std::make_shared<Outcome>();
};

TEST_F(MailComposerTest, HandsTheMessageOverWithTheMovieAttachedByPathUnderItsMailName) {
    MailComposer::setMailProgram(fakeMailProgram(0));
    composer->present();
    composer.reset(); // the composer keeps itself alive until it has reported
    ASSERT_TRUE(waitForResult());
    EXPECT_EQ(outcome->results, std::vector<MailComposeResult>{MailComposeResult::HandedOver});
    EXPECT_TRUE(outcome->onMainThread);

    const std::string args = contents(home + "/handed-over");
    std::vector<std::string> lines;
    std::istringstream in(args);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 8u) << args;
    EXPECT_EQ(lines[0], "--utf8");
    EXPECT_EQ(lines[1], "--subject");
    EXPECT_EQ(lines[2], "My backwards movie");
    EXPECT_EQ(lines[3], "--body");
    EXPECT_EQ(lines[4] + "\n" + lines[5],
              "This is my clip which I made with Taluvex (https://example.org/app) App for "
              "Linux.\nHave Fun! & more");
    EXPECT_EQ(lines[6], "--attach");
    const std::string attached = lines[7];
    EXPECT_EQ(lastPathComponent(attached), "Taluvex-2013-05-04.mov");
    // In the outbox, where a mail program that reads it after Taluvex has quit still finds it.
    EXPECT_EQ(attached.rfind(home + "/.cache/taluvex/outbox/", 0), 0u) << attached;
    EXPECT_TRUE(contents(attached) == contents(movie));
    EXPECT_TRUE(fileExists(movie)) << "the movie itself keeps its name";
}

// Attachments of one movie share its bytes however often it is mailed, and entries unused for
// a week are emptied out at start.
TEST_F(MailComposerTest, TheOutboxSharesOneMovieAndForgetsOldEntries) {
    ErrorPtr error;
    const std::string first = composer->attachmentForHandOver(&error);
    ASSERT_FALSE(first.empty()) << error->localizedDescription();
    auto again = std::make_shared<MailComposer>();
    again->addAttachment(movie, "video/quicktime", "Taluvex-2013-05-05.mov");
    const std::string second = again->attachmentForHandOver(&error);
    ASSERT_FALSE(second.empty());
    struct stat a {};
    struct stat b {};
    struct stat original {};
    ::stat(first.c_str(), &a);
    ::stat(second.c_str(), &b);
    ::stat(movie.c_str(), &original);
    EXPECT_EQ(a.st_ino, b.st_ino) << "one copy of the bytes";
    EXPECT_EQ(a.st_ino, original.st_ino) << "hard-linked on the same disk";

    const std::string outbox = MailComposer::outboxDirectory();
    const std::string stale = outbox + "/old-movie";
    makeFile(stale + "/Old.mov", 10);
    std::filesystem::last_write_time(
        stale, std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 8));
    MailComposer::removeOldOutboxEntries();
    EXPECT_FALSE(fileExists(stale));
    EXPECT_TRUE(fileExists(first));
    EXPECT_TRUE(fileExists(second));
}

TEST_F(MailComposerTest, WithoutAMailProgramTheUserCanSaveTheWholeMessage) {
    MailComposer::setMailProgram(home + "/no-such-program");
    const std::string saved = home + "/Desktop/mail.eml";
    FileDialogRequest asked;
    FileDialog::setHandler([&](const FileDialogRequest& request, FileDialog::Completion done) {
        asked = request;
        done(saved);
    });
    composer->present();
    AlertView* alert = nullptr;
    ASSERT_TRUE(RunLoop::runUntil([&] { return (alert = findAlert(*window)) != nullptr; }, 5));
    EXPECT_NE(alert->message().find("No mail program"), std::string::npos) << alert->message();
    EXPECT_EQ(alert->buttonTitleAtIndex(alert->firstOtherButtonIndex()), "Save Message…");
    std::filesystem::create_directories(home + "/Desktop");
    alert->dismissWithClickedButtonIndex(alert->firstOtherButtonIndex(), false);
    ASSERT_TRUE(waitForResult());
    EXPECT_EQ(outcome->results, std::vector<MailComposeResult>{MailComposeResult::Saved});
    EXPECT_TRUE(asked.save);
    EXPECT_EQ(asked.suggestedName, "My backwards movie.eml");

    const Message message = parse(contents(saved));
    EXPECT_NE(message.headers.find("Subject: My backwards movie\r\n"), std::string::npos);
    EXPECT_NE(message.headers.find("MIME-Version: 1.0"), std::string::npos);
    ASSERT_EQ(message.parts.size(), 2u);
    EXPECT_NE(message.parts[0].headers.find("Content-Type: text/html; charset=UTF-8"),
              std::string::npos);
    EXPECT_EQ(message.parts[0].body, kBody + "\r\n");
    EXPECT_NE(message.parts[1].headers.find("Content-Type: video/quicktime"), std::string::npos);
    EXPECT_NE(message.parts[1].headers.find(
                  "Content-Disposition: attachment; filename=\"Taluvex-2013-05-04.mov\""),
              std::string::npos);
    std::string base64 = message.parts[1].body;
    for (std::size_t at = 0; at < base64.size();) {
        const std::size_t eol = base64.find("\r\n", at);
        if (eol == std::string::npos) {
            break;
        }
        EXPECT_LE(eol - at, 76u);
        at = eol + 2;
    }
    std::erase(base64, '\r');
    std::erase(base64, '\n');
    EXPECT_TRUE(QByteArray::fromBase64(QByteArray::fromStdString(base64)).toStdString() ==
                contents(movie));
}

TEST_F(MailComposerTest, AMailProgramThatFailsOrACancelledOfferEndsWithoutSaving) {
    MailComposer::setMailProgram(fakeMailProgram(3));
    bool dialogShown = false;
    FileDialog::setHandler([&](const FileDialogRequest&, FileDialog::Completion done) {
        dialogShown = true;
        done("");
    });
    composer->present();
    AlertView* alert = nullptr;
    ASSERT_TRUE(RunLoop::runUntil([&] { return (alert = findAlert(*window)) != nullptr; }, 5));
    alert->dismissWithClickedButtonIndex(alert->cancelButtonIndex(), false);
    ASSERT_TRUE(waitForResult());
    EXPECT_EQ(outcome->results, std::vector<MailComposeResult>{MailComposeResult::Cancelled});
    EXPECT_FALSE(dialogShown);

    // Any other failure of the hand-off is a failure with its reason.
    outcome->results.clear();
    MailComposer::setMailProgram(fakeMailProgram(1));
    composer->present();
    ASSERT_TRUE(waitForResult());
    EXPECT_EQ(outcome->results, std::vector<MailComposeResult>{MailComposeResult::Failed});
    ASSERT_TRUE(outcome->error);
    EXPECT_NE(outcome->error->localizedDescription().find("status 1"), std::string::npos);
}

TEST_F(MailComposerTest, AMovieThatIsGoneIsSaidToBeGone) {
    MailComposer::setMailProgram(fakeMailProgram(0));
    std::filesystem::remove(movie);
    composer->present();
    ASSERT_TRUE(waitForResult());
    EXPECT_EQ(outcome->results, std::vector<MailComposeResult>{MailComposeResult::Failed});
    ASSERT_TRUE(outcome->error);
    EXPECT_NE(outcome->error->localizedDescription().find("\"3F25.mov\" is no longer there"),
              std::string::npos);
    EXPECT_FALSE(fileExists(home + "/handed-over"));

    ErrorPtr error;
    EXPECT_FALSE(composer->writeMessage(home + "/m.eml", &error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(fileExists(home + "/m.eml")) << "no half-written message";
}

} // namespace
