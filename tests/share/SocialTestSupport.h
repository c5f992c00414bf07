// The share screen's online tests: the loopback Twitter, TwitVid and Facebook fakes named in
// services.ini, the Facebook client installed as the application's session, a start-up delegate
// for the session's reports, and a browser that records the addresses it is asked to open (and,
// for Facebook, follows them like the user's browser would).
#pragma once

#include "ScreenTestSupport.h"

#include "app/TaluvexAppDelegate.h"
#include "platform/ui/Application.h"
#include "services/credentials/CredentialStore.h"
#include "services/facebook/FBSession.h"
#include "services/http/HttpClient.h"
#include "services/http/ServiceConfig.h"
#include "share/FacebookClientSession.h"
#include "share/ShareViewController.h"
#include "support/FakeServices.h"

#include <QCryptographicHash>
#include <QFile>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <thread>

namespace tx::test {

class SocialTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        unsetenv("http_proxy");
        unsetenv("https_proxy");
        twitter = std::make_unique<fakes::FakeTwitter>();
        twitvid = std::make_unique<fakes::FakeTwitVid>(*twitter);
        facebook = std::make_unique<fakes::FakeFacebook>();
        writeServices(fakes::servicesIni(twitter.get(), twitvid.get(), facebook.get(), nullptr));
        HttpClient::shared().setRetryBackoffSeconds(0.05);
        FBSession::resetActiveSession();
        FacebookClientSession::install();
        app = std::make_shared<TaluvexAppDelegate>();
        Application::sharedApplication().setDelegate(app);
        Application::setOpenURLHandler([this](const std::string& url) {
            {
                std::lock_guard<std::mutex> lock(_browserMutex);
                opened.push_back(url);
            }
            if (url.rfind(facebook->base() + "/", 0) == 0) {
                if (beforeBrowsing) {
                    beforeBrowsing(url);
                }
                // The user's browser runs beside the application.
                _browsers.emplace_back([url] { fakes::browse(url); });
            }
            return true;
        });
    }
    void TearDown() override {
        dismissAlerts();
        for (auto& browser : _browsers) {
            browser.join();
        }
        Application::setOpenURLHandler(nullptr);
        FBSession::resetActiveSession();
        FacebookSession::setActiveSession(nullptr);
        Application::sharedApplication().setDelegate(nullptr);
        ScreenTest::TearDown();
        ServiceConfig::reload();
    }

    void writeServices(const std::string& ini) {
        std::filesystem::create_directories(home + "/.config/taluvex");
        std::ofstream(home + "/.config/taluvex/services.ini") << ini;
        ServiceConfig::reload();
    }

    // The share screen presented on the root screen for a movie of `bytes` varied bytes.
    std::shared_ptr<ShareViewController> presentShare(std::size_t bytes = 300 * 1024) {
        moviePath = makeFile(documents + "/movie.mov", bytes);
        movieSha = sha256(moviePath);
        auto share = std::make_shared<ShareViewController>();
        share->setPath(moviePath);
        root->presentViewController(share, false);
        return share;
    }

    static std::string sha256(const std::string& path) {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&file);
        return hash.result().toHex().toStdString();
    }

    std::vector<std::string> openedURLs() {
        std::lock_guard<std::mutex> lock(_browserMutex);
        return opened;
    }

    std::vector<AlertView*> alertsWithMessage(const std::string& message) const {
        std::vector<AlertView*> found;
        for (AlertView* alert : alerts()) {
            if (alert->message() == message) {
                found.push_back(alert);
            }
        }
        return found;
    }

    std::unique_ptr<fakes::FakeTwitter> twitter;
    std::unique_ptr<fakes::FakeTwitVid> twitvid;
    std::unique_ptr<fakes::FakeFacebook> facebook;
    std::shared_ptr<TaluvexAppDelegate> app;
    std::function<void(const std::string&)> beforeBrowsing;
    std::vector<std::string> opened;
    std::string moviePath;
    std::string movieSha;

private:
    std::mutex _browserMutex;
    std::vector<std::thread> _browsers;
};

} // namespace tx::test
