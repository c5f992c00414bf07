#include "services/http/ServiceConfig.h"

#include "platform/foundation/Paths.h"
#include "platform/foundation/Translation.h"
#include "services/http/Url.h"

#include <QSettings>
#include <QStringList>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <memory>
#include <sys/stat.h>
#include <vector>

namespace tx {

namespace {

std::string readString(QSettings& settings, const char* key, const std::string& fallback) {
    const QVariant value = settings.value(QString::fromUtf8(key));
    if (!value.isValid()) {
        return fallback;
    }
    // The ini reader splits a value with commas into a list; services.ini never means a list.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QStringLiteral(",")).trimmed().toStdString();
    }
    return value.toString().trimmed().toStdString();
}

double readNumber(QSettings& settings, const char* key, double fallback, std::string& problems) {
    const std::string text = readString(settings, key, {});
    if (text.empty()) {
        return fallback;
    }
    bool ok = false;
    const double value = QString::fromStdString(text).toDouble(&ok);
    if (!ok || value <= 0) {
        problems += std::string(problems.empty() ? "" : "; ") +
                    withArguments(_("%1 is not a positive number"), {key});
        return fallback;
    }
    return value;
}

void checkBase(std::string& base, const char* key, std::string& problems) {
    if (base.empty()) {
        return;
    }
    if (auto problem = serviceAddressProblem(base)) {
        problems += std::string(problems.empty() ? "" : "; ") + key + ": " + *problem;
        base.clear();
    }
}

constexpr off_t kMaxIniBytes = 1 << 20;

// What is wrong with the file as text, before the ini reader (which takes any bytes without
// complaint) sees it: not text at all, or the first line that is neither a section, a
// key=value pair nor a comment.
struct IniTextCheck {
    bool text = true;
    std::string problem;
};

IniTextCheck checkIniText(const std::string& path, off_t size) {
    IniTextCheck check;
    if (size > kMaxIniBytes) {
        check.text = false;
        check.problem = withArguments(_("it holds %1 bytes, far more than settings"),
                                      {std::to_string(size)});
        return check;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const QString decoded = QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const bool validUtf8 = decoded.toUtf8() == QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
    const bool controls = std::any_of(bytes.begin(), bytes.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && c != '\n' && c != '\r' && c != '\t';
    });
    if (!validUtf8 || controls) {
        check.text = false;
        check.problem = _("it is not a text file");
        return check;
    }
    std::istringstream lines(bytes);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == ';' || line[first] == '#' ||
            line[first] == '[' || line.find('=') != std::string::npos) {
            continue;
        }
        check.problem = withArguments(_("line %1 is neither [section] nor key=value"),
                                      {std::to_string(number)});
        break;
    }
    return check;
}

std::unique_ptr<ServiceConfig>& currentSlot() {
    static auto* slot = new std::unique_ptr<ServiceConfig>();
    return *slot;
}

} // namespace

bool isLoopbackHost(const std::string& rawHost) {
    std::string host = rawHost;
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    if (host == "localhost" || host == "::1") {
        return true;
    }
    // 127.0.0.0/8 written as a dotted quad.
    unsigned a = 0, b = 0, c = 0, d = 0;
    char tail = 0;
    if (std::sscanf(host.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) == 4) {
        return a == 127 && b < 256 && c < 256 && d < 256;
    }
    return false;
}

std::optional<std::string> serviceAddressProblem(const std::string& url) {
    const auto parts = Url::parse(url);
    if (!parts) {
        return withArguments(_("\"%1\" is not a valid address"), {url});
    }
    if (parts->scheme == "https") {
        return std::nullopt;
    }
    if (parts->scheme == "http") {
        if (isLoopbackHost(parts->host)) {
            return std::nullopt;
        }
        return withArguments(
            _("\"%1\" uses plain http, which is allowed only for this computer; use https"),
            {url});
    }
    return withArguments(_("\"%1\" must start with https://"), {url});
}

