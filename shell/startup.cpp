// What the installer's own entry point keeps of the C runtime's start-up code:
// running the static constructors.
#include "shell/shell.h"

#include <cstddef>
#include <cstdint>

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

// The guard that -fstack-protector puts between a function's byte arrays
// and its return address, and checks before it returns. GCC's own libssp
// seeds it from CryptoAPI (ADVAPI32 and its provider DLLs) in a constructor
// that runs before the DLL search is restricted; the installer defines it
// itself, as the Windows C runtime does its security cookie.
extern "C" {
std::uintptr_t __stack_chk_guard = 0;
}

namespace {

// The Windows C runtime's default cookie, which a seeded one must not be.
constexpr std::uintptr_t kDefaultGuard = 0xBB40E64E;

// The system's page of shared data, at the same address in every process
// since Windows NT (KUSER_SHARED_DATA), and the thread's own block: the values
// that the C runtime asks kernel32 for when it seeds its cookie, read where
// kernel32 reads them, so that the guard costs no imports.
constexpr std::uintptr_t kSharedUserData = 0x7FFE0000;
constexpr std::uintptr_t kInterruptTime = 0x08;   // KSYSTEM_TIME: low, high
constexpr std::uintptr_t kSystemTime = 0x14;      // KSYSTEM_TIME: low, high
constexpr std::uintptr_t kTickCount = 0x320;      // KSYSTEM_TIME: low, high
constexpr std::uintptr_t kProcessorFeatures = 0x274;

std::uint32_t Shared(std::uintptr_t offset) {
  return *reinterpret_cast<const volatile std::uint32_t*>(kSharedUserData + offset);
}

}  // namespace

void SeedStackGuard() {
  // The time, the process and thread (the thread block's client id), the tick
  // count, the interrupt time and the processor's time-stamp counter.
  std::uint32_t process = 0, thread = 0;
  asm volatile("movl %%fs:0x20, %0\n\tmovl %%fs:0x24, %1" : "=r"(process), "=r"(thread));
  std::uint32_t counterLow = 0, counterHigh = 0;
  asm volatile("rdtsc" : "=a"(counterLow), "=d"(counterHigh));
  std::uintptr_t guard = Shared(kSystemTime) ^ Shared(kSystemTime + 4) ^ process ^ thread ^ Shared(kTickCount) ^
                         Shared(kInterruptTime) ^ counterLow ^ counterHigh ^
                         reinterpret_cast<std::uintptr_t>(&guard);
  if (guard == 0 || guard == kDefaultGuard) guard = kDefaultGuard + 1;
  __stack_chk_guard = guard;
}

// A guard found changed: the stack was overwritten, and nothing of this
// process can be trusted to run on. The system ends it at once where it can
// (__fastfail, Windows 8 on); before, it is terminated with the code that the
// fast fail gives, as the C runtimes do there: ExitProcess would first run
// every DLL's detach code on that stack, and report a failed installation.
extern "C" [[noreturn]] void __stack_chk_fail() {
  constexpr std::uintptr_t kFastFailAvailable = 23;  // PF_FASTFAIL_AVAILABLE
  constexpr unsigned kStackCookieCheckFailure = 2;  // FAST_FAIL_STACK_COOKIE_CHECK_FAILURE
  const auto* features = reinterpret_cast<const volatile std::uint8_t*>(kSharedUserData + kProcessorFeatures);
  if (features[kFastFailAvailable] != 0) {
    asm volatile("int $0x29" : : "c"(kStackCookieCheckFailure));
  }
  // The process's own pseudo-handle, which GetCurrentProcess returns: one
  // import less.
  const HANDLE thisProcess = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));
  TerminateProcess(thisProcess, STATUS_STACK_BUFFER_OVERRUN);
  __builtin_unreachable();  // the calling thread ends with its process
}
