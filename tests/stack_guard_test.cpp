// The stack protector's guard as the installer sets it up: seeded at start,
// and an overwritten one ends the process at once. Linked as the installer is,
// with an entry point of its own; the exit code is the verdict.
//
//   stack_guard_test guard   ends with the guard it seeded as its exit code
//   stack_guard_test twice   runs itself twice with "guard"; 0 when the two
//                            starts had different guards, 1 otherwise
//   stack_guard_test smash   runs itself with "overrun", which writes past a
//                            buffer; 0 when that child ended with the code of
//                            a stack buffer overrun, with or without the
//                            system's fast fail, otherwise the child's code
//                            shifted to tell it apart
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "shell/shell.h"

extern "C" std::uintptr_t __stack_chk_guard;

namespace {

constexpr DWORD kFastFailCode = 0xC0000409;  // STATUS_STACK_BUFFER_OVERRUN

// Writes past its own array over the guard above it, as an unchecked copy would.
__attribute__((noinline)) void Overrun(std::size_t count) {
  char buffer[16];
  volatile char* write = buffer;
  for (std::size_t i = 0; i < count; ++i) write[i] = 'x';
}

// This program's exit code when run with `mode` behind its path, whose quote
// `mode` closes (`" overrun`).
DWORD RunChild(const char* mode) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  char commandLine[MAX_PATH + 16] = "\"";
  std::strcat(commandLine, path);
  std::strcat(commandLine, mode);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  if (!CreateProcessA(path, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) return 3;
  WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 4;
  GetExitCodeProcess(child.hProcess, &code);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  return code;
}

// The system ends a process at its fast-fail instruction without calling any
// handler. A CPU emulator (QEMU's user mode, on hosts that run no 32-bit code)
// raises an illegal instruction there instead; this handler, which the system
// never reaches, ends the child as the system would, but only at that
// instruction (int 0x29) with the stack-cookie code in ECX.
LONG CALLBACK FastFailUnderEmulation(EXCEPTION_POINTERS* exception) {
  const auto* at = static_cast<const std::uint8_t*>(exception->ExceptionRecord->ExceptionAddress);
  if (exception->ExceptionRecord->ExceptionCode == STATUS_ILLEGAL_INSTRUCTION && at[0] == 0xCD && at[1] == 0x29 &&
      exception->ContextRecord->Ecx == 2) {
    TerminateProcess(GetCurrentProcess(), kFastFailCode);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

extern "C" [[noreturn]] __attribute__((force_align_arg_pointer, no_stack_protector)) void StackGuardTestEntry() {
  SeedStackGuard();
  const char* mode = GetCommandLineA();
  if (std::strstr(mode, " guard") != nullptr) ExitProcess(__stack_chk_guard);
  if (std::strstr(mode, " twice") != nullptr) ExitProcess(RunChild("\" guard") != RunChild("\" guard") ? 0 : 1);
  if (std::strstr(mode, " overrun") != nullptr) {
    AddVectoredExceptionHandler(1, FastFailUnderEmulation);
    Overrun(64);
    ExitProcess(2);  // the overrun went unnoticed
  }
  if (std::strstr(mode, " smash") != nullptr) {
    const DWORD code = RunChild("\" overrun");
    ExitProcess(code == kFastFailCode ? 0 : 10 + (code & 0xFF));
  }
  ExitProcess(5);
}
