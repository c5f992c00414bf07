// The movie library: a container showing one of two tabs, My Movies or YouTube, and remembering
// the one shown last in the settings. The tabs ask for each other with "MoviesTabSelected".
#pragma once

#include "platform/foundation/NotificationCenter.h"
#include "platform/ui/ViewController.h"

#include <cstdint>
#include <memory>

namespace tx {

inline const std::string kMoviesTabSelected = "MoviesTabSelected";

class MoviesViewController : public ViewController {
public:
    MoviesViewController() = default;
    ~MoviesViewController() override;

    void loadView() override;
    void viewDidLoad() override;
    void viewDidUnload() override;
    void addKeyBindings(KeyTable& table) override;

    // Shows tab 0 (My Movies) or 1 (YouTube); any other number shows nothing new.
    void show(std::int32_t tab);
    void onTabSelected(const Notification& notification);

    std::int32_t selectedIndex() const { return _selectedIndex; }
    const std::shared_ptr<ViewController>& curViewController() const { return _curViewController; }

private:
    std::int32_t _selectedIndex = -1;
    std::shared_ptr<ViewController> _curViewController;
};

} // namespace tx
