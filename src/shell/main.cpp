// taluvex: the desktop application. Records a clip from the camera (or takes a movie the user
// picks) and renders it backwards with the chosen sound and speed.
#include "app/TaluvexAppDelegate.h"
#include "app/ThumbnailQueue.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "services/credentials/CredentialStore.h"
#include "share/FacebookClientSession.h"
#include "shell/TaluvexCommand.h"
#include "shell/TaluvexViewController.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/RunLoop.h"
#include "platform/system/MailComposer.h"
#include "platform/system/PhotoAlbum.h"
#include "platform/system/SerialWorker.h"

#include <QGuiApplication>
#include <QSocketNotifier>

// One taluvex per user comes with the desktop services; built without them, every start opens
// a window.
#if __has_include("platform/system/SingleInstance.h")
#include "platform/system/SingleInstance.h"
#define TX_HAVE_SINGLE_INSTANCE 1
#endif

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

int gSignalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}

// The session ending, Ctrl-C in a terminal or `kill`: stop what is under way (a render leaves
// no partial movie) and leave the run loop, so the process ends normally and its private
// temporary folder, with the camera recording, goes with it.
void quitOnTerminationSignals(tx::MainScreen& mainScreen) {
    if (::pipe(gSignalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read);
    QObject::connect(notifier, &QSocketNotifier::activated, [&mainScreen] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(gSignalPipe[0], &byte, 1);
        mainScreen.stopForQuit();
        tx::RunLoop::quit(0);
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
}

// What runs that ended without tidying up (killed, crashed, power lost) left behind: their
// recordings and exports, half-saved copies in Videos, and mail attachments a week old. What a
// running taluvex or taluvex-render holds is never touched.
void removeLeftoversOfEndedRuns() {
    tx::removeAbandonedTemporaryDirectories();
    // Movies whose render was killed; a render in another instance still holds its own.
    tx::removeAbandonedWorkingFiles(tx::documentsDirectory(), ".partial");
    tx::PhotoAlbum::removeAbandonedWorkingFiles();
    tx::MailComposer::removeOldOutboxEntries();
}

// `--sign-out`: the exit status says whether the sign-ins are really gone.
int signOut() {
    const tx::SignOutReport report = tx::signOutEverywhere();
    std::fprintf(report.ok ? stdout : stderr, "%s%s\n", report.ok ? "" : "taluvex: ",
                 report.message.c_str());
    return report.ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    const tx::CommandLine command(tx::taluvexCommand(), argc, argv, TALUVEX_VERSION);
    if (command.exitStatus()) {
        return *command.exitStatus();
    }
    if (command.isSet("sign-out")) {
        return signOut();
    }

    static int qtArgc = argc;
    auto* application = new QGuiApplication(qtArgc, argv);
    // Also the window's class on X11, which the launcher entry names (StartupWMClass).
    QGuiApplication::setApplicationName(QStringLiteral("taluvex"));
    QGuiApplication::setApplicationVersion(QStringLiteral(TALUVEX_VERSION));
    QGuiApplication::setDesktopFileName(QString::fromLatin1(tx::TaluvexAppDelegate::kAppId));
    (void)application;

    auto delegate = std::make_shared<tx::TaluvexAppDelegate>();
#ifdef TX_HAVE_SINGLE_INSTANCE
    // A second taluvex raises the first one's window and ends.
    std::weak_ptr<tx::TaluvexAppDelegate> weakDelegate = delegate;
    if (!tx::SingleInstance::claim(tx::TaluvexAppDelegate::kAppId, [weakDelegate] {
            auto running = weakDelegate.lock();
            if (running && running->window()) {
                running->window()->raiseOnDesktop();
            }
        })) {
        return 0;
    }
#endif

    removeLeftoversOfEndedRuns();
    tx::Screen::mainScreen().chooseHeightForDesktop();
    // The Facebook client's session is the one start-up opens and the share panel uses.
    tx::FacebookClientSession::install();
    auto mainScreen = std::make_shared<tx::TaluvexViewController>();
    delegate->setViewController(std::shared_ptr<tx::MainScreen>(mainScreen));
    quitOnTerminationSignals(*mainScreen);
    const int status = tx::applicationMain(argc, argv, delegate);
    // However the loop ended, no thumbnail is half-written when the process goes.
    tx::ThumbnailQueue::shared().stop();
    tx::SerialWorker::finishAll();
    return status;
}
