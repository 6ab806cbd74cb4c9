#include "platform/win32/dll_search.h"

#include <string>

namespace platform {

namespace {

// The headers declare these only for newer Windows than the programs target.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);

}  // namespace

void RestrictDllSearchToSystemFolder() {
  // Looked up, not imported: Windows XP would refuse to start a program that imports it.
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  const auto set_default = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (set_default != nullptr && set_default(kSearchSystem32)) return;
  SetDllDirectoryW(L"");
}

HMODULE LoadSystemLibrary(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  std::wstring path(folder, length);
  if (path.back() != L'\\') path += L'\\';
  path += name;
  return LoadLibraryW(path.c_str());
}

}  // namespace platform
