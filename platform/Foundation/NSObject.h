#pragma once

#include <memory>

// Root of every reference object. Objects live in std::shared_ptr; an object that hands itself
// to a block or registers as a delegate uses sharedSelf()/weakSelf(), which is why construction
// goes through static create() factories rather than public constructors.
class NSObject : public std::enable_shared_from_this<NSObject> {
  public:
    virtual ~NSObject() = default;

    template <class T = NSObject>
    std::shared_ptr<T> sharedSelf() {
        return std::static_pointer_cast<T>(shared_from_this());
    }
    template <class T = NSObject>
    std::shared_ptr<const T> sharedSelf() const {
        return std::static_pointer_cast<const T>(shared_from_this());
    }
    template <class T = NSObject>
    std::weak_ptr<T> weakSelf() {
        return sharedSelf<T>();
    }

  protected:
    NSObject() = default;
    NSObject(const NSObject&) = delete;
    NSObject& operator=(const NSObject&) = delete;
};
