// taluvex: the desktop application. Records a clip from the camera (or takes a movie the user
// picks) and renders it backwards with the chosen sound and speed.
#include "app/TaluvexAppDelegate.h"
#include "platform/ui/Application.h"
#include "platform/ui/Screen.h"
#include "services/credentials/CredentialStore.h"
#include "share/FacebookClientSession.h"
#include "shell/TaluvexViewController.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

const char* const kUsage =
    "Usage: taluvex [--help] [--version]\n"
    "\n"
    "Records a short clip from the camera, or takes a movie you pick, and renders a new movie\n"
    "in which the pictures run backwards at x0.7, x1.0 or x1.3 with the sound you choose.\n"
    "Movies are kept in $XDG_DATA_HOME/taluvex/Documents with a thumbnail beside each.\n"
    "\n"
    "Keys on the main screen:\n"
    "  Space              start or stop a recording\n"
    "  O                  pick a movie to render\n"
    "  L                  open the movie library\n"
    "  C                  swap the front and back cameras\n"
    "  Esc                cancel a render in progress\n"
    "  Ctrl+Left/Right    turn the simulated device (rotates the camera controls)\n"
    "\n"
    "Without a camera, a virtual one (a moving test pattern with a tone) stands in.\n"
    "\n"
    "Options:\n"
    "  --help             show this text\n"
    "  --version          show the version\n"
    "  --sign-out         forget the stored Twitter and Facebook sign-ins\n";

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

    // TODO(single instance): claim the app id here once SingleInstance lands; a second taluvex
    // raises the first window and exits.

    tx::Screen::mainScreen().chooseHeightForDesktop();
    // The Facebook client's session is the one start-up opens and the share panel uses.
    tx::FacebookClientSession::install();
    auto delegate = std::make_shared<tx::TaluvexAppDelegate>();
    delegate->setViewController(
        std::shared_ptr<tx::MainScreen>(std::make_shared<tx::TaluvexViewController>()));
    return tx::applicationMain(argc, argv, delegate);
}
