// The contest form over the share screen: when Submit may be pressed, the keys, the mail handed to
// the user's mail program, and the form's life on screen.
#include "share/ScreenTestSupport.h"

#include "share/MailRecorder.h"

#include "platform/system/MailComposer.h"
#include "platform/ui/Application.h"
#include "platform/ui/Image.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/Screen.h"
#include "services/http/ServiceConfig.h"
#include "share/OverlayView.h"
#include "share/ShareViewController.h"
#include "share/SubmitToContestNoticeViewController.h"
#include "share/SubmitToContestViewController.h"

#include <sys/stat.h>

#include <fstream>

namespace tx {
namespace {

class ContestTest : public test::ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        std::filesystem::create_directories(home + "/.config/taluvex");
        std::ofstream(home + "/.config/taluvex/services.ini")
            << "[contest]\naddress=contest@example.org\nfacebook_page=https://example.org/p\n";
        ServiceConfig::reload();
        test::ClipSpec spec;
        spec.seconds = 1.3;
        path = addMovie("3F2504E0.mov", spec);
        share = std::make_shared<ShareViewController>();
        share->setPath(path);
        root->presentViewController(share, false);
    }
    void TearDown() override {
        form.reset();
        share.reset();
        MailComposer::setMailProgram({});
        ScreenTest::TearDown();
        ServiceConfig::reload();
    }
    // Opens the form with the share screen's contest button.
    void openForm() {
        share->contestButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
        auto overlay = std::dynamic_pointer_cast<OverlayView>(window->subviews().back());
        ASSERT_TRUE(overlay);
        auto* owner = dynamic_cast<SubmitToContestViewController*>(overlay->viewController());
        ASSERT_TRUE(owner);
        form = owner->sharedAs<SubmitToContestViewController>();
    }
    void type(const std::string& text) {
        for (char c : text) {
            window->sendKey(character(std::string(1, c)));
        }
    }
    void tap(const View& view) {
        const Rect frame = view.convertRectToView(view.bounds(), nullptr);
        window->sendTouch(TouchPhase::Began, Point(frame.midX(), frame.midY()));
        window->sendTouch(TouchPhase::Ended, Point(frame.midX(), frame.midY()));
    }
    bool submitEnabled() const { return form->submitButton()->isEnabled(); }

    std::string path;
    std::shared_ptr<ShareViewController> share;
    std::shared_ptr<SubmitToContestViewController> form;
};

TEST_F(ContestTest, SubmitIsEnabledExactlyWhileAllThreeEntriesHaveText) {
    openForm();
    EXPECT_FALSE(submitEnabled());
    EXPECT_EQ(window->firstResponder(), form->titleField().get());
    type("A");
    window->sendKey(key(KeyEvent::Key::Return));
    EXPECT_EQ(window->firstResponder(), form->nameField().get());
    type("B");
    window->sendKey(key(KeyEvent::Key::Tab));
    EXPECT_EQ(window->firstResponder(), form->emailField().get());
    EXPECT_FALSE(submitEnabled());
    type("c");
    EXPECT_TRUE(submitEnabled()) << "the first character of the address enables Submit";
    window->sendKey(key(KeyEvent::Key::Backspace));
    EXPECT_FALSE(submitEnabled());
    type("c");
    // Deleting the last character of another field disables it too.
    form->nameField()->becomeFirstResponder();
    window->sendKey(key(KeyEvent::Key::End));
    window->sendKey(key(KeyEvent::Key::Backspace));
    EXPECT_FALSE(submitEnabled());
    type("B");
    EXPECT_TRUE(submitEnabled());

    // Return in the last field leaves the fields for Submit, sending nothing yet; the form still
    // has the keys, and Shift+Tab goes back into the fields.
    test::MailRecorder recorder(home);
    form->emailField()->becomeFirstResponder();
    window->sendKey(key(KeyEvent::Key::Return));
    EXPECT_EQ(window->firstResponder(), form->submitButton().get());
    EXPECT_EQ(window->focusRingView(), form->submitButton().get());
    EXPECT_TRUE(recorder.arguments().empty());
    KeyEvent back = key(KeyEvent::Key::Tab);
    back.shift = true;
    window->sendKey(back);
    EXPECT_EQ(window->firstResponder(), form->emailField().get());
    // With a field empty, Return in the last one leaves the fields without a ring on Submit.
    window->sendKey(key(KeyEvent::Key::Backspace));
    window->sendKey(key(KeyEvent::Key::Return));
    EXPECT_FALSE(dynamic_cast<TextField*>(window->firstResponder()));
    EXPECT_EQ(window->focusRingView(), nullptr);
    window->sendKey(key(KeyEvent::Key::Return));
    EXPECT_TRUE(recorder.arguments().empty()) << "Return outside the fields sends only when complete";
    EXPECT_TRUE(form->isShown());
}