ServiceConfig ServiceConfig::loadFromFile(const std::string& path, std::string* warning) {
    ServiceConfig config;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        return config;
    }
    const IniTextCheck text = checkIniText(path, info.st_size);
    if (!text.text) {
        if (warning) {
            *warning = withArguments(
                _("%1: cannot be read as an ini file (%2); using the built-in settings"),
                {path, text.problem});
        }
        return config;
    }
    QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
    std::string problems = text.problem;
    if (settings.status() != QSettings::NoError) {
        if (warning) {
            *warning = withArguments(
                _("%1: cannot be read as an ini file; using the built-in settings"), {path});
        }
        return config;
    }
    config.twitterApiBase = readString(settings, "twitter/api_base", config.twitterApiBase);
    config.twitterVerifyCredentialsPath = readString(settings, "twitter/verify_credentials_path",
                                                     config.twitterVerifyCredentialsPath);
    config.twitterUpdatePath =
        readString(settings, "twitter/update_path", config.twitterUpdatePath);
    config.twitterConsumerKey = readString(settings, "twitter/consumer_key", {});
    config.twitterConsumerSecret = readString(settings, "twitter/consumer_secret", {});
    config.twitvidApiBase = readString(settings, "twitvid/api_base", {});
    config.facebookAppId = readString(settings, "facebook/app_id", {});
    config.facebookDialogBase =
        readString(settings, "facebook/dialog_base", config.facebookDialogBase);
    config.facebookGraphBase =
        readString(settings, "facebook/graph_base", config.facebookGraphBase);
    config.facebookGraphVideoBase =
        readString(settings, "facebook/graph_video_base", config.facebookGraphVideoBase);
    config.facebookApiVersion = readString(settings, "facebook/api_version", {});
    config.youtubeFeedUrl = readString(settings, "youtube/feed_url", config.youtubeFeedUrl);
    config.youtubeChannel = readString(settings, "youtube/channel", {});
    config.youtubeWatchHost = readString(settings, "youtube/watch_host", config.youtubeWatchHost);
    config.contestAddress = readString(settings, "contest/address", {});
    config.contestFacebookPage = readString(settings, "contest/facebook_page", {});
    config.connectTimeoutSeconds =
        readNumber(settings, "network/connect_timeout_s", config.connectTimeoutSeconds, problems);
    config.stallTimeoutSeconds =
        readNumber(settings, "network/stall_timeout_s", config.stallTimeoutSeconds, problems);
    config.requestTimeoutSeconds =
        readNumber(settings, "network/request_timeout_s", config.requestTimeoutSeconds, problems);
    config.caFile = readString(settings, "network/ca_file", {});
    config.twitvidChunkBytes =
        static_cast<long long>(readNumber(settings, "network/twitvid_chunk_bytes", 0, problems));
    config.credentialsStore = readString(settings, "credentials/store", config.credentialsStore);
    if (config.credentialsStore != "auto" && config.credentialsStore != "keyring" &&
        config.credentialsStore != "file") {
        problems += std::string(problems.empty() ? "" : "; ") +
                    withArguments(_("credentials/store \"%1\" is not auto, keyring or file"),
                                  {config.credentialsStore});
        config.credentialsStore = "auto";
    }

    checkBase(config.twitterApiBase, "twitter/api_base", problems);
    checkBase(config.twitvidApiBase, "twitvid/api_base", problems);
    checkBase(config.facebookDialogBase, "facebook/dialog_base", problems);
    checkBase(config.facebookGraphBase, "facebook/graph_base", problems);
    checkBase(config.facebookGraphVideoBase, "facebook/graph_video_base", problems);
    const std::string sampleFeed = Url::replacingAll(config.youtubeFeedUrl, "{channel}", "x");
    if (auto problem = serviceAddressProblem(sampleFeed)) {
        problems += std::string(problems.empty() ? "" : "; ") + "youtube/feed_url: " + *problem;
        config.youtubeFeedUrl.clear();
    }
    if (!problems.empty() && warning) {
        *warning = path + ": " + problems;
    }
    return config;
}

const ServiceConfig& ServiceConfig::current() {
    auto& slot = currentSlot();
    if (!slot) {
        reload();
    }
    return *slot;
}

void ServiceConfig::reload() {
    std::string warning;
    auto config = std::make_unique<ServiceConfig>(
        loadFromFile(pathByAppending(configDirectory(), "services.ini"), &warning));
    if (!warning.empty()) {
        std::fprintf(stderr, "%s\n", withArguments(_("taluvex: %1"), {warning}).c_str());
    }
    currentSlot() = std::move(config);
}

std::optional<std::string> ServiceConfig::setupProblem(Service service) const {
    std::vector<std::string> missing;
    const char* name = "";
    auto need = [&missing](const std::string& value, const char* key) {
        if (value.empty()) {
            missing.emplace_back(key);
        }
    };
    switch (service) {
    case Service::TwitVid:
        need(twitvidApiBase, "[twitvid] api_base");
        [[fallthrough]];
    case Service::Twitter:
        need(twitterApiBase, "[twitter] api_base");
        need(twitterConsumerKey, "[twitter] consumer_key");
        need(twitterConsumerSecret, "[twitter] consumer_secret");
        name = service == Service::Twitter ? "Twitter" : "Twitter upload";
        break;
    case Service::Facebook:
        need(facebookAppId, "[facebook] app_id");
        need(facebookDialogBase, "[facebook] dialog_base");
        need(facebookGraphBase, "[facebook] graph_base");
        need(facebookGraphVideoBase, "[facebook] graph_video_base");
        name = "Facebook";
        break;
    case Service::YouTube:
        need(youtubeFeedUrl, "[youtube] feed_url");
        need(youtubeChannel, "[youtube] channel");
        name = "The YouTube list";
        break;
    }
    if (missing.empty()) {
        return std::nullopt;
    }
    std::string text = std::string(name) + " is not set up: add ";
    for (std::size_t i = 0; i < missing.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == missing.size() ? " and " : ", ") + missing[i];
    }
    return text + " to " + pathByAppending(configDirectory(), "services.ini") + ".";
}

bool ServiceConfig::twitterConfigured() const {
    return !twitterApiBase.empty() && !twitterConsumerKey.empty() && !twitterConsumerSecret.empty();
}

bool ServiceConfig::twitvidConfigured() const {
    return twitterConfigured() && !twitvidApiBase.empty();
}

bool ServiceConfig::facebookConfigured() const {
    return !facebookAppId.empty() && !facebookDialogBase.empty() && !facebookGraphBase.empty() &&
           !facebookGraphVideoBase.empty();
}

bool ServiceConfig::youtubeConfigured() const {
    return !youtubeFeedUrl.empty() && !youtubeChannel.empty();
}

} // namespace tx
