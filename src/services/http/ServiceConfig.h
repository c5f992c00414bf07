// The addresses, application keys and network limits of the online services, read from
// services.ini in the configuration folder over compiled-in defaults.
#pragma once

#include <optional>
#include <string>

namespace tx {

struct ServiceConfig {
    // [twitter]
    std::string twitterApiBase = "https://api.twitter.com";
    std::string twitterVerifyCredentialsPath = "/1/account/verify_credentials.xml";
    std::string twitterUpdatePath = "/1/statuses/update.xml";
    std::string twitterConsumerKey;
    std::string twitterConsumerSecret;
    // [twitvid]: the base ends in "/api"; there is no known live default.
    std::string twitvidApiBase;
    // [facebook]
    std::string facebookAppId;
    std::string facebookDialogBase = "https://www.facebook.com";
    std::string facebookGraphBase = "https://graph.facebook.com";
    std::string facebookGraphVideoBase = "https://graph-video.facebook.com";
    std::string facebookApiVersion; // "v19.0"; empty gives unversioned paths
    // [youtube]
    std::string youtubeFeedUrl = "https://www.youtube.com/feeds/videos.xml?channel_id={channel}";
    std::string youtubeChannel;
    std::string youtubeWatchHost = "www.youtube.com";
    // [contest]
    std::string contestAddress;
    std::string contestFacebookPage;
    // [network]
    double connectTimeoutSeconds = 30;
    double stallTimeoutSeconds = 60;
    // The longest any request but an upload may take, however steadily its answer trickles in.
    double requestTimeoutSeconds = 120;
    std::string caFile;
    long long twitvidChunkBytes = 0; // 0: chosen by the kind of network
    // [credentials] auto | keyring | file
    std::string credentialsStore = "auto";

    // Reads `path` over the defaults. A missing file gives the defaults silently; an unreadable
    // or malformed one gives the defaults and one line in `warning`. A base address that is
    // neither https nor http on a loopback host is dropped (the service then counts as not
    // configured) and named in `warning`.
    static ServiceConfig loadFromFile(const std::string& path, std::string* warning = nullptr);
    // The configuration of this process: configDirectory()/services.ini, read on first use
    // (a warning goes to stderr as one line).
    static const ServiceConfig& current();
    // Reads the file again (tests and the fakes' tool point XDG_CONFIG_HOME elsewhere).
    static void reload();

    // What a person must add to services.ini before the service can be used, for the dimmed
    // button's message; nothing when the service is ready.
    enum class Service { Twitter, TwitVid, Facebook, YouTube };
    std::optional<std::string> setupProblem(Service service) const;

    bool twitterConfigured() const;
    bool twitvidConfigured() const;
    bool facebookConfigured() const;
    bool youtubeConfigured() const;
};

// Why `url` may not be used as a service address, or nothing when it may: https anywhere, plain
// http only on 127.0.0.0/8, ::1 and localhost, no other scheme.
std::optional<std::string> serviceAddressProblem(const std::string& url);
bool isLoopbackHost(const std::string& host);

} // namespace tx
