#pragma once

#include <memory>

#include "host/error.h"

namespace palvane::host {

// A counted reference to a host object. Using an empty reference raises
// "Object variable or With block variable not set", so that code going on
// after a failed step meets the same error the automation runtime gives
// instead of crashing.
template <class T>
class Ref {
 public:
  Ref() = default;
  Ref(std::nullptr_t) {}
  Ref(std::shared_ptr<T> p) : p_(std::move(p)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> Ref(const Ref<U>& other) : p_(other.shared()) {}

  T* operator->() const {
    if (!p_) throw Error::ObjectNotSet();
    return p_.get();
  }
  T& operator*() const { return *operator->(); }
  explicit operator bool() const { return p_ != nullptr; }
  T* get() const { return p_.get(); }
  const std::shared_ptr<T>& shared() const { return p_; }
  void reset() { p_.reset(); }

  // The same object seen through another of its interfaces; a type mismatch
  // when it has no such interface. An empty reference stays empty.
  template <class U>
  Ref<U> As() const {
    if (!p_) return Ref<U>();
    auto u = std::dynamic_pointer_cast<U>(p_);
    if (!u) throw Error::TypeMismatch();
    return Ref<U>(std::move(u));
  }
  template <class U>
  bool Is() const {
    return std::dynamic_pointer_cast<U>(p_) != nullptr;
  }

  friend bool operator==(const Ref& a, const Ref& b) { return a.p_ == b.p_; }

 private:
  std::shared_ptr<T> p_;
};

}  // namespace palvane::host
