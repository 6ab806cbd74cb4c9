// Times installs from inside Wine, with the performance counter.
//
//   probe install [--timeline-only] TITLE INSTALL_CAPTION FINISH_CAPTION TARGET_DIR [TIMEOUT_MS]
//   probe run PROGRAM [ARGUMENTS...]
//
// `run` starts PROGRAM with the arguments (passed on unquoted, as typed: an NSIS installer wants
// /D=C:\Dir as it is) and waits for it: "elapsed MS" from CreateProcess to the end of the process,
// then "exit CODE"; its own exit code is 0 when the program could be started.
//
// `install` presses Install in a running wizard and watches the install from outside until the
// Finish caption appears, printing a timeline in milliseconds since the press:
//
//   clicked 0
//   package T            TARGET_DIR\Setup.stp first seen (the package is being written out)
//   files T              the first other entry of TARGET_DIR seen (extraction has started)
//   package-gone T       Setup.stp deleted again
//   finish T             the Next button shows FINISH_CAPTION (page 4): the measured install time
//   pos T P              a progress bar position read with PBM_GETPOS, whenever it changed
//   bar T                the progress bar became visible
//   paint T P            the share of the bar painted as filled, in percent, whenever it changed
//   polls N answered A   how many PBM_GETPOS reads were made and how many were answered
//
// --timeline-only leaves out the bar's lines (bar, paint, pos; polls shows 0): reading the screen
// and the bar costs the probe, Wine's server and the X server CPU time that the install would
// otherwise have, so timed runs watch only the folder and the caption.
//
// Everything but PBM_GETPOS is read without sending the wizard a message (window texts and
// visibility are kept by the window system, files by the file system, the painted bar by the
// screen), so the watching does not depend on the wizard's thread. PBM_GETPOS has to be answered
// by that thread while it unpacks; each read waits at most 100 ms, and one not answered by then
// counts as a window that does not respond. Exit code 0 when Finish appeared, 1 otherwise, 2 for a
// usage error.
#include <windows.h>
#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr DWORD kPollMs = 10;
constexpr UINT kReadTimeoutMs = 100;

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

std::wstring WindowText(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return text;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}

struct TopLevelQuery {
  const std::wstring* title;
  HWND found;
};

BOOL CALLBACK MatchTitle(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<TopLevelQuery*>(param);
  if (!IsWindowVisible(window) || WindowText(window) != *query->title) return TRUE;
  query->found = window;
  return FALSE;
}

HWND FindWizard(const std::wstring& title, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    TopLevelQuery query{&title, nullptr};
    EnumWindows(MatchTitle, reinterpret_cast<LPARAM>(&query));
    if (query.found) return query.found;
    if (GetTickCount() - start >= timeout_ms) return nullptr;
    Sleep(50);
  }
}

// The button with that caption and the (single) progress bar of the wizard.
void FindControls(HWND wizard, const std::wstring& caption, HWND* button, HWND* bar) {
  std::vector<HWND> all;
  EnumChildWindows(wizard, CollectChild, reinterpret_cast<LPARAM>(&all));
  for (HWND c : all) {
    const std::wstring cls = ClassOf(c);
    if (cls == L"Button" && IsWindowVisible(c) && WindowText(c) == caption) *button = c;
    if (cls == L"msctls_progress32") *bar = c;
  }
}

