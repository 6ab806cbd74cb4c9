// <windows.h> and the shell headers for code that also uses the Os interface.
//
// The Windows headers define macros such as FindWindow, MessageBox and CreateDirectory that would
// rename the Os methods of the same names in any file that includes both. This header includes the
// Windows headers and removes those macros; code here calls the W functions by their full names.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shellapi.h>
#include <shlobj.h>

#undef RegCreateKeyEx
#undef RegOpenKeyEx
#undef RegQueryValueEx
#undef RegSetValueEx
#undef FindWindow
#undef MessageBox
#undef CreateDirectory
#undef RemoveDirectory
#undef DeleteFile
#undef GetFileAttributes
#undef GetDriveType
#undef GetDiskFreeSpaceEx
#undef GetSystemDirectory
#undef GetEnvironmentVariable
#undef ShellExecuteEx
#undef CreateShellLink
#undef BrowseForFolder
#undef RegDeleteKey
#undef CopyFile
#undef MoveFileEx
#undef GetTempPath
#undef GetCommandLine
#undef CreateProcess
