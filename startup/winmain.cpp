// The Windows entry point of setup.exe: puts the real Windows behind the OS boundary and the
// Win32 controls behind the control layer, then runs the portable entry routine.
#include "platform/win32/win32_os.h"
#include "platform/win32/windows_api.h"
#include "startup/setup_entry.h"
#include "ui/win32_backend.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
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
