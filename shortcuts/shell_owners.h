// Owners for what the shortcut code borrows from COM and the shell: the
// apartment, interface pointers and item-identifier lists. Each releases its
// resource through ShellCallsInUse() when it goes, so every early return is clean.
#pragma once

#include "common/owner.h"
#include "shortcuts/shortcuts.h"

// COM initialised for the lifetime of the owner, made with the result of
// CoInitialize. Only a successful one (S_OK or S_FALSE) is undone:
// uninitialising after a refused one would take away an apartment that belongs
// to someone else on this thread.
struct ApartmentTraits {
  static bool Empty() { return false; }
  static bool Holds(bool initialised) { return initialised; }
  static void Free(bool) { ShellCallsInUse().coUninitialize(); }
};
using ComApartment = Owner<bool, ApartmentTraits>;

// The one reference to a COM interface that its owner holds.
template <class Interface>
struct ComTraits : PointerTraits<Interface*> {
  static void Free(Interface* pointer) { pointer->Release(); }
};
template <class Interface>
using ComPointer = Owner<Interface*, ComTraits<Interface>>;

// An item-identifier list handed out by the shell, freed with its allocator.
struct ItemIdListTraits : PointerTraits<PIDLIST_ABSOLUTE> {
  static void Free(PIDLIST_ABSOLUTE list) { ShellCallsInUse().coTaskMemFree(list); }
};
using ItemIdList = Owner<PIDLIST_ABSOLUTE, ItemIdListTraits>;
