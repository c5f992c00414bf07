// The screensaver inhibit, the file chooser portal and the one-instance rule, against a private
// session bus with stand-ins for the desktop's services.
#include "platform/foundation/RunLoop.h"
#include "platform/system/AppPage.h"
#include "platform/system/FileDialog.h"
#include "platform/system/IdleInhibitor.h"
#include "platform/system/SessionBus.h"
#include "platform/system/SingleInstance.h"
#include "platform/ui/Application.h"
#include "support/MediaFixtures.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace tx;

// The desktop's screensaver, as far as inhibiting goes.
class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    QStringList calls;
    uint nextCookie = 41;

public slots:
    uint Inhibit(const QString& application, const QString& reason) {
        calls << "Inhibit " + application + " " + reason;
        return ++nextCookie;
    }
    void UnInhibit(uint cookie) { calls << QStringLiteral("UnInhibit %1").arg(cookie); }
};

// The file chooser portal: answers every request with `answerUri` (empty: the user cancelled).
class FakePortal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.FileChooser")
public:
    QDBusConnection* bus = nullptr;
    QString answerUri;
    QString title;
    QVariantMap options;

public slots:
    QDBusObjectPath OpenFile(const QString& parent, const QString& title_, const QVariantMap& o) {
        (void)parent;
        title = title_;
        options = o;
        QString sender = message().service().mid(1);
        sender.replace('.', '_');
        const QString path = "/org/freedesktop/portal/desktop/request/" + sender + "/" +
                             o.value("handle_token").toString();
        QDBusMessage response =
            QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response");
        QVariantMap results;
        if (!answerUri.isEmpty())
            results.insert("uris", QStringList{answerUri});
        response << uint(answerUri.isEmpty() ? 1 : 0) << results;
        bus->send(response);
        return QDBusObjectPath(path);
    }
};

namespace {

// A session bus of the test's own, with a second connection that serves the stand-ins.
class PrivateBus : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        const std::string out =
            test::capture("dbus-daemon --session --fork --print-address=1 --print-pid=1 "
                          "2>/dev/null");
        const auto newline = out.find('\n');
        if (newline == std::string::npos)
            return;
        address = out.substr(0, newline);
        pid = std::atoi(out.c_str() + newline + 1);
    }
    static void TearDownTestSuite() {
        setSessionBusAddress({});
        if (pid > 0)
            ::kill(pid, SIGTERM);
    }
    void SetUp() override {
        if (address.empty())
            GTEST_SKIP() << "no dbus-daemon to run a private bus";
        setSessionBusAddress(address);
        services = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(address), "stand-ins"));
        ASSERT_TRUE(services->isConnected());
    }
    void TearDown() override {
        if (services) {
            services->unregisterService("org.freedesktop.ScreenSaver");
            services->unregisterService("org.freedesktop.portal.Desktop");
            services->unregisterObject("/org/freedesktop/ScreenSaver");
            services->unregisterObject("/org/freedesktop/portal/desktop");
        }
        services.reset();
        QDBusConnection::disconnectFromBus("stand-ins");
        FileDialog::setHandler({});
    }

    static inline std::string address;
    static inline int pid = 0;
    std::unique_ptr<QDBusConnection> services;
};

} // namespace

