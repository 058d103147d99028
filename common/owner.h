// One owner for a handle, pointer or other value that must be given back: it is
// released when its owner goes, on every path out of a function, unless it is
// empty or was handed on. Owners cannot be copied, so each value has one.
#pragma once

#include <utility>

// Traits say what the empty value is, whether a value is held, and how to free it.
template <class Value, class Traits>
class Owner {
 public:
  Owner() = default;
  explicit Owner(Value value) : value_(value) {}
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  ~Owner() {
    if (Traits::Holds(value_)) Traits::Free(value_);
  }

  Value Get() const { return value_; }
  Value operator->() const { return value_; }
  // For the calls that hand out a new value through a pointer, into an empty owner.
  Value* Out() { return &value_; }
  // Hands the value on without freeing it.
  Value Release() { return std::exchange(value_, Traits::Empty()); }

 private:
  Value value_ = Traits::Empty();
};

// Traits of pointers, for which null is empty.
template <class Pointer>
struct PointerTraits {
  static Pointer Empty() { return nullptr; }
  static bool Holds(Pointer pointer) { return pointer != nullptr; }
};
