// taluvex-length: prints the length of each movie given, as the movie library shows it, and
// how long finding it took.
#include "platform/foundation/Translation.h"
#include "render/AVFileRenderMgr.h"
#include "tools/render/RenderCommand.h"

#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    const tx::CommandLine command(tx::lengthCommand(), argc, argv);
    if (command.exitStatus()) {
        return *command.exitStatus();
    }
    int status = 0;
    for (const std::string& movie : command.arguments()) {
        const auto started = std::chrono::steady_clock::now();
        const float seconds = tx::AVFileRenderMgr::getDuration(movie);
        const double took =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        if (seconds <= 0) {
            // Why, where the media layer can say: damaged, a pipe, not found.
            tx::ErrorPtr error;
            tx::Asset::urlAssetForTiming(movie, &error);
            std::fprintf(stderr, "%s\n",
                         error ? error->localizedDescription().c_str()
                               : tx::withArguments(_("%1: not a movie"), {movie}).c_str());
            status = 1;
            continue;
        }
        std::printf("%s: %.3f s (%.1f ms)\n", movie.c_str(), seconds, took);
    }
    return status;
}
