// Uploads one movie to the user's Facebook videos with a short message, asking for the
// permission to publish when Facebook says it is missing and then trying once more.
#pragma once

#include "platform/foundation/Translation.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Object.h"
#include "share/SendingVideoProgressView.h"

#include <functional>
#include <memory>
#include <string>

namespace tx {

class FBRequestConnection;

class ShareViewFacebookDelegate : public Object {
public:
    static constexpr const char* kUploadedMessage = N_("Movie uploaded successfully");
    static constexpr const char* kResultTitle = N_("Result");
    static constexpr const char* kResultButton = N_("Thanks!");
    static constexpr const char* kPublishPermission = "publish_actions";
    // One repeat after a missing-permission answer per upload started by the user.
    static constexpr int kMaxPermissionRepeats = 1;

    ShareViewFacebookDelegate() = default;

    const std::string& path() const { return _path; }
    void setPath(std::string path) { _path = std::move(path); }
    // Kept for the overlay of other uploads; the Facebook upload shows the progress box instead.
    const std::shared_ptr<SendingVideoProgressView>& sending() const { return _sending; }
    void setSending(std::shared_ptr<SendingVideoProgressView> sending) {
        _sending = std::move(sending);
    }

    // Uploads the movie at `path` with `message` as its title; `complete` runs after success.
    void onFacebook(const std::string& message, std::function<void()> complete);
    // Runs `action` once the session may publish, asking for the permission if needed.
    void performPublishAction(std::function<void()> action,
                              std::function<void(const ErrorPtr&)> failure);
    // Stops the upload in progress without a word; the movie is left as it is.
    void cancel();
    bool isUploading() const { return _uploading; }
    // Runs when an upload ends without success (failed or cancelled).
    void setUploadEnded(std::function<void()> handler) { _uploadEnded = std::move(handler); }

    // "error: domain = %@, code = %@(%d)" for an error.
    static std::string resultMessage(const Error& error);

private:
    void upload(const std::string& message, std::function<void()> complete);
    void fail(const ErrorPtr& error);

    std::string _path;
    std::shared_ptr<SendingVideoProgressView> _sending;
    std::shared_ptr<FBRequestConnection> _connection;
    std::function<void()> _uploadEnded;
    int _permissionRepeats = 0;
    bool _uploading = false;
    // Bumped by cancel and by every new upload, so that late answers of an old one are dropped.
    unsigned _generation = 0;
};

} // namespace tx
