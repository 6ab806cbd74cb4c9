// The Windows entry point of setup.exe: puts the real Windows behind the OS boundary and the
// Win32 controls behind the control layer, then runs the portable entry routine.
#include <cstdlib>

#include "platform/win32/dll_search.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/windows_api.h"
#include "startup/setup_entry.h"
#include "ui/win32_backend.h"

// The C++ runtime's default terminate handler prints the demangled type of an uncaught exception
// to a console that a GUI program does not have, and drags about 50 KB of demangler into the
// executable. Defining it here keeps the runtime's copy out; termination stays an abort.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  // Before anything loads a DLL: none may come from the folder setup.exe was started from.
  platform::RestrictDllSearchToSystemFolder();
  // Drive probes (free space of the folder's drive) must not raise "no disk in drive" boxes.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  platform::Win32Os os;
  platform::SetCurrentOs(&os);
  int code = 1;
  try {
    ui::Win32Backend backend;
    code = startup::RunSetup(backend);
  } catch (...) {
    // Whatever escaped the wizard's own handling: the run did not succeed.
    code = 1;
  }
  platform::SetCurrentOs(nullptr);
  return code;
}
