// The Windows entry point of Uninst.exe: the real Windows behind the OS boundary, the Win32
// controls behind the control layer, the command line as arguments, then the portable program.
#include "platform/win32/dll_search.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/windows_api.h"
#include "ui/win32_backend.h"
#include "uninstall/uninstaller.h"

#include <cstdlib>
#include <memory>

// As in setup.exe: no demangling terminate handler from the runtime; termination stays an abort.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

namespace {

struct LocalFreeDeleter {
  void operator()(wchar_t** p) const { ::LocalFree(p); }
};

// The arguments after the program's own name, split as Windows programs split them.
std::vector<platform::Text> Arguments() {
  int count = 0;
  std::unique_ptr<wchar_t*, LocalFreeDeleter> argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
  std::vector<platform::Text> arguments;
  if (!argv) return arguments;
  for (int i = 1; i < count; ++i) {
    arguments.emplace_back(reinterpret_cast<const char16_t*>(argv.get()[i]));
  }
  return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  // Before anything loads a DLL: the copy runs from the temporary folder, where anything may lie.
  platform::RestrictDllSearchToSystemFolder();
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  platform::Win32Os os;
  platform::SetCurrentOs(&os);
  int code = uninstall::kExitIncomplete;
  try {
    ui::Win32Backend backend;
    code = uninstall::RunUninstall(backend, Arguments());
  } catch (...) {
    // Whatever escaped: the product was not removed as it should have been.
    code = uninstall::kExitIncomplete;
  }
  platform::SetCurrentOs(nullptr);
  return code;
}
