#include "platform/foundation/CommandLine.h"

#include "platform/foundation/Translation.h"

#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace tx {
namespace {

constexpr std::size_t kHelpWidth = 79;
constexpr std::size_t kOptionIndent = 2;
// Option names longer than this put their text on a line of their own.
constexpr std::size_t kWidestOptionColumn = 24;

std::string dashed(const std::string& name) {
    return (name.size() == 1 ? "-" : "--") + name;
}

// "-h, --help" / "--speed 70|100|130": the short names first, as is usual in --help.
std::string optionTerm(const CommandOption& option) {
    std::vector<std::string> names = option.names;
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return a.size() < b.size(); });
    std::string term;
    for (const std::string& name : names) {
        term += (term.empty() ? "" : ", ") + dashed(name);
    }
    if (!option.valueName.empty()) {
        term += " " + option.valueName;
    }
    return term;
}

bool isHelpOrVersion(const CommandOption& option) {
    return option.names.front() == "help" || option.names.front() == "version";
}

std::string argumentTerm(const CommandArgument& argument) {
    return argument.name + (argument.repeats ? "..." : "");
}

// Columns `text` takes on a terminal: one per character, not per byte ("ü" is two bytes).
std::size_t columns(const std::string& text) {
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// Words laid into lines of at most `width` columns; the first line starts `firstColumn` in,
// the others `indent` in.
std::string wrap(const std::string& text, std::size_t indent, std::size_t firstColumn,
                 std::size_t width = kHelpWidth) {
    std::string out;
    std::size_t column = firstColumn;
    bool lineEmpty = true;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        const std::string word = text.substr(at, end - at);
        at = end + 1;
        if (word.empty()) {
            continue;
        }
        if (!lineEmpty && column + 1 + columns(word) > width) {
            out += "\n" + std::string(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += columns(word);
        lineEmpty = false;
    }
    return out + "\n";
}

// The widest term that still leaves its text beside it.
std::size_t termColumn(const std::vector<CommandEntry>& entries, std::size_t indent) {
    std::size_t widest = 0;
    for (const CommandEntry& entry : entries) {
        if (columns(entry.term) + 2 <= kWidestOptionColumn) {
            widest = std::max(widest, columns(entry.term));
        }
    }
    return indent + widest + 2;
}

// Terms in a column of their own, each text beside its term starting at `textColumn`.
std::string termList(const std::vector<CommandEntry>& entries, std::size_t indent,
                     std::size_t textColumn) {
    std::string out;
    for (const CommandEntry& entry : entries) {
        if (entry.term.empty()) {
            out += std::string(indent, ' ') + wrap(entry.text, indent, indent);
            continue;
        }
        out += std::string(indent, ' ') + entry.term;
        std::size_t column = indent + columns(entry.term);
        if (entry.text.empty()) {
            out += "\n";
            continue;
        }
        if (column + 2 > textColumn) {
            out += "\n";
            column = 0;
        }
        out += std::string(textColumn - column, ' ') + wrap(entry.text, textColumn, textColumn);
    }
    return out;
}

std::string termList(const std::vector<CommandEntry>& entries, std::size_t indent) {
    return termList(entries, indent, termColumn(entries, indent));
}

std::string joinedChoices(const std::vector<std::string>& choices) {
    std::string out;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        out += choices[i];
        if (i + 2 < choices.size()) {
            out += ", ";
        } else if (i + 2 == choices.size()) {
            out += " " + _("or") + " ";
        }
    }
    return out;
}

const CommandOption* findOption(const CommandSpec& spec, const std::string& name) {
    for (const CommandOption& option : spec.options) {
        if (std::find(option.names.begin(), option.names.end(), name) != option.names.end()) {
            return &option;
        }
    }
    return nullptr;
}

// ---- roff ----

// Text safe in a roff line: backslashes escaped, dashes as minus signs (so options copied from
// the manual work in a terminal), and no line starting with a control character.
std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') {
            out += "\\e";
        } else if (c == '-') {
            out += "\\-";
        } else {
            out += c;
        }
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) {
        out.insert(0, "\\&");
    }
    return out;
}

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

std::string roffTerm(const std::string& term) {
    // The term is set in bold; what follows a space (a value's name) in italics.
    const std::size_t space = term.find(' ');
    if (space == std::string::npos) {
        return ".B " + roff(term) + "\n";
    }
    return ".BI \"" + roff(term.substr(0, space)) + " \" \"" + roff(term.substr(space + 1)) +
           "\"\n";
}

std::string roffEntries(const std::vector<CommandEntry>& entries) {
    std::string out;
    for (const CommandEntry& entry : entries) {
        if (entry.term.empty()) {
            out += ".PP\n" + roff(entry.text) + "\n";
        } else {
            out += ".TP\n" + roffTerm(entry.term) + roff(entry.text) + "\n";
        }
    }
    return out;
}

// ---- bash ----

std::string shellWords(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        out += (out.empty() ? "" : " ") + word;
    }
    return "'" + out + "'";
}

