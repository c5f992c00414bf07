// A Graph request: a path, parameters (files among them streamed from disk as file parts) and a
// method, answered on the main run loop with the JSON result or an error with a category.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "services/http/HttpClient.h"

#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tx {

struct FBGraphValue {
    std::string text;
    std::optional<std::string> filePath; // a data value: sent as a file part named by its key

    static FBGraphValue string(std::string text) { return {std::move(text), std::nullopt}; }
    static FBGraphValue file(std::string path) { return {{}, std::move(path)}; }
};
using FBGraphParameters = std::vector<std::pair<std::string, FBGraphValue>>;

class FBRequestConnection : public Object {
public:
    using Handler = std::function<void(const std::shared_ptr<FBRequestConnection>& connection,
                                       const nlohmann::json& result, const ErrorPtr& error)>;

    // Uses the active session's token; a session the server has closed (code 190) is closed
    // and its stored sign-in cleared.
    static std::shared_ptr<FBRequestConnection>
    startWithGraphPath(const std::string& path, const FBGraphParameters& parameters,
                       const std::string& HTTPMethod, Handler handler);
    void cancel();

private:
    HttpTicketPtr _ticket;
};

} // namespace tx