TEST_F(PrivateBus, TheScreensaverIsHeldOnceWhileAnyTokenLivesAndLetGoAfterTheLast) {
    FakeScreenSaver saver;
    ASSERT_TRUE(services->registerObject("/org/freedesktop/ScreenSaver", &saver,
                                         QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(services->registerService("org.freedesktop.ScreenSaver"));
    IdleInhibitor& inhibitor = IdleInhibitor::shared();

    auto recording = inhibitor.inhibit("Recording a clip");
    auto rendering = inhibitor.inhibit("Rendering a movie");
    EXPECT_EQ(inhibitor.activeCount(), 2);
    ASSERT_TRUE(RunLoop::runUntil([&] { return inhibitor.isHeldByDesktop(); }, 5));
    EXPECT_EQ(saver.calls, QStringList{"Inhibit org.taluvex.Taluvex Recording a clip"});
    recording.reset();
    RunLoop::runFor(0.1);
    EXPECT_EQ(saver.calls.size(), 1);
    rendering.reset();
    EXPECT_EQ(inhibitor.activeCount(), 0);
    ASSERT_TRUE(RunLoop::runUntil([&] { return saver.calls.size() == 2; }, 5));
    EXPECT_EQ(saver.calls.back(), "UnInhibit 42");

    // A token dropped before the desktop answers still lets the desktop rest afterwards.
    inhibitor.inhibit("Playing a movie").reset();
    ASSERT_TRUE(RunLoop::runUntil([&] { return saver.calls.size() == 4; }, 5));
    EXPECT_EQ(saver.calls.back(), "UnInhibit 43");
    EXPECT_FALSE(inhibitor.isHeldByDesktop());
}

TEST_F(PrivateBus, WithoutAScreensaverOrABusInhibitingDoesNothingAndFailsNothing) {
    auto token = IdleInhibitor::shared().inhibit("Recording a clip");
    RunLoop::runFor(0.2);
    EXPECT_EQ(IdleInhibitor::shared().activeCount(), 1);
    EXPECT_FALSE(IdleInhibitor::shared().isHeldByDesktop());
    token.reset();

    setSessionBusAddress("unix:path=/nonexistent/bus");
    token = IdleInhibitor::shared().inhibit("Recording a clip");
    EXPECT_FALSE(IdleInhibitor::shared().isHeldByDesktop());
    token.reset();
    EXPECT_EQ(IdleInhibitor::shared().activeCount(), 0);
}

TEST_F(PrivateBus, TheFileDialogAsksThePortalWithFiltersAndFolderAndReadsItsAnswer) {
    FakePortal portal;
    portal.bus = services.get();
    ASSERT_TRUE(services->registerObject("/org/freedesktop/portal/desktop", &portal,
                                         QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(services->registerService("org.freedesktop.portal.Desktop"));

    portal.answerUri = "file:///home/me/Videos/Beach%20day.mov";
    std::string got = "unset";
    FileDialog::run(
        {"Choose a Movie", {"Movies (*.mov *.mp4)", "All files (*)"}, "/home/me/Videos", false, ""},
        [&](const std::string& path) { got = path; });
    ASSERT_TRUE(RunLoop::runUntil([&] { return got != "unset"; }, 5));
    EXPECT_EQ(got, "/home/me/Videos/Beach day.mov");
    EXPECT_EQ(portal.title, "Choose a Movie");
    EXPECT_EQ(portal.options.value("current_folder").toByteArray(),
              QByteArray("/home/me/Videos\0", 16));
    EXPECT_TRUE(portal.options.contains("filters"));

    portal.answerUri.clear(); // the user cancels
    got = "unset";
    FileDialog::run({"Choose a Movie", {}, "", false, ""},
                    [&](const std::string& path) { got = path; });
    ASSERT_TRUE(RunLoop::runUntil([&] { return got != "unset"; }, 5));
    EXPECT_EQ(got, "");
}

namespace {

// PATH holds only `folder` while it lives: what dialog programs the desktop has is up to the test.
struct OnlyOnPath {
    std::string saved = std::getenv("PATH") ? std::getenv("PATH") : "";
    explicit OnlyOnPath(const std::string& folder) { setenv("PATH", folder.c_str(), 1); }
    ~OnlyOnPath() { setenv("PATH", saved.c_str(), 1); }
};

std::string runDialog(const FileDialogRequest& request) {
    std::string got = "unset";
    FileDialog::run(request, [&](const std::string& path) { got = path; });
    RunLoop::runUntil([&] { return got != "unset"; }, 5);
    return got;
}

} // namespace

TEST_F(PrivateBus, WithoutAPortalTheDesktopsDialogProgramIsAskedElseTheAnswerIsACancel) {
    const std::string bin = test::tempPath("bin");
    std::filesystem::create_directories(bin);
    {
        OnlyOnPath path(bin);
        EXPECT_EQ(runDialog({"Choose a Movie", {}, "", false, ""}), "");
    }
    const std::string log = bin + "/arguments";
    std::ofstream(bin + "/zenity") << "#!/bin/sh\nprintf '%s\\n' \"$@\" > " << log << "\n[ -e "
                                   << bin << "/cancel ] && exit 1\n"
                                   << "echo '/home/me/Movies/Beach day.mov'\n";
    std::filesystem::permissions(bin + "/zenity", std::filesystem::perms::owner_all);
    OnlyOnPath path(bin + ":/usr/bin:/bin");
    EXPECT_EQ(runDialog({"Choose a Movie", {"Movies (*.mov *.mp4)"}, "/home/me/Movies", false, ""}),
              "/home/me/Movies/Beach day.mov");
    EXPECT_EQ(test::capture("cat " + log),
              "--file-selection\n--title=Choose a Movie\n--filename=/home/me/Movies/\n"
              "--file-filter=Movies | *.mov *.mp4");
    std::ofstream(bin + "/cancel") << "";
    EXPECT_EQ(runDialog({"Save the Mail", {}, "/home/me", true, "movie.eml"}), "");
    EXPECT_NE(test::capture("cat " + log)
                  .find("--save\n--confirm-overwrite\n--filename=/home/me/"
                        "movie.eml"),
              std::string::npos);
}

TEST(FileDialog, NameFiltersComeApartIntoNamesAndPatterns) {
    const auto filters = parseNameFilters({"Movies (*.mov *.mp4  *.mkv)", "*.txt", "Nothing ()"});
    ASSERT_EQ(filters.size(), 2u);
    EXPECT_EQ(filters[0].name, "Movies");
    EXPECT_EQ(filters[0].patterns, (std::vector<std::string>{"*.mov", "*.mp4", "*.mkv"}));
    EXPECT_EQ(filters[1].name, "*.txt");
    EXPECT_EQ(filters[1].patterns, std::vector<std::string>{"*.txt"});
}

TEST(SingleInstance, ASecondClaimAsksTheFirstToRaiseItsWindow) {
    const std::string appId = "org.taluvex.Test" + std::to_string(::getpid());
    int raised = 0;
    ASSERT_TRUE(SingleInstance::claim(appId, [&] { ++raised; }));
    EXPECT_FALSE(SingleInstance::claim(appId, [] { ADD_FAILURE() << "the second never listens"; }));
    ASSERT_TRUE(RunLoop::runUntil([&] { return raised == 1; }, 5));
    EXPECT_FALSE(SingleInstance::claim(appId, {}));
    ASSERT_TRUE(RunLoop::runUntil([&] { return raised == 2; }, 5));
    SingleInstance::release();

    // A socket left behind by an instance that died does not keep the next one out.
    const std::string path = SingleInstance::socketPath(appId);
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    EXPECT_TRUE(SingleInstance::claim(appId, {}));
    SingleInstance::release();
}

TEST(AppPage, OpensTheSoftwareCentresPageOfTheApplication) {
    std::vector<std::string> opened;
    Application::setOpenURLHandler([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    EXPECT_TRUE(openAppPage());
    Application::setOpenURLHandler({});
    EXPECT_EQ(opened, std::vector<std::string>{"appstream://org.taluvex.Taluvex"});
}

#include "DesktopServicesTests.moc"
