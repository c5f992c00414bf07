// taluvex: the desktop application. Records a clip from the camera (or takes a movie the user
// picks) and renders it backwards with the chosen sound and speed.
#include "app/TaluvexAppDelegate.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "services/credentials/CredentialStore.h"
#include "share/FacebookClientSession.h"
#include "shell/TaluvexViewController.h"

#include "platform/foundation/RunLoop.h"

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
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

const char* const kUsage =
    "Usage: taluvex [--help] [--version] [--sign-out]\n"
    "\n"
    "Records a short clip from the camera, or takes a movie you pick, and renders a new movie\n"
    "in which the pictures run backwards at x0.7, x1.0 or x1.3 with the sound you choose.\n"
    "Movies are kept in $XDG_DATA_HOME/taluvex/Documents with a thumbnail beside each.\n"
    "\n"
    "Options:\n"
    "  --help             show this text\n"
    "  --version          show the version\n"
    "  --sign-out         forget the stored Twitter and Facebook sign-ins\n"
    "\n"
    "Keys everywhere (F1 shows the keys of the screen in front):\n"
    "  Tab, Shift+Tab     move the focus ring between the controls of the screen in front\n"
    "  Space, Return      press the control with the focus ring\n"
    "  Esc                back, close or cancel\n"
    "  F1, Ctrl+?         show or hide the list of keys\n"
    "  Ctrl+Q             quit\n"
    "\n"
    "Main screen:\n"
    "  Space              start or stop a recording\n"
    "  O                  pick a movie to reverse\n"
    "  L                  open the movie library\n"
    "  C                  swap cameras\n"
    "  ,                  open or close the settings panel\n"
    "  Esc                cancel a render in progress\n"
    "  Ctrl+Left/Right    turn the simulated device (rotates the camera controls)\n"
    "Settings panel:\n"
    "  Left, Right        slower, faster\n"
    "  Q                  high or low quality\n"
    "  S                  choose the sound\n"
    "  Esc or ,           close the panel\n"
    "Sound, music and movie lists:\n"
    "  Up, Down, Return   move and choose; Space plays a built-in track; typing searches music\n"
    "Trim screen:\n"
    "  Left, Right        move the active handle (Shift: ten steps); Home, End; Tab: other handle\n"
    "  Return             use the chosen part\n"
    "Library:\n"
    "  Up, Down, Return   select and open a movie\n"
    "  Delete             delete the selected movie\n"
    "  E                  edit the list\n"
    "  Ctrl+Tab           switch between my movies and the YouTube tab\n"
    "YouTube tab:\n"
    "  1, 2, 3            newest, most rated, featured\n"
    "  Up, Down, Return   select and watch a movie; C copies its link, M mails it\n"
    "Share screen:\n"
    "  P play, S save to Videos, M mail, T Twitter, F Facebook, E enter the contest\n"
    "Player:\n"
    "  Space play or pause; Left, Right step back or forward\n"
    "Facebook panel: Ctrl+Return shares.  Twitter PIN: Return signs in.\n"
    "\n"
    "Without a camera, a virtual one (a moving test pattern with a tone) stands in.\n";

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

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("taluvex %s\n", TALUVEX_VERSION);
            return 0;
        }
        if (std::strcmp(argv[i], "--sign-out") == 0) {
            std::printf("%s\n", tx::signOutEverywhere().c_str());
            return 0;
        }
        std::fprintf(stderr, "taluvex: unknown option '%s'\n\n%s", argv[i], kUsage);
        return 2;
    }

    static int qtArgc = argc;
    auto* application = new QGuiApplication(qtArgc, argv);
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

    tx::Screen::mainScreen().chooseHeightForDesktop();
    // The Facebook client's session is the one start-up opens and the share panel uses.
    tx::FacebookClientSession::install();
    auto mainScreen = std::make_shared<tx::TaluvexViewController>();
    delegate->setViewController(std::shared_ptr<tx::MainScreen>(mainScreen));
    quitOnTerminationSignals(*mainScreen);
    return tx::applicationMain(argc, argv, delegate);
}
