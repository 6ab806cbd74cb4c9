// Stands in for the generic uninstaller until the tree builds one (target uninst_stub): a Windows
// program that tells the user it cannot uninstall, so setups built meanwhile carry a valid
// Uninst.exe that the builder can write the product's resources into.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ::MessageBoxW(nullptr, L"This program cannot uninstall the product yet.", L"Uninstall",
                MB_OK | MB_ICONINFORMATION);
  return 1;
}
