// The demo product: one window with the product's class and title. It records each start in
// launched.txt beside the program, so that a test can see that the setup started it.
#include <windows.h>

namespace {

const int kWindowClass = 1001;
const int kWindowTitle = 1002;
const int kWindowTitleCn = 1003;
const int kChineseCodePage = 936;

// A string of the product table (language 2052, like the setup reads it).
void LoadProductString(int id, wchar_t* buffer, int size) {
  buffer[0] = L'\0';
  LoadStringW(GetModuleHandleW(nullptr), id, buffer, size);
}

void RecordLaunch() {
  wchar_t path[MAX_PATH + 16];
  DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return;
  wchar_t* slash = path + n;
  while (slash > path && slash[-1] != L'\\') --slash;
  lstrcpyW(slash, L"launched.txt");
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  // The command line tells a test with which parameters the setup started the program.
  const char kLine[] = "launched";
  DWORD written = 0;
  WriteFile(file, kLine, sizeof kLine - 1, &written, nullptr);
  const wchar_t* cmd = GetCommandLineW();
  char utf8[1024];
  int len = WideCharToMultiByte(CP_UTF8, 0, cmd, -1, utf8, sizeof utf8, nullptr, nullptr);
  if (len > 1) {
    WriteFile(file, " ", 1, &written, nullptr);
    WriteFile(file, utf8, static_cast<DWORD>(len - 1), &written, nullptr);
  }
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      wchar_t title[256];
      GetWindowTextW(window, title, 256);
      RECT rc;
      GetClientRect(window, &rc);
      DrawTextW(dc, title, -1, &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

// Usage: TavrelDemo.exe [/title TEXT]. Without /title the window takes the title of the
// edition that matches the system's code page; tests pass one to open either edition.
int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  RecordLaunch();

  wchar_t class_name[256], title[256];
  LoadProductString(kWindowClass, class_name, 256);
  LoadProductString(GetACP() == kChineseCodePage ? kWindowTitleCn : kWindowTitle, title, 256);
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv) {
    for (int i = 1; i + 1 < argc; ++i) {
      if (lstrcmpiW(argv[i], L"/title") == 0) lstrcpynW(title, argv[i + 1], 256);
    }
    LocalFree(argv);
  }

  WNDCLASSW wc = {};
  wc.lpfnWndProc = WindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, L"APPICON");
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = class_name;
  if (!RegisterClassW(&wc)) return 1;
  HWND window = CreateWindowW(class_name, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                              360, 200, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
