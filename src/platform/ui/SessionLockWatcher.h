// Hears the desktop's screensaver lock and unlock the session (over D-Bus, where there is a
// session bus) and tells the key window. Without a bus nothing is heard and nothing fails.
#pragma once

namespace tx {

// Starts listening once per process; later calls do nothing.
void watchSessionLock();

} // namespace tx
