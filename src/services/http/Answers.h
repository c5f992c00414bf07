// Readers for the services' answers, written for hostile input: XML without network access,
// entity substitution or any DOCTYPE, JSON without exceptions, both with size caps.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tx {

inline constexpr std::size_t kSmallAnswerBytes = 1 << 20; // rsp and JSON answers
inline constexpr std::size_t kFeedAnswerBytes = 8 << 20;  // feeds

// TwitVid's answer: a root "rsp" whose "stat" (or "status") is "ok" or "fail", each simple child
// element a field, and "err" with "code" and "msg" describing a failure.
struct RspAnswer {
    std::string stat;
    std::map<std::string, std::string> fields;
    std::string errorCode;
    std::string errorMessage;
    bool ok() const { return stat == "ok"; }
};
// Nothing when the body is not such an answer ("Bad Response").
std::optional<RspAnswer> parseRsp(std::string_view body);

// JSON, or nothing when the body is not JSON or is larger than the cap.
std::optional<nlohmann::json> parseJson(std::string_view body,
                                        std::size_t maxBytes = kSmallAnswerBytes);
// The text of `value`, or nothing when a string in it is not UTF-8 (JSON cannot hold it). Never
// throws.
std::optional<std::string> jsonText(const nlohmann::json& value);

// The stored sign-ins' file: a JSON object of entries, each a string. Nothing, with the reason
// in `problem`, for anything else; encoding gives nothing for an entry that is not text.
std::optional<nlohmann::json> parseCredentialEntries(std::string_view text,
                                                     std::string* problem = nullptr);

// Checked reads of one member of a JSON object: nothing when `object` is not an object, the
// member is missing, or it has another type. They never throw, whatever the value holds.
std::optional<std::string> jsonString(const nlohmann::json& object, const char* key);
// A whole number, or a string of decimal digits (some services quote their numbers).
std::optional<long long> jsonInteger(const nlohmann::json& object, const char* key);
// The string items of an array member; items of other types are skipped.
std::vector<std::string> jsonStrings(const nlohmann::json& object, const char* key);

// Facebook's answer to the code exchange.
struct FBTokenAnswer {
    std::string accessToken;
    long long expiresInSeconds = 0; // 0 when the answer gives no usable lifetime
};
std::optional<FBTokenAnswer> parseFBTokenAnswer(std::string_view body);
// The names of the permissions the "me/permissions" answer marks as granted.
std::vector<std::string> parseFBGrantedPermissions(std::string_view body);

// A Facebook sign-in as it is kept between runs.
struct FBStoredSession {
    std::string accessToken;
    long long expiresAt = 0; // seconds since the epoch; 0 when unknown
    std::vector<std::string> permissions;
};
// Nothing, with the reason in `problem`, when the text is not such a sign-in.
std::optional<FBStoredSession> parseFBStoredSession(std::string_view text,
                                                    std::string* problem = nullptr);
std::string encodeFBStoredSession(const FBStoredSession& session);

// Error categories of the Graph client the share screens rely on.
enum FBErrorCategory {
    FBErrorCategoryInvalid = 0,
    FBErrorCategoryRetry = 1,
    FBErrorCategoryAuthenticationReopenSession = 2,
    FBErrorCategoryPermissions = 3,
    FBErrorCategoryServer = 4,
    FBErrorCategoryThrottling = 5,
    FBErrorCategoryUserCancelled = 6,
};

struct GraphError {
    std::string message;
    std::string type;
    long code = 0;
    long subcode = 0;
    FBErrorCategory category = FBErrorCategoryServer;
};
// The "error" object of a Graph answer, or nothing when the body holds none.
std::optional<GraphError> parseGraphError(std::string_view body);
FBErrorCategory graphErrorCategory(long code, long subcode);

} // namespace tx
