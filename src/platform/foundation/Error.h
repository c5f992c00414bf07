// An error as the platform reports it: a domain, a code and optional texts for the user.
#pragma once

#include "Object.h"

#include <optional>
#include <string>

namespace tx {

class Error : public Object {
public:
    Error(std::string domain, long code, std::optional<std::string> description = std::nullopt,
          std::optional<std::string> recoverySuggestion = std::nullopt);

    static std::shared_ptr<Error>
    make(std::string domain, long code, std::optional<std::string> description = std::nullopt,
         std::optional<std::string> recoverySuggestion = std::nullopt);

    const std::string& domain() const { return _domain; }
    long code() const { return _code; }
    const std::optional<std::string>& description() const { return _description; }
    const std::optional<std::string>& recoverySuggestion() const { return _recoverySuggestion; }

    // The description when one was given, otherwise the platform's generic wording.
    std::string localizedDescription() const;

private:
    std::string _domain;
    long _code = 0;
    std::optional<std::string> _description;
    std::optional<std::string> _recoverySuggestion;
};

using ErrorPtr = std::shared_ptr<Error>;

} // namespace tx
