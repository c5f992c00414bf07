#include "services/youtube/GDataServiceGoogleYouTube.h"

#include "services/http/Answers.h"
#include "services/http/SafeXml.h"
#include "services/http/ServiceConfig.h"
#include "services/http/Url.h"

#include <algorithm>
#include <cstdlib>

namespace tx {

namespace {

const xmlNode* child(const xmlNode* node, const char* name) {
    for (const xmlNode* c = node ? node->children : nullptr; c; c = c->next) {
        if (xmlNameIs(c, name)) {
            return c;
        }
    }
    return nullptr;
}

std::optional<long long> wholeNumber(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (*end != '\0' || value < 0) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> decimal(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0') {
        return std::nullopt;
    }
    return value;
}

GDataYouTubeMediaGroup readGroup(const xmlNode* group) {
    GDataYouTubeMediaGroup result;
    for (const xmlNode* c = group->children; c; c = c->next) {
        if (xmlNameIs(c, "content")) {
            GDataMediaContent content;
            content.URLString = xmlAttribute(c, "url");
            content.type = xmlAttribute(c, "type");
            const auto format = wholeNumber(xmlAttribute(c, "format"));
            // The channel feed marks the embeddable player by its type alone.
            content.format = format ? static_cast<int>(*format)
                             : content.type == "application/x-shockwave-flash" ? 5
                                                                               : 0;
            result.contents.push_back(std::move(content));
        } else if (xmlNameIs(c, "duration")) {
            if (auto seconds = wholeNumber(xmlAttribute(c, "seconds"))) {
                result.duration = static_cast<long>(*seconds);
            }
        } else if (xmlNameIs(c, "thumbnail") && result.thumbnailURL.empty()) {
            result.thumbnailURL = xmlAttribute(c, "url");
        }
    }
    return result;
}

} // namespace

std::optional<GDataMediaContent>
GDataYouTubeMediaGroup::mediaContentWithFormatNumber(int format) const {
    for (const auto& content : contents) {
        if (content.format == format) {
            return content;
        }
    }
    return std::nullopt;
}

GDataFeedYouTubeVideoPtr parseYouTubeFeed(std::string_view body, std::string* error) {
    XmlDocPtr doc = parseXmlSafely(body, kFeedAnswerBytes, error);
    if (!doc) {
        return nullptr;
    }
    const xmlNode* root = xmlDocGetRootElement(doc.get());
    if (!xmlNameIs(root, "feed")) {
        if (error) {
            *error = "the answer is not an Atom feed";
        }
        return nullptr;
    }
    auto feed = std::make_shared<GDataFeedYouTubeVideo>();
    for (const xmlNode* node = root->children; node; node = node->next) {
        if (xmlNameIs(node, "totalResults")) {
            if (auto value = wholeNumber(xmlText(node)))
                feed->totalResults = static_cast<long>(*value);
        } else if (xmlNameIs(node, "startIndex")) {
            if (auto value = wholeNumber(xmlText(node)))
                feed->startIndex = static_cast<long>(*value);
        } else if (xmlNameIs(node, "entry")) {
            auto entry = std::make_shared<GDataEntryYouTubeVideo>();
            entry->title = xmlText(child(node, "title"));
            entry->videoID = xmlText(child(node, "videoId"));
            if (const xmlNode* group = child(node, "group")) {
                entry->mediaGroup = readGroup(group);
                if (const xmlNode* community = child(group, "community")) {
                    if (const xmlNode* stars = child(community, "starRating")) {
                        entry->rating = decimal(xmlAttribute(stars, "average"));
                    }
                    if (const xmlNode* statistics = child(community, "statistics")) {
                        entry->viewCount = wholeNumber(xmlAttribute(statistics, "views"));
                    }
                }
            }
            if (const xmlNode* rating = child(node, "rating"); rating && !entry->rating) {
                entry->rating = decimal(xmlAttribute(rating, "average"));
            }
            if (const xmlNode* statistics = child(node, "statistics");
                statistics && !entry->viewCount) {
                entry->viewCount = wholeNumber(xmlAttribute(statistics, "viewCount"));
            }
            feed->entries.push_back(std::move(entry));
        }
    }
    return feed;
}

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
