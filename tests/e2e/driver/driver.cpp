// Drives a running wizard from outside, the way a user would: finds its window, clicks buttons by
// their captions, types into the edit box, reads texts, states and the progress bar, and presses
// message boxes. Steps come from the command line and run in order; results go to stdout as UTF-8
// lines. The exit code is 0 when every step succeeded, 1 at the first failing step (after a
// line "FAIL: ..."), 2 for a usage error.
//
// Steps:
//   wait TITLE [MS]        wait for a visible top-level window titled TITLE; it becomes current
//   click CAPTION          click the visible, enabled button of the current window with CAPTION
//                          (waiting up to 20 s for it to be shown)
//   check CAPTION 0|1      bring a check box into the given state (by clicking it; waits as click)
//   until TEXT [MS]        wait until a visible control of the current window shows TEXT
//   type TEXT              set the text of the current window's visible single-line edit box
//                          (waits as click)
//   dump                   one line per control: class|vis|ena|x,y,w,h|text (and chk/pos)
//   tab [N]                press Tab N times (default 1); prints the control that has the focus
//   size                   the current window's outer size: "size W H"
//   msgbox [MS]            wait for a message box, print its title and text, press OK
//   answer yes|no [MS]     the same for a Yes/No message box, pressing Yes or No
//   nomsgbox MS            fail if a message box appears within MS
//   close                  send WM_CLOSE to the current window
//   gone [MS]              wait until the current window no longer exists
//   sleep MS               pause
//   run MS PROGRAM ARGS    start PROGRAM (a Windows path) with ARGS (one argument, passed on as
//                          written) and watch it until it ends, at most MS: every 10 ms the
//                          visible top-level windows of its process are looked for, and each one
//                          seen is printed once ("process-window CLASS|TITLE"); then
//                          "exit CODE". Fails when the program cannot start or does not end.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kSendTimeoutMs = 5000;
constexpr DWORD kDefaultWaitMs = 20000;

HANDLE g_out;

void WriteUtf8(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string bytes(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), n,
                      nullptr, nullptr);
  DWORD written = 0;
  WriteFile(g_out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Line(const std::wstring& text) { WriteUtf8(text + L"\n"); }

// One line per control: line breaks become the two characters \n.
std::wstring Escape(const std::wstring& text) {
  std::wstring out;
  for (wchar_t c : text) {
    if (c == L'\r') continue;
    if (c == L'\n') {
      out += L"\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

// WM_GETTEXT works for every control, also an edit box of another process.
std::wstring TextOf(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &length)) {
    return L"<no answer>";
  }
  std::vector<wchar_t> buffer(length + 1);
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
  return std::wstring(buffer.data(), copied);
}

struct ProcessWindows {
  DWORD process_id;
  std::vector<HWND> found;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM param) {
  auto* p = reinterpret_cast<ProcessWindows*>(param);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == p->process_id && IsWindowVisible(window)) p->found.push_back(window);
  return TRUE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  reinterpret_cast<std::vector<HWND>*>(param)->push_back(child);
  return TRUE;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, CollectChild, reinterpret_cast<LPARAM>(&all));
  return all;
}

struct Found {
  const std::wstring* title;
  const std::wstring* class_name;
  HWND window;
};

BOOL CALLBACK MatchTopLevel(HWND window, LPARAM param) {
  auto* f = reinterpret_cast<Found*>(param);
  if (!IsWindowVisible(window)) return TRUE;
  if (f->class_name && ClassOf(window) != *f->class_name) return TRUE;
  if (f->title) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    if (*f->title != text) return TRUE;
  }
  f->window = window;
  return FALSE;
}

HWND FindTopLevel(const std::wstring* title, const std::wstring* class_name) {
  Found found{title, class_name, nullptr};
  EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&found));
  return found.window;
}

template <typename Probe>
HWND WaitFor(Probe probe, DWORD ms) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND w = probe()) return w;
    if (GetTickCount() - start >= ms) return nullptr;
    Sleep(50);
  }
}

