#include "share/ShareViewFacebookDelegate.h"
#include "platform/foundation/Translation.h"

#include "app/TaluvexAppDelegate.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"
#include "services/facebook/FBRequestConnection.h"
#include "services/facebook/FBSession.h"
#include "services/hud/MBProgressHUD.h"

#include <algorithm>

namespace tx {

namespace {

void hideHUD() {
    if (Window* window = Window::keyWindow()) {
        MBProgressHUD::hideHUDForView(*window, true);
    }
}

} // namespace

std::string ShareViewFacebookDelegate::resultMessage(const Error& error) {
    return "error: domain = " + error.domain() +
           ", code = " + TaluvexAppDelegate::FBErrorCodeDescription(error.code()) + "(" +
           std::to_string(static_cast<int>(error.code())) + ")";
}

void ShareViewFacebookDelegate::onFacebook(const std::string& message,
                                           std::function<void()> complete) {
    _permissionRepeats = 0;
    upload(message, std::move(complete));
}

void ShareViewFacebookDelegate::upload(const std::string& message, std::function<void()> complete) {
    _uploading = true;
    const unsigned generation = ++_generation;
    // The movie goes from disk as the file part; it is never read whole into memory.
    FBGraphParameters parameters = {
        {"video.mov", FBGraphValue::file(_path)},
        {"contentType", FBGraphValue::string("video/quicktime")},
        {"title", FBGraphValue::string(message.empty() ? kUploadedMessage : message)},
        {"description", FBGraphValue::string("")},
    };
    std::weak_ptr<Object> weakSelf = shared_from_this();
    _connection = FBRequestConnection::startWithGraphPath(
        "me/videos", parameters, "POST",
        [weakSelf, generation, message, complete](const std::shared_ptr<FBRequestConnection>&,
                                                  const nlohmann::json&, const ErrorPtr& error) {
            auto self = std::static_pointer_cast<ShareViewFacebookDelegate>(weakSelf.lock());
            if (!self || generation != self->_generation) {
                return;
            }
            self->_connection.reset();
            if (!error) {
                self->_uploading = false;
                hideHUD();
                auto alert = std::make_shared<AlertView>("", _(kUploadedMessage),
                                                         std::weak_ptr<AlertViewDelegate>(), _("OK"),
                                                         std::vector<std::string>{});
                alert->show();
                if (complete) {
                    complete();
                }
                return;
            }
            if (fberrorCategory(error) == FBErrorCategoryPermissions &&
                self->_permissionRepeats < kMaxPermissionRepeats) {
                ++self->_permissionRepeats;
                std::weak_ptr<Object> weak = self;
                self->performPublishAction(
                    [weak, message, complete] {
                        if (auto again =
                                std::static_pointer_cast<ShareViewFacebookDelegate>(weak.lock())) {
                            again->upload(message, complete);
                        }
                    },
                    [weak, generation](const ErrorPtr& failure) {
                        auto again =
                            std::static_pointer_cast<ShareViewFacebookDelegate>(weak.lock());
                        if (again && generation == again->_generation) {
                            again->fail(failure);
                        }
                    });
                return;
            }
            self->fail(error);
        });
}

void ShareViewFacebookDelegate::performPublishAction(std::function<void()> action,
                                                     std::function<void(const ErrorPtr&)> failure) {
    auto session = FBSession::activeSession();
    session->setURLOpener(
        [](const std::string& url) { return Application::sharedApplication().openURL(url); });
    const auto& granted = session->permissions();
    if (std::find(granted.begin(), granted.end(), kPublishPermission) != granted.end()) {
        action();
        return;
    }
    session->requestNewPublishPermissions(
        {kPublishPermission}, FBSessionDefaultAudienceOnlyMe,
        [action, failure](const std::shared_ptr<FBSession>&, const ErrorPtr& error) {
            if (error) {
                failure(error);
            } else {
                action();
            }
        });
}

void ShareViewFacebookDelegate::fail(const ErrorPtr& error) {
    _uploading = false;
    hideHUD();
    if (_uploadEnded) {
        _uploadEnded();
    }
    if (!error || fberrorCategory(error) == FBErrorCategoryUserCancelled) {
        return;
    }
    auto alert = std::make_shared<AlertView>(_(kResultTitle), resultMessage(*error),
                                             std::weak_ptr<AlertViewDelegate>(), _(kResultButton),
                                             std::vector<std::string>{});
    alert->show();
}

void ShareViewFacebookDelegate::cancel() {
    ++_generation;
    if (_connection) {
        _connection->cancel();
        _connection.reset();
    }
    _uploading = false;
    hideHUD();
    if (_uploadEnded) {
        _uploadEnded();
    }
}

} // namespace tx
