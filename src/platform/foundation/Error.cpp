#include "Error.h"

namespace tx {

Error::Error(std::string domain, long code, std::optional<std::string> description,
             std::optional<std::string> recoverySuggestion)
    : _domain(std::move(domain)), _code(code), _description(std::move(description)),
      _recoverySuggestion(std::move(recoverySuggestion)) {}

std::shared_ptr<Error> Error::make(std::string domain, long code,
                                   std::optional<std::string> description,
                                   std::optional<std::string> recoverySuggestion) {
    return std::make_shared<Error>(std::move(domain), code, std::move(description),
                                   std::move(recoverySuggestion));
}

std::string Error::localizedDescription() const {
    if (_description) {
        return *_description;
    }
    // The platform's own wording, with its typographic apostrophe.
    return "The operation couldn\u2019t be completed. (" + _domain + " error " +
           std::to_string(_code) + ".)";
}

} // namespace tx
