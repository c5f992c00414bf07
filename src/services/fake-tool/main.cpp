// Runs loopback stand-ins for Twitter, TwitVid, Facebook and the YouTube feed on 127.0.0.1 and
// writes a services.ini that points Taluvex at them, until Ctrl-C.
#include "support/FakeServices.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

int usage(FILE* out) {
    std::fprintf(out,
                 "Usage: taluvex-fake-services --write-config DIR\n\n"
                 "Starts offline stand-ins for Twitter, TwitVid, Facebook and the YouTube feed on\n"
                 "127.0.0.1, writes DIR/taluvex/services.ini pointing at them, and serves until\n"
                 "Ctrl-C. Then run Taluvex with XDG_CONFIG_HOME=DIR.\n");
    return out == stdout ? 0 : 2;
}

} // namespace

int main(int argc, char** argv) {
    std::string directory;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--write-config") == 0 && i + 1 < argc) {
            directory = argv[++i];
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return usage(stdout);
        } else {
            return usage(stderr);
        }
    }
    if (directory.empty()) {
        return usage(stderr);
    }

    // Block Ctrl-C and termination here, so that no server thread takes them, and wait for them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    tx::fakes::FakeTwitter twitter;
    tx::fakes::FakeTwitVid twitvid(twitter);
    tx::fakes::FakeFacebook facebook;
    tx::fakes::FakeYouTube youtube;

    const std::filesystem::path folder = std::filesystem::path(directory) / "taluvex";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const std::filesystem::path ini = folder / "services.ini";
    std::ofstream out(ini);
    out << tx::fakes::servicesIni(&twitter, &twitvid, &facebook, &youtube);
    out.close();
    if (!out) {
        std::fprintf(stderr, "taluvex-fake-services: cannot write %s\n", ini.c_str());
        return 1;
    }

    std::printf("Wrote %s\n", ini.c_str());
    std::printf("Twitter   %s   (the sign-in PIN is %s)\n", twitter.base().c_str(),
                tx::fakes::FakeTwitter::kPin);
    std::printf("TwitVid   %s\n", twitvid.apiBase().c_str());
    std::printf("Facebook  %s\n", facebook.base().c_str());
    std::printf("YouTube   %s\n", youtube.pagedFeedURL().c_str());
    std::printf("Run: XDG_CONFIG_HOME=%s taluvex    (Ctrl-C here stops the fakes)\n",
                directory.c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    std::printf("\nStopped. Uploads received: TwitVid %llu bytes, Facebook %llu bytes.\n",
                static_cast<unsigned long long>(twitvid.receivedBytes()),
                static_cast<unsigned long long>(facebook.receivedBytes()));
    return 0;
}
