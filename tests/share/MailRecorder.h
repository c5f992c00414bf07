// A stand-in for the user's mail program that writes the arguments it was handed over, so tests
// can read the exact subject, body, attachment and recipients.
#pragma once

#include "platform/foundation/RunLoop.h"
#include "platform/system/MailComposer.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace tx::test {

class MailRecorder {
public:
    // Installs the recorder in `folder`; the mail program is restored when it goes.
    explicit MailRecorder(const std::string& folder)
        : _script(folder + "/record-mail"), _arguments(folder + "/mail-arguments") {
        std::ofstream(_script) << "#!/bin/sh\nprintf '%s\\0' \"$@\" > '" << _arguments << "'\n";
        ::chmod(_script.c_str(), 0755);
        MailComposer::setMailProgram(_script);
    }
    ~MailRecorder() { MailComposer::setMailProgram({}); }
    MailRecorder(const MailRecorder&) = delete;
    MailRecorder& operator=(const MailRecorder&) = delete;

    // The arguments of the hand-over, once it has happened (empty when none came in time).
    std::vector<std::string> arguments() const {
        if (!RunLoop::runUntil([&] { return std::filesystem::exists(_arguments); }, 5)) {
            return {};
        }
        RunLoop::runFor(0.1);
        std::ifstream in(_arguments, std::ios::binary);
        std::vector<std::string> args;
        for (std::string arg; std::getline(in, arg, '\0');) {
            args.push_back(arg);
        }
        return args;
    }

private:
    std::string _script;
    std::string _arguments;
};

} // namespace tx::test