// Lets the wizard's thread handle what was sent and run its idle rule before the next step.
void Settle(HWND window) {
  DWORD_PTR ignored = 0;
  // Not SMTO_ABORTIFHUNG: a program that is slow to take messages (emulated, on a busy machine)
  // counts as hung after a few seconds, and the step after would see a page half made.
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored);
  Sleep(150);
  SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored);
}

bool IsKind(HWND control, LONG kind) {
  LONG style = GetWindowLongW(control, GWL_STYLE);
  return (style & BS_TYPEMASK) == kind;
}

bool IsPushButton(HWND control) {
  return ClassOf(control) == L"Button" &&
         (IsKind(control, BS_PUSHBUTTON) || IsKind(control, BS_DEFPUSHBUTTON));
}

bool IsCheckBox(HWND control) {
  return ClassOf(control) == L"Button" &&
         (IsKind(control, BS_CHECKBOX) || IsKind(control, BS_AUTOCHECKBOX));
}

HWND FindControl(HWND window, const std::wstring& caption, bool (*kind)(HWND)) {
  for (HWND c : Descendants(window)) {
    if (kind(c) && IsWindowVisible(c) && TextOf(c) == caption) return c;
  }
  return nullptr;
}

class Driver {
 public:
  int Run(std::vector<std::wstring> args) {
    size_t i = 0;
    auto next = [&]() -> const std::wstring* { return i < args.size() ? &args[i++] : nullptr; };
    auto number = [&](DWORD fallback) -> DWORD {
      if (i < args.size() && !args[i].empty() && iswdigit(args[i][0])) {
        return static_cast<DWORD>(wcstoul(args[i++].c_str(), nullptr, 10));
      }
      return fallback;
    };
    while (const std::wstring* step = next()) {
      bool ok = false;
      if (*step == L"wait") {
        const std::wstring* title = next();
        if (!title) return Usage(L"wait TITLE [MS]");
        ok = Wait(*title, number(kDefaultWaitMs));
      } else if (*step == L"click") {
        const std::wstring* caption = next();
        if (!caption) return Usage(L"click CAPTION");
        ok = Click(*caption);
      } else if (*step == L"check") {
        const std::wstring* caption = next();
        const std::wstring* state = next();
        if (!caption || !state) return Usage(L"check CAPTION 0|1");
        ok = Check(*caption, *state == L"1");
      } else if (*step == L"until") {
        const std::wstring* text = next();
        if (!text) return Usage(L"until TEXT [MS]");
        ok = Until(*text, number(kDefaultWaitMs));
      } else if (*step == L"type") {
        const std::wstring* text = next();
        if (!text) return Usage(L"type TEXT");
        ok = Type(*text);
      } else if (*step == L"dump") {
        ok = Dump();
      } else if (*step == L"tab") {
        ok = Tab(number(1));
      } else if (*step == L"size") {
        ok = Size();
      } else if (*step == L"msgbox") {
        ok = MessageBoxStep(number(kDefaultWaitMs), IDOK);
      } else if (*step == L"answer") {
        const std::wstring* reply = next();
        if (!reply || (*reply != L"yes" && *reply != L"no")) return Usage(L"answer yes|no [MS]");
        ok = MessageBoxStep(number(kDefaultWaitMs), *reply == L"yes" ? IDYES : IDNO);
      } else if (*step == L"nomsgbox") {
        ok = NoMessageBox(number(1000));
      } else if (*step == L"close") {
        ok = Current() && (PostMessageW(window_, WM_CLOSE, 0, 0) != 0);
      } else if (*step == L"gone") {
        ok = Gone(number(kDefaultWaitMs));
      } else if (*step == L"run") {
        const DWORD ms = number(kDefaultWaitMs);
        const std::wstring* program = next();
        const std::wstring* arguments = next();
        if (!program || !arguments) return Usage(L"run MS PROGRAM ARGS");
        ok = RunWatched(*program, *arguments, ms);
      } else if (*step == L"sleep") {
        Sleep(number(0));
        ok = true;
      } else {
        return Usage(L"unknown step " + *step);
      }
      if (!ok) return 1;
    }
    return 0;
  }

 private:
  int Usage(const std::wstring& what) {
    Line(L"usage: " + what);
    return 2;
  }