// What TARGET_DIR holds besides Setup.stp, and whether Setup.stp is there.
void LookAtTarget(const std::wstring& dir, bool* package, bool* others) {
  *package = false;
  *others = false;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((dir + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (_wcsicmp(name.c_str(), L"Setup.stp") == 0) {
      *package = true;
    } else {
      *others = true;
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

constexpr DWORD kNoColour = 0xFFFFFFFF;  // DIB pixels keep their top byte zero

// The filled share of the bar as painted on the screen: along the middle row of its client area,
// the last column whose colour differs from the empty colour. The empty colour is taken from the
// right end at the first reading (the bar is shown at position 0) and kept in *empty, because a
// full bar has no empty end left to look at.
int PaintedPercent(HWND bar, DWORD* empty) {
  RECT r;
  if (!GetClientRect(bar, &r)) return -1;
  const int width = r.right - r.left;
  if (width < 8) return -1;
  POINT origin{0, (r.bottom - r.top) / 2};
  ClientToScreen(bar, &origin);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = 1;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP row = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  int percent = -1;
  if (row && bits) {
    HGDIOBJ old = SelectObject(memory, row);
    if (BitBlt(memory, 0, 0, width, 1, screen, origin.x, origin.y, SRCCOPY)) {
      const auto* pixels = static_cast<const DWORD*>(bits);
      // Two pixels in from each end, clear of the border.
      if (*empty == kNoColour) *empty = pixels[width - 3];
      int filled = 0;
      for (int x = 2; x < width - 2; ++x) {
        if (pixels[x] != *empty) filled = x - 1;
      }
      percent = filled * 100 / (width - 4);
    }
    SelectObject(memory, old);
    DeleteObject(row);
  }
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return percent;
}

class Clock {
 public:
  Clock() {
    QueryPerformanceFrequency(&frequency_);
    QueryPerformanceCounter(&start_);
  }
  long long Ms() const {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (now.QuadPart - start_.QuadPart) * 1000 / frequency_.QuadPart;
  }

 private:
  LARGE_INTEGER frequency_;
  LARGE_INTEGER start_;
};

void Say(const char* what, long long ms) {
  std::printf("%s %lld\n", what, ms);
  std::fflush(stdout);
}

int Usage() {
  std::fprintf(stderr,
               "usage: probe install [--timeline-only] TITLE INSTALL_CAPTION FINISH_CAPTION "
               "TARGET_DIR [TIMEOUT_MS]\n"
               "       probe run PROGRAM [ARGUMENTS...]\n");
  return 2;
}

int RunProgram(int argc, wchar_t** argv) {
  std::wstring command = L"\"" + std::wstring(argv[0]) + L"\"";
  for (int i = 1; i < argc; ++i) command += L" " + std::wstring(argv[i]);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  Clock clock;
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("FAIL: cannot start %ls (error %lu)\n", argv[0], GetLastError());
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  const long long elapsed = clock.Ms();
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  Say("elapsed", elapsed);
  std::printf("exit %lu\n", code);
  return 0;
}

int WatchInstall(int argc, wchar_t** argv) {
  bool watch_bar = true;
  if (argc > 0 && std::wstring(argv[0]) == L"--timeline-only") {
    watch_bar = false;
    --argc;
    ++argv;
  }
  if (argc < 4) return Usage();
  const std::wstring title = argv[0];
  const std::wstring install = argv[1];
  const std::wstring finish = argv[2];
  std::wstring target = argv[3];
  if (target.empty() || target.back() != L'\\') target += L'\\';
  const DWORD timeout_ms = argc > 4 ? wcstoul(argv[4], nullptr, 10) : 600000;

  HWND wizard = FindWizard(title, 20000);
  if (!wizard) {
    std::printf("FAIL: no window titled %ls\n", title.c_str());
    return 1;
  }
  HWND button = nullptr;
  HWND bar = nullptr;
  FindControls(wizard, install, &button, &bar);
  if (!watch_bar) bar = nullptr;
  if (!button || !IsWindowEnabled(button)) {
    std::printf("FAIL: no enabled button %ls\n", install.c_str());
    return 1;
  }

  // Posted, not sent: the handler runs the whole install before it would return.
  Clock clock;
  if (!PostMessageW(button, BM_CLICK, 0, 0)) {
    std::printf("FAIL: cannot press %ls\n", install.c_str());
    return 1;
  }
  Say("clicked", 0);

  bool seen_package = false;
  bool seen_files = false;
  bool package_gone = false;
  bool bar_shown = false;
  long long last_pos = -1;
  int last_paint = -1;
  DWORD empty_colour = kNoColour;
  unsigned polls = 0;
  unsigned answered = 0;
  bool finished = false;
  while (clock.Ms() < timeout_ms && IsWindow(wizard)) {
    bool package = false;
    bool others = false;
    LookAtTarget(target, &package, &others);
    const long long now = clock.Ms();
    if (package && !seen_package) {
      seen_package = true;
      Say("package", now);
    }
    if (others && !seen_files) {
      seen_files = true;
      Say("files", now);
    }
    if (seen_package && !package && !package_gone) {
      package_gone = true;
      Say("package-gone", now);
    }
    if (WindowText(button) == finish) {
      finished = true;
      Say("finish", now);
      break;
    }
    if (bar && !bar_shown && IsWindowVisible(bar)) {
      bar_shown = true;
      Say("bar", now);
    }
    if (bar_shown && IsWindowVisible(bar)) {
      const int paint = PaintedPercent(bar, &empty_colour);
      if (paint != last_paint) {
        last_paint = paint;
        std::printf("paint %lld %d\n", clock.Ms(), paint);
      }
    }
    if (bar) {
      DWORD_PTR pos = 0;
      ++polls;
      if (SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_NORMAL, kReadTimeoutMs, &pos)) {
        ++answered;
        if (static_cast<long long>(pos) != last_pos) {
          last_pos = static_cast<long long>(pos);
          std::printf("pos %lld %lld\n", clock.Ms(), last_pos);
        }
      }
    }
    Sleep(kPollMs);
  }
  std::printf("polls %u answered %u\n", polls, answered);
  if (!finished) {
    std::printf("FAIL: no %ls within %lu ms\n", finish.c_str(), timeout_ms);
    return 1;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // plain \n lines for the scripts that read them
  if (argc < 3) return Usage();
  const std::wstring command = argv[1];
  if (command == L"install") return WatchInstall(argc - 2, argv + 2);
  if (command == L"run") return RunProgram(argc - 2, argv + 2);
  return Usage();
}