TEST_F(ContestTest, PastingTheLastMissingEntryEnablesSubmitAtOnce) {
    openForm();
    form->nameField()->setText("Name");
    form->emailField()->setText("me@example.org");
    EXPECT_FALSE(submitEnabled());
    Pasteboard::generalPasteboard().setString("My backwards day");
    KeyEvent paste = character("v");
    paste.control = true;
    window->sendKey(paste);
    EXPECT_EQ(form->titleField()->text(), "My backwards day");
    EXPECT_TRUE(submitEnabled());
}

TEST_F(ContestTest, TheEntryIsMailedToTheContestWithTheMovieByPath) {
    const std::string original = contents(path);
    openForm();
    type("A");
    window->sendKey(key(KeyEvent::Key::Tab));
    type("B");
    window->sendKey(key(KeyEvent::Key::Tab));
    type("C");
    test::MailRecorder recorder(home);
    form->submitButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
    const auto args = recorder.arguments();
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[1], "--subject");
    EXPECT_EQ(args[2], "Contest Submit");
    EXPECT_EQ(args[4], "A\nB\nC\n");
    EXPECT_EQ(args[5], "--attach");
    EXPECT_EQ(std::filesystem::path(args[6]).filename(), "ContestMovie.mov");
    EXPECT_NE(args[6], path);
    EXPECT_EQ(args[7], "contest@example.org");
    EXPECT_EQ(contents(path), original) << "the movie stays where it is, unchanged";
    EXPECT_TRUE(form->isShown()) << "the form stays open after the hand-off";
    EXPECT_EQ(form->lastComposer()->attachmentName(), "ContestMovie.mov");
    EXPECT_EQ(SubmitToContestViewController::mailBody("A", "B", "C"), "A\nB\nC\n");

    // The saved message names the recipient on a line of its own.
    ASSERT_TRUE(form->lastComposer()->writeMessage(home + "/entry.eml"));
    const std::string message = contents(home + "/entry.eml");
    EXPECT_NE(message.find("\r\nTo: contest@example.org\r\n"), std::string::npos);
    EXPECT_NE(message.find("Subject: Contest Submit\r\n"), std::string::npos);
    EXPECT_NE(message.find("name=\"ContestMovie.mov\""), std::string::npos);
}

