// Reads both kinds of YouTube Atom feed into entries; kept apart from the fetching so that it
// can be fuzzed on its own.
#include "services/http/Answers.h"
#include "services/http/SafeXml.h"
#include "services/youtube/GDataServiceGoogleYouTube.h"

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

} // namespace tx
