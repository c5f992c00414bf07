// The YouTube feed client: the upload feed of a channel, queries with start index, page size and
// order, fetches answered on the main run loop, and the entries' titles, durations and player
// addresses. It reads both the paged feed and the public channel feed, which carries no paging
// information; for the latter it pages and orders the entries itself.
#pragma once

#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "services/http/HttpClient.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tx {

struct GDataMediaContent {
    std::string URLString;
    std::string type;
    int format = 0; // 5: the embeddable player
};

struct GDataYouTubeMediaGroup {
    std::optional<long> duration; // whole seconds
    std::vector<GDataMediaContent> contents;
    std::string thumbnailURL;

    std::optional<GDataMediaContent> mediaContentWithFormatNumber(int format) const;
};

class GDataEntryYouTubeVideo : public Object {
public:
    std::string title;
    std::string videoID;
    std::optional<GDataYouTubeMediaGroup> mediaGroup;
    std::optional<double> rating;       // average star rating
    std::optional<long long> viewCount; // views
};
using GDataEntryYouTubeVideoPtr = std::shared_ptr<GDataEntryYouTubeVideo>;

class GDataFeedYouTubeVideo : public Object {
public:
    std::vector<GDataEntryYouTubeVideoPtr> entries;
    // Present in the paged dialect only.
    std::optional<long> totalResults;
    std::optional<long> startIndex;
};
using GDataFeedYouTubeVideoPtr = std::shared_ptr<GDataFeedYouTubeVideo>;

// Reads an Atom feed of either dialect; nothing (and why in `error`) when it is not one.
GDataFeedYouTubeVideoPtr parseYouTubeFeed(std::string_view body, std::string* error = nullptr);

class GDataQueryYouTube {
public:
    static GDataQueryYouTube youTubeQueryWithFeedURL(std::string feedURL);

    void setIsAscendingOrder(bool ascending) { _ascending = ascending; }
    void setStartIndex(long index) { _startIndex = index; }
    void setMaxResults(long count) { _maxResults = count; }
    void setShouldShowDeleted(bool show) { _showDeleted = show; }
    void setOrderBy(std::string order) { _orderBy = std::move(order); }

    long startIndex() const { return _startIndex; }
    long maxResults() const { return _maxResults; }
    const std::string& orderBy() const { return _orderBy; }
    // The feed address with the query's parameters.
    std::string URL() const;

private:
    std::string _feedURL;
    bool _ascending = false;
    long _startIndex = 1;
    long _maxResults = 25;
    bool _showDeleted = true;
    std::string _orderBy;
};

class GDataServiceTicket : public Object {
public:
    void cancelTicket();
    bool isCancelled() const { return _cancelled; }

private:
    friend class GDataServiceGoogleYouTube;
    HttpTicketPtr _http;
    bool _cancelled = false;
};
using GDataServiceTicketPtr = std::shared_ptr<GDataServiceTicket>;

class GDataServiceGoogleYouTube : public Object {
public:
    // On the main run loop: the feed, or nothing with an error.
    using Completion =
        std::function<void(const GDataServiceTicketPtr& ticket,
                           const GDataFeedYouTubeVideoPtr& feed, const ErrorPtr& error)>;

    // The feed of `userID`'s `feedID` ("uploads"): services.ini's feed_url with {channel}
    // filled in, percent-encoded. Empty when no feed address is configured.
    static std::string youTubeURLForUserID(const std::string& userID, const std::string& feedID);

    void setShouldCacheResponseData(bool cache) { _cacheResponses = cache; }
    void setServiceShouldFollowNextLinks(bool follow) { _followNextLinks = follow; }
    void setIsServiceRetryEnabled(bool retry) { _retryEnabled = retry; }
    void clearResponseDataCache() {}
    void setHttpClient(HttpClient* client) { _http = client; }

    GDataServiceTicketPtr fetchFeedWithQuery(const GDataQueryYouTube& query, Completion completion);

private:
    HttpClient* _http = nullptr;
    bool _cacheResponses = false;
    bool _followNextLinks = false;
    bool _retryEnabled = true;
};

} // namespace tx