TEST_F(ContestTest, TheNoticeOpensTheContestPageOnlyOverHttps) {
    std::vector<std::string> opened;
    Application::setOpenURLHandler([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    auto notice = std::make_shared<SubmitToContestNoticeViewController>();
    notice->show();
    tap(*notice->facebookButton());
    EXPECT_EQ(opened, std::vector<std::string>{"https://example.org/p"});
    EXPECT_TRUE(alerts().empty());

    std::ofstream(home + "/.config/taluvex/services.ini")
        << "[contest]\nfacebook_page=http://example.org/p\n";
    ServiceConfig::reload();
    notice->facebook();
    EXPECT_EQ(opened.size(), 1u);
    EXPECT_NE(waitForAlert().find("facebook_page"), std::string::npos);
    dismissAlerts();
    notice->hide();
    Application::setOpenURLHandler({});
}

TEST_F(ContestTest, OnlyPlainAddressesBecomeRecipients) {
    MailComposer composer;
    composer.setToRecipients({"a@example.org\r\nBcc: spy@example.org", "-x@example.org",
                              "ok@example.org", "two@example.org"});
    composer.setSubject("s");
    composer.setMessageBody("b", false);
    ASSERT_TRUE(composer.writeMessage(home + "/m.eml"));
    const std::string message = contents(home + "/m.eml");
    EXPECT_NE(message.find("\r\nTo: ok@example.org, two@example.org\r\n"), std::string::npos)
        << message;
    EXPECT_EQ(message.find("spy@"), std::string::npos);
    EXPECT_EQ(message.find("-x@"), std::string::npos);
}

TEST_F(ContestTest, WithoutAContestAddressTheButtonIsDimmedAndSaysSoBeforeTheForm) {
    std::ofstream(home + "/.config/taluvex/services.ini") << "[contest]\n";
    ServiceConfig::reload();
    auto unconfigured = std::make_shared<ShareViewController>();
    unconfigured->setPath(path);
    share->presentViewController(unconfigured, false);
    EXPECT_LT(unconfigured->contestButton()->alpha(), 1.0);
    unconfigured->contestButton()->sendActionsForControlEvents(ControlEventTouchUpInside);
    EXPECT_NE(waitForAlert().find("No contest is configured"), std::string::npos);
    for (const ViewPtr& layer : window->subviews())
        EXPECT_FALSE(dynamic_cast<SubmitToContestViewController*>(layer->viewController()));
    dismissAlerts();
    unconfigured->dismissViewController(false);
}

TEST_F(ContestTest, WithoutAContestAddressSubmitExplainsAndSendsNothing) {
    // The address went away while the form was open.
    openForm();
    std::ofstream(home + "/.config/taluvex/services.ini") << "[contest]\n";
    ServiceConfig::reload();
    for (const auto& field : {form->titleField(), form->nameField(), form->emailField()}) {
        field->becomeFirstResponder();
        type("x");
    }
    ASSERT_TRUE(submitEnabled());
    MailComposer::setMailProgram(home + "/must-not-run");
    form->onSubmit();
    EXPECT_NE(waitForAlert().find("No contest is configured"), std::string::npos);
    EXPECT_FALSE(form->lastComposer());
    dismissAlerts();
}

TEST_F(ContestTest, TheFormSlidesInAndEscapeSlidesItOutAndReleasesIt) {
    openForm();
    const double height = Screen::mainScreen().bounds().size.height;
    EXPECT_EQ(form->view()->frame(), Rect(0, 0, 320, height));
    EXPECT_GT(form->view()->presentationFrame().origin.x, 0) << "it slides in from the right";
    EXPECT_EQ(form->screenFrame().height(), height);
    std::weak_ptr<SubmitToContestViewController> alive = form;
    const ViewPtr formView = form->view();
    form.reset();
    window->sendKey(key(KeyEvent::Key::Escape));
    EXPECT_EQ(root->presentedViewController(), share.get()) << "the share screen stays";
    EXPECT_EQ(formView->frame().origin.x, 320);
    EXPECT_TRUE(RunLoop::runUntil([&] { return alive.expired(); }, 3));
    EXPECT_EQ(formView->superview(), nullptr);
}

TEST_F(ContestTest, OnAShortScreenTheFormShowsItsShortBackground) {
    const double height = Screen::mainScreen().bounds().size.height;
    Screen::mainScreen().setHeight(480);
    auto short480 = std::make_shared<SubmitToContestViewController>();
    short480->view();
    EXPECT_EQ(short480->pBgImageView()->image(), Image::imageNamed("contest_bg_640_864@2x.png"));
    EXPECT_FALSE(short480->submitButton()->isEnabled());
    Screen::mainScreen().setHeight(568);
    auto tall = std::make_shared<SubmitToContestViewController>();
    tall->view();
    EXPECT_EQ(tall->pBgImageView()->image(), Image::imageNamed("contest_bg_640_1040"));
    Screen::mainScreen().setHeight(height);
}

} // namespace
} // namespace tx
