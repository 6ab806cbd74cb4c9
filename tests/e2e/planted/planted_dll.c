/* A DLL planted beside a program, built as comctl32.dll, version.dll and uxtheme.dll. When
 * Windows loads it, it leaves NAME.dll.static (loaded with the process, as a static import) or
 * NAME.dll.dynamic (loaded at run time) beside itself. It exports the comctl32 entry points a
 * program may import, so that such an import binds to it and the loading shows. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    wchar_t path[MAX_PATH + 16];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      /* Windows passes a non-null reserved pointer for DLLs loaded with the process. */
      lstrcpyW(path + length, reserved != NULL ? L".static" : L".dynamic");
      HANDLE marker = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
      if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
    }
  }
  return TRUE;
}

__declspec(dllexport) BOOL WINAPI InitCommonControlsEx(const void* controls) {
  (void)controls;
  return TRUE;
}

__declspec(dllexport) void WINAPI InitCommonControls(void) {}
