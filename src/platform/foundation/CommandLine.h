// The options of a command-line tool, in one table per tool: the table drives the parsing, the
// --help text, the manual page and the shell completion, so the four never disagree.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tx {

// A term and what it means (an option's value, an exit status, a key, an example command), or
// a paragraph of its own when the term is empty.
struct CommandEntry {
    std::string term = {};
    std::string text = {};
};

struct CommandOption {
    // Without dashes, the long name first: {"help", "h"}.
    std::vector<std::string> names = {};
    // What follows the option in the usage line ("SOUND", "70|100|130"); empty for a switch.
    std::string valueName = {};
    std::string text = {};
    // The values spelled out under the option in --help and the manual.
    std::vector<CommandEntry> values = {};
    // The only values accepted; anything else is a usage error. The shell offers them.
    std::vector<std::string> choices = {};
    // Values the shell offers besides file names; others are accepted too.
    std::vector<std::string> suggestions = {};
    bool takesFile = false;
};

struct CommandArgument {
    std::string name = {};
    // One or more of them ("MOVIE...").
    bool repeats = false;
};

struct CommandSection {
    std::string title = {};
    std::vector<CommandEntry> entries = {};
};

struct CommandSpec {
    std::string program = {};
    // A few words on what it does: the manual's NAME line.
    std::string summary = {};
    std::vector<std::string> description = {};
    std::vector<CommandOption> options = {};
    std::vector<CommandArgument> arguments = {};
    // Keys, files, environment, exit status, limits, examples: in --help and the manual alike.
    std::vector<CommandSection> sections = {};
};

// argv read against a tool's table. --help and --version (where the table has them) are
// answered here, and usage errors are reported here, each with the exit status to end with.
class CommandLine {
public:
    static constexpr int kExitUsage = 2;

    CommandLine(const CommandSpec& spec, int argc, char** argv, std::string version = {});

    // Set when the tool should end at once: 0 after --help or --version, kExitUsage after a
    // usage error. What there was to say has been printed.
    std::optional<int> exitStatus() const { return _exitStatus; }

    bool isSet(const std::string& name) const;
    std::string value(const std::string& name, const std::string& fallback = {}) const;
    const std::vector<std::string>& arguments() const { return _arguments; }

    // "program: message" and the usage line on the standard error; returns kExitUsage.
    int usageError(const std::string& message) const;

private:
    const CommandSpec& _spec;
    std::optional<int> _exitStatus;
    std::vector<std::pair<std::string, std::string>> _values;
    std::vector<std::string> _arguments;
};

// "usage: program [--speed 70|100|130] ... INPUT OUTPUT", wrapped, with its line end.
std::string commandUsage(const CommandSpec& spec);
// The whole --help text.
std::string commandHelp(const CommandSpec& spec);
// The manual page in roff (man(7)).
std::string commandManualPage(const CommandSpec& spec, const std::string& version,
                              const std::string& date);
// A bash completion script for the tool.
std::string commandBashCompletion(const CommandSpec& spec);

} // namespace tx
