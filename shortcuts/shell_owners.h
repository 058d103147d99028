// Owners for what the shortcut code borrows from COM and the shell: the
// apartment, interface pointers and item-identifier lists. Each releases its
// resource through g_shellCalls when it goes, so every early return is clean.
#pragma once

#include "shortcuts/shortcuts.h"

// COM initialised for the lifetime of the object. Only a successful
// CoInitialize (S_OK or S_FALSE) is undone: uninitialising after a refused one
// would take away an apartment that belongs to someone else on this thread.
class ComApartment {
 public:
  ComApartment() : initialised_(SUCCEEDED(g_shellCalls->coInitialize(nullptr))) {}
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() {
    if (initialised_) g_shellCalls->coUninitialize();
  }

 private:
  bool initialised_;
};

// The one reference to a COM interface that its owner holds.
template <class Interface>
class ComPointer {
 public:
  ComPointer() = default;
  ComPointer(const ComPointer&) = delete;
  ComPointer& operator=(const ComPointer&) = delete;
  ~ComPointer() {
    if (pointer_ != nullptr) pointer_->Release();
  }

  // For the calls that hand out a new reference through a void**.
  void** Out() { return reinterpret_cast<void**>(&pointer_); }
  Interface* operator->() const { return pointer_; }

 private:
  Interface* pointer_ = nullptr;
};

// An item-identifier list handed out by the shell, freed with its allocator.
class ItemIdList {
 public:
  ItemIdList() = default;
  ItemIdList(const ItemIdList&) = delete;
  ItemIdList& operator=(const ItemIdList&) = delete;
  ~ItemIdList() {
    if (list_ != nullptr) g_shellCalls->coTaskMemFree(list_);
  }

  PIDLIST_ABSOLUTE* Out() { return &list_; }
  PCIDLIST_ABSOLUTE Get() const { return list_; }

 private:
  PIDLIST_ABSOLUTE list_ = nullptr;
};
