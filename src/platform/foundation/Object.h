// The root of every Taluvex class: objects are owned through shared_ptr and destroyed virtually.
#pragma once

#include <memory>
#include <string>

namespace tx {

class Object : public std::enable_shared_from_this<Object> {
public:
    Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    virtual ~Object() = default;

    template <typename T> std::shared_ptr<T> sharedAs() {
        return std::dynamic_pointer_cast<T>(shared_from_this());
    }
};

using ObjectPtr = std::shared_ptr<Object>;

// A string carried where an object is expected (a notification's object, a media type).
class StringObject : public Object {
public:
    explicit StringObject(std::string value) : _value(std::move(value)) {}
    const std::string& value() const { return _value; }

private:
    std::string _value;
};

} // namespace tx
