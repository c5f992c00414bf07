#include "platform/foundation/CommandLine.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace tx {
namespace {

const CommandSpec& sampleSpec() {
    static const CommandSpec spec{
        .program = "sample-tool",
        .summary = "does a sample thing",
        .description = {"Turns INPUT into OUTPUT, with a sentence long enough to be wrapped at "
                        "the edge of an eighty-column terminal by the help text."},
        .options =
            {
                {.names = {"speed"},
                 .valueName = "70|100|130",
                 .text = "How fast.",
                 .choices = {"70", "100", "130"}},
                {.names = {"sound"},
                 .valueName = "SOUND",
                 .text = "What is heard:",
                 .values = {{"mute", "nothing"}, {"FILE", "that file's sound"}},
                 .suggestions = {"mute", "track:1"},
                 .takesFile = true},
                {.names = {"quiet", "q"}, .text = "Say less."},
                {.names = {"help", "h"}, .text = "Show this text."},
                {.names = {"version"}, .text = "Show the version."},
            },
        .arguments = {{"INPUT"}, {"OUTPUT"}},
        .sections = {{"Exit status", {{"0", "done"}, {"2", "usage error"}}},
                     {"Examples", {{"sample-tool --speed 70 a.mov b.mov", "slowly"}}}},
    };
    return spec;
}

struct Parsed {
    std::optional<int> status;
    std::string out;
    std::string err;
    std::vector<std::string> arguments;
    std::string speed;
    std::string sound;
    bool quiet = false;
};

Parsed parse(std::vector<std::string> words) {
    words.insert(words.begin(), "sample-tool");
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const CommandLine command(sampleSpec(), static_cast<int>(argv.size()), argv.data(), "1.2.3");
    std::fflush(stdout);
    Parsed parsed;
    parsed.out = testing::internal::GetCapturedStdout();
    parsed.err = testing::internal::GetCapturedStderr();
    parsed.status = command.exitStatus();
    parsed.arguments = command.arguments();
    parsed.speed = command.value("speed", "100");
    parsed.sound = command.value("sound", "from-video");
    parsed.quiet = command.isSet("quiet");
    return parsed;
}

TEST(CommandLine, ReadsOptionsInEveryUsualSpelling) {
    struct Case {
        std::vector<std::string> words;
        std::string speed;
        std::string sound;
        bool quiet;
    };
    const std::vector<Case> cases = {
        {{"a", "b"}, "100", "from-video", false},
        {{"--speed", "70", "a", "b"}, "70", "from-video", false},
        {{"--speed=130", "-q", "a", "b"}, "130", "from-video", true},
        {{"a", "--sound", "track:1", "b", "--quiet"}, "100", "track:1", true},
        // A lone dash is a file name (the standard input), and after "--" so is anything.
        {{"--sound", "-", "--", "-a", "b"}, "100", "-", false},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.words);
        EXPECT_FALSE(p.status) << c.words.front() << ": " << p.err;
        EXPECT_EQ(p.arguments.size(), 2u) << c.words.front();
        EXPECT_EQ(p.speed, c.speed);
        EXPECT_EQ(p.sound, c.sound);
        EXPECT_EQ(p.quiet, c.quiet);
    }
}

TEST(CommandLine, UsageErrorsSayWhatIsWrongAndEndWithTwo) {
    struct Case {
        std::vector<std::string> words;
        std::string mention;
    };
    const std::vector<Case> cases = {
        {{"--speed", "90", "a", "b"}, "--speed must be 70, 100 or 130, not \"90\""},
        {{"--frobnicate", "a", "b"}, "unknown option --frobnicate"},
        {{"-x", "a", "b"}, "unknown option -x"},
        {{"a", "--speed"}, "--speed needs a value"},
        {{"a"}, "no OUTPUT given"},
        {{}, "no INPUT and OUTPUT given"},
        {{"a", "b", "c"}, "unexpected argument c"},
    };
    for (const Case& c : cases) {
        const Parsed p = parse(c.words);
        ASSERT_TRUE(p.status) << c.mention;
        EXPECT_EQ(*p.status, CommandLine::kExitUsage) << c.mention;
        EXPECT_EQ(p.err.rfind("sample-tool: " + c.mention + "\nusage: sample-tool ", 0), 0u)
            << p.err;
        EXPECT_TRUE(p.out.empty());
    }
}

