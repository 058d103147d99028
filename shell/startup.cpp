// What the installer's own entry point keeps of the C runtime's start-up code:
// running the static constructors.
#include "shell/shell.h"

#include <cstddef>

// The linker's table of static constructors: -1, the constructors, 0. The
// linker script defines it; libgcc has a table of the same name (always empty)
// that the script's definition overrides, which the startup test checks.
extern "C" void (*__CTOR_LIST__[])();

void RunStaticConstructors() {
  // Last to first, as the compiler's own start-up code runs them.
  std::size_t count = 0;
  while (__CTOR_LIST__[count + 1] != nullptr) ++count;
  for (std::size_t i = count; i > 0; --i) __CTOR_LIST__[i]();
}
