#include "NotificationCenter.h"

#include <algorithm>

namespace tx {

NotificationCenter& NotificationCenter::defaultCenter() {
    static auto* center = new NotificationCenter();
    return *center;
}

void NotificationCenter::addObserver(const void* observer, const std::string& name, Handler handler,
                                     const Object* sender) {
    _entries.push_back(Entry{_nextId++, observer, name, sender, std::move(handler)});
}

void NotificationCenter::removeObserver(const void* observer) {
    std::erase_if(_entries, [&](const Entry& e) { return e.observer == observer; });
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name) {
    std::erase_if(_entries,
                  [&](const Entry& e) { return e.observer == observer && e.name == name; });
}

void NotificationCenter::post(const std::string& name, ObjectPtr object) {
    // Observers may add or remove observers (themselves included) while we deliver: walk a
    // snapshot of ids and look each one up again before calling it.
    std::vector<std::uint64_t> ids;
    for (const Entry& e : _entries) {
        if (e.name == name && (e.sender == nullptr || e.sender == object.get())) {
            ids.push_back(e.id);
        }
    }
    const Notification note{name, std::move(object)};
    for (std::uint64_t id : ids) {
        auto it = std::find_if(_entries.begin(), _entries.end(),
                               [&](const Entry& e) { return e.id == id; });
        if (it == _entries.end()) {
            continue;
        }
        Handler handler = it->handler; // the entry may vanish during the call
        handler(note);
    }
}

std::size_t NotificationCenter::observerCount(const std::string& name) const {
    return std::count_if(_entries.begin(), _entries.end(),
                         [&](const Entry& e) { return e.name == name; });
}

} // namespace tx