std::string functionName(const std::string& program) {
    std::string name = "_" + program;
    std::replace(name.begin(), name.end(), '-', '_');
    return name;
}

} // namespace

CommandLine::CommandLine(const CommandSpec& spec, int argc, char** argv, std::string version)
    : _spec(spec) {
    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    for (const CommandOption& option : spec.options) {
        QStringList names;
        for (const std::string& name : option.names) {
            names << QString::fromStdString(name);
        }
        QCommandLineOption qtOption(names);
        if (!option.valueName.empty()) {
            qtOption.setValueName(QString::fromStdString(option.valueName));
        }
        parser.addOption(qtOption);
    }
    QStringList words;
    for (int i = 0; i < argc; ++i) {
        words << QString::fromLocal8Bit(argv[i]);
    }
    if (!parser.parse(words)) {
        if (!parser.unknownOptionNames().isEmpty()) {
            _exitStatus = usageError(withArguments(
                _("unknown option %1"), {dashed(parser.unknownOptionNames().front().toStdString())}));
            return;
        }
        // The one other failure: a value-taking option as the last word.
        std::string option = words.isEmpty() ? std::string() : words.back().toStdString();
        _exitStatus = usageError(withArguments(_("%1 needs a value"), {option}));
        return;
    }
    if (findOption(spec, "help") != nullptr && parser.isSet(QStringLiteral("help"))) {
        std::fputs(commandHelp(spec).c_str(), stdout);
        _exitStatus = 0;
        return;
    }
    if (findOption(spec, "version") != nullptr && parser.isSet(QStringLiteral("version"))) {
        std::printf("%s %s\n", spec.program.c_str(), version.c_str());
        _exitStatus = 0;
        return;
    }
    for (const CommandOption& option : spec.options) {
        const QString name = QString::fromStdString(option.names.front());
        if (!parser.isSet(name)) {
            continue;
        }
        // Given twice, the last one counts.
        const std::string value = option.valueName.empty() ? std::string()
                                                            : parser.value(name).toStdString();
        if (!option.choices.empty() &&
            std::find(option.choices.begin(), option.choices.end(), value) ==
                option.choices.end()) {
            _exitStatus = usageError(withArguments(_("%1 must be %2, not \"%3\""),
                                                   {dashed(option.names.front()),
                                                    joinedChoices(option.choices), value}));
            return;
        }
        _values.emplace_back(option.names.front(), value);
    }
    for (const QString& word : parser.positionalArguments()) {
        _arguments.push_back(word.toStdString());
    }

    std::size_t least = 0;
    bool unbounded = false;
    std::string missing;
    for (const CommandArgument& argument : spec.arguments) {
        if (least >= _arguments.size()) {
            missing = missing.empty() ? argument.name
                                      : withArguments(_("%1 and %2"), {missing, argument.name});
        }
        ++least;
        unbounded = unbounded || argument.repeats;
    }
    if (!missing.empty()) {
        _exitStatus = usageError(withArguments(_("no %1 given"), {missing}));
    } else if (!unbounded && _arguments.size() > least) {
        _exitStatus = usageError(withArguments(_("unexpected argument %1"), {_arguments[least]}));
    }
}

bool CommandLine::isSet(const std::string& name) const {
    return std::any_of(_values.begin(), _values.end(),
                       [&](const auto& value) { return value.first == name; });
}

std::string CommandLine::value(const std::string& name, const std::string& fallback) const {
    for (const auto& [option, value] : _values) {
        if (option == name) {
            return value;
        }
    }
    return fallback;
}

int CommandLine::usageError(const std::string& message) const {
    std::fprintf(stderr, "%s: %s\n%s", _spec.program.c_str(), message.c_str(),
                 commandUsage(_spec).c_str());
    return kExitUsage;
}

std::string commandUsage(const CommandSpec& spec) {
    // An option and its value stay on one line: they are joined by a stand-in for the space
    // until the line is wrapped.
    constexpr char kJoin = '\x01';
    std::string line;
    for (const CommandOption& option : spec.options) {
        if (isHelpOrVersion(option)) {
            continue;
        }
        std::string word = "[" + dashed(option.names.front());
        if (!option.valueName.empty()) {
            word += kJoin + option.valueName;
        }
        line += (line.empty() ? "" : " ") + word + "]";
    }
    for (const CommandArgument& argument : spec.arguments) {
        line += (line.empty() ? "" : " ") + argumentTerm(argument);
    }
    const std::string lead = withArguments(_("usage: %1"), {spec.program}) + " ";
    std::string usage = lead + wrap(line, lead.size(), lead.size());
    std::replace(usage.begin(), usage.end(), kJoin, ' ');
    return usage;
}