  bool Fail(const std::wstring& what) {
    Line(L"FAIL: " + what);
    return false;
  }

  bool Current() {
    if (window_ && IsWindow(window_)) return true;
    return Fail(L"no current window");
  }

  bool Wait(const std::wstring& title, DWORD ms) {
    window_ = WaitFor([&] { return FindTopLevel(&title, nullptr); }, ms);
    if (!window_) return Fail(L"no window titled " + title);
    Settle(window_);
    Line(L"window " + ClassOf(window_) + L"|" + title);
    return true;
  }

  bool Click(const std::wstring& caption) {
    if (!Current()) return false;
    // A slow start (an emulated 32-bit program) can show the window before its page's controls.
    HWND button =
        WaitFor([&] { return FindControl(window_, caption, IsPushButton); }, kDefaultWaitMs);
    if (!button) return Fail(L"no visible button " + caption);
    if (!IsWindowEnabled(button)) return Fail(L"button disabled: " + caption);
    DWORD_PTR ignored = 0;
    // A handler that opens a modal box does not return; the timeout lets the next step press it.
    SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 1000, &ignored);
    if (IsWindow(window_)) Settle(window_);
    Line(L"clicked " + caption);
    return true;
  }

  bool Check(const std::wstring& caption, bool state) {
    if (!Current()) return false;
    HWND box = WaitFor([&] { return FindControl(window_, caption, IsCheckBox); }, kDefaultWaitMs);
    if (!box) return Fail(L"no visible check box " + caption);
    DWORD_PTR checked = 0;
    SendMessageTimeoutW(box, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &checked);
    if ((checked == BST_CHECKED) != state) {
      DWORD_PTR ignored = 0;
      SendMessageTimeoutW(box, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &ignored);
      Settle(window_);
      SendMessageTimeoutW(box, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &checked);
    }
    if ((checked == BST_CHECKED) != state) return Fail(L"check box did not change: " + caption);
    Line(L"checked " + caption + (state ? L" 1" : L" 0"));
    return true;
  }

  bool Until(const std::wstring& text, DWORD ms) {
    if (!Current()) return false;
    HWND w = window_;
    auto shows = [w, &text]() -> HWND {
      if (!IsWindow(w)) return nullptr;
      for (HWND c : Descendants(w)) {
        if (IsWindowVisible(c) && TextOf(c) == text) return c;
      }
      return nullptr;
    };
    if (!WaitFor(shows, ms)) return Fail(L"no visible control shows " + text);
    Settle(window_);
    Line(L"shown " + text);
    return true;
  }

  bool Type(const std::wstring& text) {
    if (!Current()) return false;
    const auto edit_box = [this]() -> HWND {
      for (HWND c : Descendants(window_)) {
        if (ClassOf(c) != L"Edit" || !IsWindowVisible(c)) continue;
        if (GetWindowLongW(c, GWL_STYLE) & ES_MULTILINE) continue;
        return c;
      }
      return nullptr;
    };
    HWND c = WaitFor(edit_box, kDefaultWaitMs);
    if (!c) return Fail(L"no visible edit box");
    DWORD_PTR ignored = 0;
    // WM_SETTEXT makes the edit box notify its parent of the change, as typing does.
    SendMessageTimeoutW(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &ignored);
    Settle(window_);
    Line(L"typed " + text);
    return true;
  }

  bool Dump() {
    if (!Current()) return false;
    Settle(window_);
    for (HWND c : Descendants(window_)) {
      RECT r;
      GetWindowRect(c, &r);
      POINT origin{r.left, r.top};
      ScreenToClient(GetParent(c), &origin);
      std::wstring cls = ClassOf(c);
      std::wstring line = cls + (IsWindowVisible(c) ? L"|vis" : L"|hid") +
                          (IsWindowEnabled(c) ? L"|ena|" : L"|dis|") + std::to_wstring(origin.x) +
                          L"," + std::to_wstring(origin.y) + L"," +
                          std::to_wstring(r.right - r.left) + L"," +
                          std::to_wstring(r.bottom - r.top) + L"|" + Escape(TextOf(c));
      DWORD_PTR value = 0;
      if (IsCheckBox(c)) {
        SendMessageTimeoutW(c, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value);
        line += L"|chk=" + std::to_wstring(value);
      } else if (cls == L"msctls_progress32") {
        SendMessageTimeoutW(c, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &value);
        line += L"|pos=" + std::to_wstring(value);
      }
      Line(L"control " + line);
    }
    Line(L"end");
    return true;
  }

  HWND Focus() {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &info);
    return info.hwndFocus;
  }

  bool Tab(DWORD times) {
    if (!Current()) return false;
    for (DWORD i = 0; i < times; ++i) {
      HWND focus = Focus();
      if (!focus) return Fail(L"nothing has the focus");
      PostMessageW(focus, WM_KEYDOWN, VK_TAB, 0x000F0001);
      PostMessageW(focus, WM_KEYUP, VK_TAB, 0xC00F0001);
      Settle(window_);
    }
    HWND focus = Focus();
    Line(L"focus " + (focus ? ClassOf(focus) + L"|" + TextOf(focus) : std::wstring(L"none")));
    return true;
  }

  bool Size() {
    if (!Current()) return false;
    RECT r;
    GetWindowRect(window_, &r);
    Line(L"size " + std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top));
    return true;
  }

  static HWND FindMessageBox() {
    const std::wstring dialog = L"#32770";
    return FindTopLevel(nullptr, &dialog);
  }

  bool MessageBoxStep(DWORD ms, int button) {
    HWND box = WaitFor(FindMessageBox, ms);
    if (!box) return Fail(L"no message box");
    Sleep(100);
    std::wstring text;
    for (HWND c : Descendants(box)) {
      if (ClassOf(c) == L"Static" && !TextOf(c).empty()) text += TextOf(c);
    }
    wchar_t title[512] = {};
    GetWindowTextW(box, title, 512);
    Line(L"msgbox " + std::wstring(title) + L"|" + Escape(text));
    DWORD_PTR ignored = 0;
    if (!GetDlgItem(box, button)) return Fail(L"the message box lacks that button");
    SendMessageTimeoutW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(box, button)), SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &ignored);
    WaitFor([box] { return IsWindow(box) ? nullptr : box; }, kSendTimeoutMs);
    if (window_ && IsWindow(window_)) Settle(window_);
    return true;
  }

  bool NoMessageBox(DWORD ms) {
    if (HWND box = WaitFor(FindMessageBox, ms)) {
      wchar_t title[512] = {};
      GetWindowTextW(box, title, 512);
      return Fail(L"unexpected message box " + std::wstring(title));
    }
    Line(L"no message box");
    return true;
  }

  bool RunWatched(const std::wstring& program, const std::wstring& arguments, DWORD ms) {
    std::wstring command = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
      return Fail(L"cannot start " + program);
    }
    CloseHandle(process.hThread);
    std::vector<HWND> seen;
    const DWORD start = GetTickCount();
    DWORD wait = WAIT_TIMEOUT;
    while (wait == WAIT_TIMEOUT && GetTickCount() - start < ms) {
      ProcessWindows windows{process.dwProcessId, {}};
      EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&windows));
      for (HWND w : windows.found) {
        bool known = false;
        for (HWND k : seen) known = known || k == w;
        if (known) continue;
        seen.push_back(w);
        wchar_t title[512] = {};
        GetWindowTextW(w, title, 512);
        Line(L"process-window " + ClassOf(w) + L"|" + title);
      }
      wait = WaitForSingleObject(process.hProcess, 10);
    }
    DWORD code = 0;
    const bool ended = wait == WAIT_OBJECT_0 && GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    if (!ended) return Fail(L"still running: " + program);
    Line(L"exit " + std::to_wstring(code));
    return true;
  }

  bool Gone(DWORD ms) {
    HWND w = window_;
    if (!WaitFor([w] { return IsWindow(w) ? nullptr : w; }, ms)) {
      return Fail(L"window still open");
    }
    Line(L"gone");
    return true;
  }

  HWND window_ = nullptr;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  g_out = GetStdHandle(STD_OUTPUT_HANDLE);
  std::vector<std::wstring> args(argv + 1, argv + argc);
  return Driver().Run(std::move(args));
}
