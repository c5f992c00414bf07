// The application's identity on the desktop and its page in the software centre, which the
// rating prompt opens.
#pragma once

#include <string>

namespace tx {

// The id of the launcher entry, the icons, the software centre's description and the D-Bus names.
inline constexpr const char* kApplicationId = "org.taluvex.Taluvex";

// "appstream://org.taluvex.Taluvex": the software centre's page of the application.
std::string appPageURL();
// Opens that page through the application's address opening; false when nothing opened it.
bool openAppPage();

} // namespace tx