std::string commandHelp(const CommandSpec& spec) {
    // The tables hold English; --help speaks the user's language, the manual pages English.
    // Terms are keys, names and paths, mostly as they are; those marked (screen names) have a
    // translation.
    auto translatedEntries = [](std::vector<CommandEntry> entries) {
        for (CommandEntry& entry : entries) {
            entry.term = _(entry.term.c_str());
            entry.text = _(entry.text.c_str());
        }
        return entries;
    };
    std::string out = commandUsage(spec);
    for (const std::string& paragraph : spec.description) {
        out += "\n" + wrap(_(paragraph.c_str()), 0, 0);
    }
    if (!spec.options.empty()) {
        out += "\n" + _("Options:") + "\n";
        std::vector<CommandEntry> entries;
        for (const CommandOption& option : spec.options) {
            entries.push_back({optionTerm(option), _(option.text.c_str())});
        }
        const std::size_t textColumn = termColumn(entries, kOptionIndent);
        for (std::size_t i = 0; i < entries.size(); ++i) {
            out += termList({entries[i]}, kOptionIndent, textColumn);
            // The values under an option go below its text, further in.
            out += termList(translatedEntries(spec.options[i].values), textColumn + 2);
        }
    }
    for (const CommandSection& section : spec.sections) {
        out += "\n" + withArguments(_("%1:"), {_(section.title.c_str())}) + "\n" +
               termList(translatedEntries(section.entries), kOptionIndent);
    }
    return out;
}

std::string commandManualPage(const CommandSpec& spec, const std::string& version,
                              const std::string& date) {
    std::string out = ".\\\" Made from " + spec.program + "'s table of options; edit that.\n";
    out += ".TH " + roff(upper(spec.program)) + " 1 \"" + date + "\" \"Taluvex " + version +
           "\" \"User Commands\"\n";
    // Option names and paths are not to be broken at a hyphen.
    out += ".nh\n";
    out += ".SH NAME\n" + roff(spec.program) + " \\- " + roff(spec.summary) + "\n";
    out += ".SH SYNOPSIS\n.B " + roff(spec.program) + "\n";
    for (const CommandOption& option : spec.options) {
        if (isHelpOrVersion(option)) {
            continue;
        }
        out += "[\\fB" + roff(dashed(option.names.front())) + "\\fR";
        if (!option.valueName.empty()) {
            out += " \\fI" + roff(option.valueName) + "\\fR";
        }
        out += "]\n";
    }
    for (const CommandArgument& argument : spec.arguments) {
        out += ".I " + roff(argumentTerm(argument)) + "\n";
    }
    out += ".SH DESCRIPTION\n";
    for (std::size_t i = 0; i < spec.description.size(); ++i) {
        out += (i == 0 ? "" : ".PP\n") + roff(spec.description[i]) + "\n";
    }
    if (!spec.options.empty()) {
        out += ".SH OPTIONS\n";
        for (const CommandOption& option : spec.options) {
            out += ".TP\n" + roffTerm(optionTerm(option)) + roff(option.text) + "\n";
            if (!option.values.empty()) {
                out += ".RS\n" + roffEntries(option.values) + ".RE\n";
            }
        }
    }
    for (const CommandSection& section : spec.sections) {
        out += ".SH " + roff(upper(section.title)) + "\n" + roffEntries(section.entries);
    }
    return out;
}

std::string commandBashCompletion(const CommandSpec& spec) {
    const std::string function = functionName(spec.program);
    std::string out = "# bash completion for " + spec.program +
                      "; made from its table of options.\n" + function + "()\n{\n";
    out += R"(    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion -n : || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
    fi
    local files
    case $prev in
)";
    std::vector<std::string> allOptions;
    for (const CommandOption& option : spec.options) {
        for (const std::string& name : option.names) {
            allOptions.push_back(dashed(name));
        }
        if (option.valueName.empty()) {
            continue;
        }
        std::string patterns;
        for (const std::string& name : option.names) {
            patterns += (patterns.empty() ? "" : "|") + dashed(name);
        }
        out += "        " + patterns + ")\n";
        std::vector<std::string> words = option.choices;
        words.insert(words.end(), option.suggestions.begin(), option.suggestions.end());
        if (!words.empty()) {
            out += "            COMPREPLY=($(compgen -W " + shellWords(words) +
                   " -- \"$cur\"))\n";
        } else {
            out += "            COMPREPLY=()\n";
        }
        if (option.takesFile) {
            out += "            compopt -o filenames 2>/dev/null\n"
                   "            mapfile -t files < <(compgen -f -- \"$cur\")\n"
                   "            COMPREPLY+=(\"${files[@]}\")\n";
        }
        out += "            declare -F __ltrim_colon_completions >/dev/null &&\n"
               "                __ltrim_colon_completions \"$cur\"\n"
               "            return\n"
               "            ;;\n";
    }
    out += "    esac\n";
    out += "    if [[ $cur == -* ]]; then\n"
           "        COMPREPLY=($(compgen -W " +
           shellWords(allOptions) +
           " -- \"$cur\"))\n"
           "        return\n"
           "    fi\n";
    if (!spec.arguments.empty()) {
        out += "    compopt -o filenames 2>/dev/null\n"
               "    mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n";
    }
    out += "}\ncomplete -F " + function + " " + spec.program + "\n";
    return out;
}

} // namespace tx
