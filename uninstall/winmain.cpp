// The Windows entry point of Uninst.exe: the real Windows behind the OS boundary, the Win32
// controls behind the control layer, then the portable program.
#include <cstdlib>

#include "platform/win32/dll_search.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/windows_api.h"
#include "ui/win32_backend.h"
#include "uninstall/uninstaller.h"

// As in setup.exe: no demangling terminate handler from the runtime; termination stays an abort.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  // Before anything loads a DLL: the copy runs from the temporary folder, where anything may lie.
  platform::RestrictDllSearchToSystemFolder();
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  platform::Win32Os os;
  platform::SetCurrentOs(&os);
  int code = uninstall::kExitIncomplete;
  try {
    ui::Win32Backend backend;
    code = uninstall::RunUninstall(backend);
  } catch (...) {
    // Whatever escaped: the product was not removed as it should have been.
    code = uninstall::kExitIncomplete;
  }
  platform::SetCurrentOs(nullptr);
  return code;
}
