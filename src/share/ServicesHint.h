// Where the user sets up the online services, written as they would type it (home as "~"), for
// the messages that say what to configure.
#pragma once

#include "platform/foundation/Paths.h"

#include <cstdlib>
#include <string>

namespace tx {

inline std::string servicesFileForDisplay() {
    std::string path = configDirectory() + "/services.ini";
    const char* home = std::getenv("HOME");
    const std::string prefix = home != nullptr ? std::string(home) + "/" : std::string();
    if (!prefix.empty() && prefix != "/" && path.rfind(prefix, 0) == 0) {
        path = "~/" + path.substr(prefix.size());
    }
    return path;
}

} // namespace tx
