#include "AppPage.h"

#include "platform/ui/Application.h"

namespace tx {

std::string appPageURL() {
    return std::string("appstream://") + kApplicationId;
}

bool openAppPage() {
    return Application::sharedApplication().openURL(appPageURL());
}

} // namespace tx
