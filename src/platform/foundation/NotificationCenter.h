// The default notification centre: named notifications delivered synchronously to observers.
#pragma once

#include "Object.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tx {

struct Notification {
    std::string name;
    ObjectPtr object; // may be empty
};

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    static NotificationCenter& defaultCenter();

    // Registers `handler` for `name` on behalf of `observer` (an identity used for removal).
    // With a `sender`, only notifications whose object is that sender are delivered.
    void addObserver(const void* observer, const std::string& name, Handler handler,
                     const Object* sender = nullptr);
    void removeObserver(const void* observer);
    void removeObserver(const void* observer, const std::string& name);

    void post(const std::string& name, ObjectPtr object = nullptr);

    std::size_t observerCount(const std::string& name) const;

private:
    struct Entry {
        std::uint64_t id;
        const void* observer;
        std::string name;
        const Object* sender;
        Handler handler;
    };
    std::vector<Entry> _entries;
    std::uint64_t _nextId = 1;
};

} // namespace tx
