#include "services/facebook/FBRequestConnection.h"

#include "platform/foundation/RunLoop.h"
#include "services/facebook/FBSession.h"
#include "services/http/Answers.h"
#include "services/http/ServiceConfig.h"
#include "services/http/Url.h"

#include <sys/stat.h>

namespace tx {

std::shared_ptr<FBRequestConnection>
FBRequestConnection::startWithGraphPath(const std::string& path,
                                        const FBGraphParameters& parameters,
                                        const std::string& HTTPMethod, Handler handler) {
    auto connection = std::make_shared<FBRequestConnection>();
    auto session = FBSession::activeSession();
    auto failSoon = [connection, handler](ErrorPtr error) {
        RunLoop::post([connection, handler, error] {
            if (!connection->_ticket || !connection->_ticket->isCancelled()) {
                handler(connection, nlohmann::json(), error);
            }
        });
    };
    if (!session->isOpen() || session->accessToken().empty()) {
        failSoon(makeFBError(FBErrorRequestConnectionApi,
                             FBErrorCategoryAuthenticationReopenSession,
                             "Not signed in to Facebook"));
        return connection;
    }
    const ServiceConfig& config = ServiceConfig::current();
    bool hasFile = false;
    for (const auto& [name, value] : parameters) {
        hasFile = hasFile || value.filePath.has_value();
    }
    HttpRequest request;
    request.method = HTTPMethod.empty() ? "GET" : HTTPMethod;
    request.url = FBSession::graphAddress(
        hasFile ? config.facebookGraphVideoBase : config.facebookGraphBase, path);
    request.maxAnswerBytes = kSmallAnswerBytes;
    if (request.method == "GET" || request.method == "DELETE") {
        FormFields query;
        for (const auto& [name, value] : parameters) {
            query.emplace_back(name, value.text);
        }
        request.url = Url::appendingQuery(request.url, query);
        // The token goes in a header, never in the address.
        request.headers.emplace_back("Authorization", "Bearer " + session->accessToken());
    } else {
        MultipartForm form;
        form.addField("access_token", session->accessToken(), true);
        for (const auto& [name, value] : parameters) {
            if (value.filePath) {
                struct stat info {};
                if (::stat(value.filePath->c_str(), &info) != 0) {
                    failSoon(makeFBError(FBErrorRequestConnectionApi, FBErrorCategoryInvalid,
                                         "Cannot read \"" + *value.filePath + "\""));
                    return connection;
                }
                const std::string type = name.size() > 4 && name.substr(name.size() - 4) == ".mov"
                                             ? "video/quicktime"
                                             : "application/octet-stream";
                form.addFile(name, name, type, *value.filePath, 0,
                             static_cast<std::uint64_t>(info.st_size));
            } else if (!form.addField(name, value.text)) {
                failSoon(makeFBError(FBErrorRequestConnectionApi, FBErrorCategoryInvalid,
                                     "The value of \"" + name + "\" cannot be sent"));
                return connection;
            }
        }
        request.headers.emplace_back("Content-Type", form.contentType());
        request.body = form.finish();
        // An upload is not repeated behind the user's back: a repeat could post the movie twice.
        request.maxRetries = hasFile ? 0 : request.maxRetries;
    }
    connection->_ticket = session->http().send(
        std::move(request), [connection, handler](const HttpResponse& response) {
            if (response.error) {
                handler(connection, nlohmann::json(),
                        makeFBError(FBErrorRequestConnectionApi, FBErrorCategoryRetry,
                                    response.error->localizedDescription()));
                return;
            }
            if (auto graph = parseGraphError(response.body)) {
                if (graph->category == FBErrorCategoryAuthenticationReopenSession) {
                    FBSession::activeSession()->closeAndClearTokenInformation();
                }
                handler(connection, nlohmann::json(),
                        makeFBError(FBErrorHTTPError, graph->category,
                                    graph->message.empty() ? "Facebook refused the request"
                                                           : graph->message));
                return;
            }
            auto json = parseJson(response.body);
            if (!json) {
                handler(
                    connection, nlohmann::json(),
                    makeFBError(response.ok() ? FBErrorNonTextMimeTypeReturned : FBErrorHTTPError,
                                FBErrorCategoryServer,
                                "Facebook's answer (status " + std::to_string(response.status) +
                                    ") cannot be read"));
                return;
            }
            if (!response.ok()) {
                handler(connection, nlohmann::json(),
                        makeFBError(FBErrorHTTPError, FBErrorCategoryServer,
                                    "Facebook answered with status " +
                                        std::to_string(response.status)));
                return;
            }
            handler(connection, *json, nullptr);
        });
    return connection;
}

void FBRequestConnection::cancel() {
    if (_ticket) {
        _ticket->cancel();
    }
}

} // namespace tx
