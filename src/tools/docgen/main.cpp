// taluvex-docgen: writes the command-line tools' manual pages and bash completions from their
// tables of options, at build time.
#include "shell/TaluvexCommand.h"
#include "tools/record/RecordCommand.h"
#include "tools/render/RenderCommand.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// Left alone when unchanged, so what depends on it is not made again.
bool writeIfChanged(const std::filesystem::path& path, const std::string& text) {
    std::ifstream old(path, std::ios::binary);
    std::stringstream had;
    had << old.rdbuf();
    if (old && had.str() == text) {
        return true;
    }
    old.close();
    std::filesystem::create_directories(path.parent_path());
    const std::filesystem::path working = path.string() + ".new";
    std::ofstream out(working, std::ios::binary);
    out << text;
    out.close();
    std::error_code ec;
    if (!out) {
        std::filesystem::remove(working, ec);
        return false;
    }
    std::filesystem::rename(working, path, ec);
    return !ec;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: taluvex-docgen OUTDIR YYYY-MM-DD\n"
                             "Writes OUTDIR/man1/PROGRAM.1 and OUTDIR/completions/PROGRAM.\n");
        return 2;
    }
    const std::filesystem::path out = argv[1];
    for (const tx::CommandSpec* spec : {&tx::taluvexCommand(), &tx::renderCommand(),
                                        &tx::recordCommand(), &tx::lengthCommand()}) {
        const bool written =
            writeIfChanged(out / "man1" / (spec->program + ".1"),
                           tx::commandManualPage(*spec, TALUVEX_VERSION, argv[2])) &&
            writeIfChanged(out / "completions" / spec->program, tx::commandBashCompletion(*spec));
        if (!written) {
            std::fprintf(stderr, "taluvex-docgen: cannot write in %s\n", out.c_str());
            return 1;
        }
    }
    return 0;
}
