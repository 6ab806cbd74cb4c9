// Keeps DLLs planted beside a program (a Downloads folder, say) out of its process.
//
// Windows looks for a DLL that is not one of its known DLLs in the program's own folder first.
// Programs that users start from such folders therefore call RestrictDllSearchToSystemFolder
// first thing in their entry point, import statically only known DLLs, and load any other
// system DLL with LoadSystemLibrary.
#pragma once

#include "platform/win32/windows_api.h"

namespace platform {

// From here on, DLLs that this process loads by name, and that system DLLs load on its behalf,
// come from the system folder only. Where Windows lacks that setting (XP, Vista, 7 without its
// update) the current folder at least is taken out of the search.
void RestrictDllSearchToSystemFolder();

// Loads the system DLL `name` ("comctl32.dll") by its full path in the system folder; null when
// it cannot (GetLastError tells why).
HMODULE LoadSystemLibrary(const wchar_t* name);

}  // namespace platform
