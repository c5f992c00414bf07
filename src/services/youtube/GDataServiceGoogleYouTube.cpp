#include "services/youtube/GDataServiceGoogleYouTube.h"

#include "services/http/Answers.h"
#include "services/http/ServiceConfig.h"
#include "services/http/Url.h"

#include <algorithm>
#include <cstdlib>

namespace tx {

GDataQueryYouTube GDataQueryYouTube::youTubeQueryWithFeedURL(std::string feedURL) {
    GDataQueryYouTube query;
    query._feedURL = std::move(feedURL);
    return query;
}

std::string GDataQueryYouTube::URL() const {
    FormFields fields = {{"start-index", std::to_string(_startIndex)},
                         {"max-results", std::to_string(_maxResults)}};
    if (_ascending) {
        fields.emplace_back("sortorder", "ascending");
    }
    if (!_showDeleted) {
        fields.emplace_back("showdeleted", "false");
    }
    if (!_orderBy.empty()) {
        fields.emplace_back("orderby", _orderBy);
    }
    return Url::appendingQuery(_feedURL, fields);
}

void GDataServiceTicket::cancelTicket() {
    _cancelled = true;
    if (_http) {
        _http->cancel();
    }
}

std::string GDataServiceGoogleYouTube::youTubeURLForUserID(const std::string& userID,
                                                           const std::string& feedID) {
    const std::string& pattern = ServiceConfig::current().youtubeFeedUrl;
    if (pattern.empty()) {
        return {};
    }
    return Url::replacingAll(Url::replacingAll(pattern, "{channel}", Url::percentEncode(userID)),
                             "{feed}", Url::percentEncode(feedID));
}

GDataServiceTicketPtr GDataServiceGoogleYouTube::fetchFeedWithQuery(const GDataQueryYouTube& query,
                                                                    Completion completion) {
    auto ticket = std::make_shared<GDataServiceTicket>();
    HttpRequest request;
    request.url = query.URL();
    request.maxAnswerBytes = kFeedAnswerBytes;
    request.maxRetries = _retryEnabled ? 2 : 0;
    request.headers.emplace_back("Accept", "application/atom+xml");
    const long startIndex = std::max(1L, query.startIndex());
    const long maxResults = std::max(0L, query.maxResults());
    const std::string order = query.orderBy();
    HttpClient& http = _http ? *_http : HttpClient::shared();
    ticket->_http = http.send(std::move(request), [ticket, completion, startIndex, maxResults,
                                                   order](const HttpResponse& response) {
        if (ticket->isCancelled()) {
            return;
        }
        if (!response.ok()) {
            completion(ticket, nullptr,
                       response.error ? response.error
                                      : Error::make("HTTPError", response.status,
                                                    "The feed answered with status " +
                                                        std::to_string(response.status)));
            return;
        }
        std::string why;
        auto feed = parseYouTubeFeed(response.body, &why);
        if (!feed) {
            completion(ticket, nullptr, Error::make("The feed cannot be read", 0, why));
            return;
        }
        if (!feed->totalResults && !feed->startIndex) {
            // The whole channel in one answer: order and page it here.
            auto& entries = feed->entries;
            if (order == "rating") {
                std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
                    return a->rating.value_or(0) > b->rating.value_or(0);
                });
            } else if (order == "viewCount") {
                std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
                    return a->viewCount.value_or(0) > b->viewCount.value_or(0);
                });
            }
            const long total = static_cast<long>(entries.size());
            const long first = std::min(total, startIndex - 1);
            const long last = std::min(total, first + maxResults);
            entries = std::vector<GDataEntryYouTubeVideoPtr>(entries.begin() + first,
                                                             entries.begin() + last);
        }
        completion(ticket, feed, nullptr);
    });
    return ticket;
}

} // namespace tx
