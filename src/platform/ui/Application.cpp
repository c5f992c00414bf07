#include "platform/ui/Application.h"

#include "platform/foundation/RunLoop.h"
#include "platform/ui/Window.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

namespace tx {

namespace {

std::function<bool(const std::string&)>& openURLHandler() {
    static auto* handler = new std::function<bool(const std::string&)>();
    return *handler;
}

int gArgc = 1;
char gProgramName[] = "taluvex";
char* gArgv[] = {gProgramName, nullptr};

} // namespace

Application& Application::sharedApplication() {
    static auto* application = new Application();
    return *application;
}

bool Application::ensureGuiApplication() {
    if (QCoreApplication::instance())
        return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
    new QGuiApplication(gArgc, gArgv);
    return true;
}

Window* Application::keyWindow() const {
    return Window::keyWindow();
}

bool Application::openURL(const std::string& url) {
    if (openURLHandler())
        return openURLHandler()(url);
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

void Application::setOpenURLHandler(std::function<bool(const std::string&)> handler) {
    openURLHandler() = std::move(handler);
}

void Application::setActive(bool active) {
    if (active == _active)
        return;
    _active = active;
    if (!_delegate)
        return;
    if (active)
        _delegate->applicationDidBecomeActive(*this);
    else
        _delegate->applicationWillResignActive(*this);
}

bool Application::deliverOpenURL(const std::string& url, const std::string& sourceApplication) {
    return _delegate && _delegate->applicationOpenURL(*this, url, sourceApplication);
}

int Application::run() {
    ensureGuiApplication();
    if (_delegate)
        _delegate->applicationDidFinishLaunching(*this);
    int code = RunLoop::run();
    if (_delegate)
        _delegate->applicationWillTerminate(*this);
    return code;
}

int applicationMain(int argc, char** argv, std::shared_ptr<ApplicationDelegate> delegate) {
    if (!QCoreApplication::instance()) {
        static int storedArgc = argc;
        new QGuiApplication(storedArgc, argv);
    }
    Application& application = Application::sharedApplication();
    application.setDelegate(std::move(delegate));
    return application.run();
}

} // namespace tx