TEST(CommandLine, HelpAndVersionAnswerBeforeArgumentsAreChecked) {
    const Parsed help = parse({"-h"});
    ASSERT_TRUE(help.status);
    EXPECT_EQ(*help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: sample-tool [--speed 70|100|130] [--sound SOUND] [--quiet] "
                             "INPUT OUTPUT\n",
                             0),
              0u)
        << help.out;
    // Terms line up, the values of an option sit under its text, no line runs past 79 columns.
    EXPECT_NE(help.out.find("  --speed 70|100|130  How fast.\n"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("  -q, --quiet         Say less.\n"), std::string::npos) << help.out;
    EXPECT_NE(help.out.find("\n                        mute  nothing\n"), std::string::npos)
        << help.out;
    EXPECT_NE(help.out.find("\nExit status:\n  0  done\n  2  usage error\n"), std::string::npos);
    // Columns are counted in characters: a term with letters of two bytes lines up too.
    CommandSpec accented = sampleSpec();
    accented.sections = {{"Screens", {{"Gr\u00f6\u00dfe", "big"}, {"Small", "small"}}}};
    EXPECT_NE(commandHelp(accented).find("\n  Gr\u00f6\u00dfe  big\n  Small  small\n"),
              std::string::npos)
        << commandHelp(accented);
    std::size_t lineStart = 0;
    while (lineStart < help.out.size()) {
        const std::size_t lineEnd = help.out.find('\n', lineStart);
        EXPECT_LE(lineEnd - lineStart, 79u) << help.out.substr(lineStart, lineEnd - lineStart);
        lineStart = lineEnd + 1;
    }

    const Parsed version = parse({"--version"});
    ASSERT_TRUE(version.status);
    EXPECT_EQ(*version.status, 0);
    EXPECT_EQ(version.out, "sample-tool 1.2.3\n");
}

std::string shellOutput(const std::string& script) {
    FILE* pipe = popen(script.c_str(), "r");
    std::string text;
    char buffer[512];
    while (pipe != nullptr && fgets(buffer, sizeof buffer, pipe) != nullptr) {
        text += buffer;
    }
    if (pipe != nullptr) {
        pclose(pipe);
    }
    return text;
}

TEST(CommandLine, ManualPageIsCleanRoffWithEverySection) {
    const std::string page = commandManualPage(sampleSpec(), "1.2.3", "2026-12-09");
    EXPECT_EQ(page.find(".TH SAMPLE\\-TOOL 1 \"2026-12-09\" \"Taluvex 1.2.3\""), page.find(".TH"));
    EXPECT_NE(page.find(".SH NAME\nsample\\-tool \\- does a sample thing\n"), std::string::npos);
    for (const char* section : {".SH SYNOPSIS", ".SH DESCRIPTION", ".SH OPTIONS",
                                ".SH EXIT STATUS", ".SH EXAMPLES"}) {
        EXPECT_NE(page.find(section), std::string::npos) << section;
    }
    const std::string path = testing::TempDir() + "sample-tool.1";
    std::ofstream(path) << page;
    // groff's own warnings, all of them: none.
    EXPECT_EQ(shellOutput("groff -man -Tutf8 -ww -z " + path + " 2>&1"), "");
    const std::string shown = shellOutput("MANWIDTH=80 man -l " + path + " 2>&1");
    EXPECT_NE(shown.find("sample-tool - does a sample thing"), std::string::npos) << shown;
    EXPECT_NE(shown.find("--speed 70|100|130"), std::string::npos) << shown;
    std::remove(path.c_str());
}

TEST(CommandLine, BashCompletionOffersOptionsValuesAndFiles) {
    const std::string folder = testing::TempDir() + "completion-" + std::to_string(getpid());
    std::system(("mkdir -p " + folder + " && touch " + folder + "/clip.mov").c_str());
    const std::string script = folder + "/sample-tool";
    std::ofstream(script) << commandBashCompletion(sampleSpec());
    struct Case {
        std::string words;
        std::string want;
    };
    const std::vector<Case> cases = {
        {"sample-tool --sp", "1:--speed"},
        {"sample-tool --speed \"\"", "3:100 130 70"},
        {"sample-tool --speed 1", "2:100 130"},
        {"sample-tool --sound m", "1:mute"},
        {"sample-tool --sound " + folder + "/cl", "1:" + folder + "/clip.mov"},
        {"sample-tool a.mov " + folder + "/c", "1:" + folder + "/clip.mov"},
    };
    for (const Case& c : cases) {
        const std::string run = "cd " + folder + " && bash -c 'source " + script + "; COMP_WORDS=(" + c.words +
                                "); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); _sample_tool; "
                                "echo -n ${#COMPREPLY[@]}:; "
                                "printf \"%s\\n\" \"${COMPREPLY[@]}\" | sort | paste -sd\" \"'";
        std::string got = shellOutput(run);
        if (!got.empty() && got.back() == '\n') {
            got.pop_back();
        }
        EXPECT_EQ(got, c.want) << c.words;
    }
    std::system(("rm -rf " + folder).c_str());
}

} // namespace
} // namespace tx
