// taluvex-length: prints the length of each movie given, as the movie library shows it, and
// how long finding it took.
#include "render/AVFileRenderMgr.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: taluvex-length MOVIE...\n");
        return 2;
    }
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        const auto started = std::chrono::steady_clock::now();
        const float seconds = tx::AVFileRenderMgr::getDuration(argv[i]);
        const double took =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        if (seconds <= 0) {
            std::fprintf(stderr, "%s: not a movie\n", argv[i]);
            status = 1;
            continue;
        }
        std::printf("%s: %.3f s (%.1f ms)\n", argv[i], seconds, took);
    }
    return status;
}
