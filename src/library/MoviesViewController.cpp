#include "library/MoviesViewController.h"

#include "platform/ui/KeyTable.h"

#include "app/AppConfigureInfo.h"
#include "app/CustomEffectSound.h"
#include "library/MyMoviesViewController.h"
#include "platform/foundation/RunLoop.h"
#include "platform/ui/Screen.h"
#include "share/YoutubeViewController.h"

#include <typeinfo>

namespace tx {

MoviesViewController::~MoviesViewController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

void MoviesViewController::loadView() {
    auto root = std::make_shared<View>(Screen::mainScreen().bounds());
    root->setBackgroundColor(theme::background());
    setView(root);
}

void MoviesViewController::viewDidLoad() {
    NotificationCenter::defaultCenter().addObserver(
        this, kMoviesTabSelected, [this](const Notification& n) { onTabSelected(n); });
    _selectedIndex = -1;
    const std::int32_t stored = AppConfigureInfo::shareAppConfigureInfo()->moviesTabIndex();
    // A stored tab that does not exist would leave the library empty with no way out.
    show(stored == 0 || stored == 1 ? stored : 0);
}

void MoviesViewController::viewDidUnload() {
    NotificationCenter::defaultCenter().removeObserver(this, kMoviesTabSelected);
}

void MoviesViewController::onTabSelected(const Notification& notification) {
    const Object* sender = notification.object.get();
    std::int32_t tab = -1;
    if (sender != nullptr && typeid(*sender) == typeid(MyMoviesViewController)) {
        tab = 1;
    } else if (sender != nullptr && typeid(*sender) == typeid(YoutubeViewController)) {
        tab = 0;
    } else {
        return;
    }
    RunLoop::post([]() { CustomEffectSound::share()->playEffectSound(kSoundEffect_BtnClick); });
    auto settings = AppConfigureInfo::shareAppConfigureInfo();
    settings->setMoviesTabIndex(tab);
    settings->save();
    show(tab);
}

void MoviesViewController::show(std::int32_t tab) {
    if (tab == _selectedIndex) {
        return;
    }
    std::shared_ptr<ViewController> next;
    if (tab == 1) {
        next = std::make_shared<YoutubeViewController>();
    } else if (tab == 0) {
        next = std::make_shared<MyMoviesViewController>();
    }
    if (_selectedIndex != -1 && !view()->subviews().empty()) {
        view()->subviews().front()->removeFromSuperview();
        // The old tab may be the one asking (its button's action is still running): let go of
        // it on the next turn.
        RunLoop::post([old = std::move(_curViewController)]() {});
    }
    if (next) {
        ViewPtr tabView = next->view();
        tabView->setFrame(view()->bounds());
        view()->addSubview(tabView);
        _curViewController = std::move(next);
    }
    _selectedIndex = tab;
}

void MoviesViewController::addKeyBindings(KeyTable& table) {
    // The shown tab is not presented, so its keys come through here.
    if (_curViewController) {
        _curViewController->addKeyBindings(table);
    }
}

} // namespace tx
