// The Win32 backend of the control layer. See win32_backend.h for the mapping of controls to
// windows.
#include "ui/win32_backend.h"

#include <map>
#include <optional>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/win32/dll_search.h"
#include "platform/win32/windows_api.h"
#include "ui/win32_picture.h"

// After windows_api.h, which includes <windows.h> as this code needs it.
// clang-format off
#include <commctrl.h>
// clang-format on

namespace ui {
namespace {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");

const wchar_t kFormClass[] = L"TavrelSetupForm";
const wchar_t kPanelClass[] = L"TavrelSetupPanel";

const wchar_t* Wide(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

Text FromWide(const wchar_t* text, int length) {
  return Text(reinterpret_cast<const char16_t*>(text), static_cast<std::size_t>(length));
}

COLORREF ToColorRef(Color color) {
  return IsSystemColor(color) ? GetSysColor(static_cast<int>(color & 0xFF)) : color;
}

// --- Owned handles -------------------------------------------------------------------------------

struct GdiDeleter {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
using GdiObject = std::unique_ptr<std::remove_pointer_t<HGDIOBJ>, GdiDeleter>;

struct IconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
using IconHandle = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

using win32::DecodePicture;
using win32::Pixels;
using win32::TopDownInfo;
using win32::WindowDc;

std::uint32_t ToPixel(COLORREF color) {
  return (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
}

}  // namespace

// --- The backend's state and window procedures ---------------------------------------------------

struct Win32Backend::Impl {
  struct Entry {
    ControlKind kind = ControlKind::kPanel;
    ControlId parent = kNoControl;
    Text name;
    HWND window = nullptr;
    Style style;
    Font font;
    HFONT hfont = nullptr;  // owned by the font cache
    Color color = kColorBtnFace;
    Text text;
    Rect bounds;
    std::optional<Pixels> picture;
    WNDPROC original_proc = nullptr;  // group boxes: the BUTTON procedure we forward to
    bool shown = false;               // forms: shown at least once (centred then)
  };

  HINSTANCE instance = GetModuleHandleW(nullptr);
  EventSink* sink = nullptr;
  std::map<ControlId, Entry> entries;
  std::unordered_map<HWND, ControlId> by_window;
  std::map<std::tuple<Text, int, bool>, GdiObject> fonts;
  std::unordered_map<COLORREF, GdiObject> brushes;
  IconHandle icon_big;
  IconHandle icon_small;
  Text application_title;
  bool com_initialized = false;
  bool quit = false;
  // Our own SetWindowText on an edit box and our own resizing are not the user's doing.
  int suppress_events = 0;

  Entry* Find(ControlId id) {
    auto it = entries.find(id);
    return it == entries.end() ? nullptr : &it->second;
  }

  Entry* FindWindow(HWND window, ControlId* id) {
    auto it = by_window.find(window);
    if (it == by_window.end()) return nullptr;
    *id = it->second;
    return Find(it->second);
  }

  HFONT FontFor(const Font& font) {
    auto key = std::make_tuple(font.name, font.height, font.bold);
    auto it = fonts.find(key);
    if (it == fonts.end()) {
      HFONT created =
          CreateFontW(-font.height, 0, 0, 0, font.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_DONTCARE, Wide(font.name));
      it = fonts.emplace(key, GdiObject(created)).first;
    }
    return static_cast<HFONT>(it->second.get());
  }

  HBRUSH BrushFor(Color color) {
    if (IsSystemColor(color)) return GetSysColorBrush(static_cast<int>(color & 0xFF));
    auto it = brushes.find(color);
    if (it == brushes.end()) it = brushes.emplace(color, GdiObject(CreateSolidBrush(color))).first;
    return static_cast<HBRUSH>(it->second.get());
  }

  static DWORD FormStyle(const Style& s) {
    DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_CLIPCHILDREN;
    if (s.system_menu) style |= WS_SYSMENU;
    if (s.minimize_box) style |= WS_MINIMIZEBOX;
    if (s.maximize_box) style |= WS_MAXIMIZEBOX;
    if (s.sizeable) style |= WS_THICKFRAME;
    return style;
  }

  static DWORD LabelStyle(const Style& s) {
    // Product names may hold "&"; a label shows it as written.
    return SS_NOPREFIX | (s.word_wrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
  }

  // The native window of a control, created on first need with the style known at that moment.
  // The layer sends SetStyle right after CreateControl, so that is normally where this happens.
  HWND Ensure(ControlId id) {
    Entry* e = Find(id);
    if (!e) return nullptr;
    if (e->window) return e->window;
    HWND parent = e->parent != kNoControl ? Ensure(e->parent) : nullptr;
    e = Find(id);  // the recursion may have grown the map; std::map keeps entries in place anyway
    const Style& s = e->style;
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS;
    DWORD ex = 0;
    switch (e->kind) {
      case ControlKind::kForm:
        cls = kFormClass;
        style = FormStyle(s);
        ex = WS_EX_CONTROLPARENT;
        break;
      case ControlKind::kPanel:
        cls = kPanelClass;
        style |= WS_CLIPCHILDREN;
        ex = WS_EX_CONTROLPARENT | (s.border ? WS_EX_STATICEDGE : 0);
        break;
      case ControlKind::kLabel: style |= LabelStyle(s); break;
      case ControlKind::kImage: style |= SS_OWNERDRAW; break;
      case ControlKind::kBevel: style |= SS_ETCHEDHORZ; break;
      case ControlKind::kEdit:
        cls = L"EDIT";
        style |= WS_TABSTOP | ES_AUTOHSCROLL | (s.read_only ? ES_READONLY : 0);
        ex = WS_EX_CLIENTEDGE;
        break;
      case ControlKind::kMemo: {
        cls = L"EDIT";
        style |= WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | (s.read_only ? ES_READONLY : 0);
        const bool vertical =
            s.scroll_bars == ScrollBars::kVertical || s.scroll_bars == ScrollBars::kBoth;
        const bool horizontal =
            s.scroll_bars == ScrollBars::kHorizontal || s.scroll_bars == ScrollBars::kBoth;
        if (vertical) style |= WS_VSCROLL;
        if (horizontal) style |= WS_HSCROLL | ES_AUTOHSCROLL;
        ex = WS_EX_CLIENTEDGE;
        break;
      }
      case ControlKind::kGroupBox:
        cls = L"BUTTON";
        style |= BS_GROUPBOX | WS_CLIPCHILDREN;
        ex = WS_EX_CONTROLPARENT;
        break;
      case ControlKind::kCheckBox:
        cls = L"BUTTON";
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
      case ControlKind::kButton:
        cls = L"BUTTON";
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case ControlKind::kProgressBar: cls = PROGRESS_CLASSW; break;
    }
    HMENU child_id = e->kind == ControlKind::kForm
                         ? nullptr
                         : reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id));
    // Our own classes find the backend through the creation parameter (WM_NCCREATE).
    const bool own_class = cls == kFormClass || cls == kPanelClass;
    HWND window = CreateWindowExW(ex, cls, L"", style, 0, 0, 0, 0, parent, child_id, instance,
                                  own_class ? this : nullptr);
    if (!window) return nullptr;
    e->window = window;
    by_window[window] = id;
    if (e->kind == ControlKind::kGroupBox) {
      // The children of a group box report to it; it passes their notifications on to us.
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      e->original_proc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GroupBoxProc)));
    }
    if (e->kind == ControlKind::kForm && icon_big) {
      SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_big.get()));
      SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small.get()));
    }
    return window;
  }

  // Labels and check boxes with auto_size take the size of their text in their font.
  void AutoSize(Entry& e) {
    if (!e.window || !e.style.auto_size) return;
    if (e.kind != ControlKind::kLabel && e.kind != ControlKind::kCheckBox) return;
    WindowDc dc(e.window);
    HGDIOBJ old = SelectObject(dc.Get(), e.hfont ? e.hfont : GetStockObject(DEFAULT_GUI_FONT));
    TEXTMETRICW metrics = {};
    GetTextMetricsW(dc.Get(), &metrics);
    RECT r = {0, 0, e.style.word_wrap ? e.bounds.width : 0, 0};
    UINT flags = DT_CALCRECT | DT_NOPREFIX;
    if (e.style.word_wrap && e.kind == ControlKind::kLabel) flags |= DT_WORDBREAK;
    if (!e.text.empty()) {
      DrawTextW(dc.Get(), Wide(e.text), static_cast<int>(e.text.size()), &r, flags);
    }
    SelectObject(dc.Get(), old);
    int width = e.style.word_wrap ? e.bounds.width : static_cast<int>(r.right);
    int height = std::max<int>(r.bottom, metrics.tmHeight);
    if (e.kind == ControlKind::kCheckBox) {
      width += GetSystemMetrics(SM_CXMENUCHECK) + 4;
      height = std::max(height, GetSystemMetrics(SM_CYMENUCHECK));
    }
    ++suppress_events;
    SetWindowPos(e.window, nullptr, e.bounds.left, e.bounds.top, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    --suppress_events;
  }

  // Puts a control at its tab position among its siblings (the z-order is the tab order).
  void ApplyTabOrder(Entry& e) {
    if (!e.window || e.style.tab_order < 0 || e.kind == ControlKind::kForm) return;
    HWND after = HWND_TOP;
    HWND sibling = GetWindow(GetParent(e.window), GW_CHILD);
    for (int i = 0; sibling && i < e.style.tab_order; ++i) {
      if (sibling == e.window) sibling = GetWindow(sibling, GW_HWNDNEXT);
      if (!sibling) break;
      after = sibling;
      sibling = GetWindow(sibling, GW_HWNDNEXT);
    }
    SetWindowPos(e.window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }

  void Paint(Entry& e, const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT rc = item.rcItem;
    FillRect(dc, &rc, BrushFor(e.color));
    if (!e.picture) return;
    const Pixels& p = *e.picture;
    int x = rc.left, y = rc.top;
    if (e.style.center) {
      x += (rc.right - rc.left - p.width) / 2;
      y += (rc.bottom - rc.top - p.height) / 2;
    }
    const std::uint32_t* bits = p.data.data();
    std::vector<std::uint32_t> keyed;
    if (e.style.transparent) {
      // As with transparent bitmaps elsewhere in Windows programs: the colour of the
      // bottom-left pixel is see-through and shows the control's background.
      const std::uint32_t key = p.data[static_cast<std::size_t>(p.height - 1) * p.width] & 0xFFFFFF;
      const std::uint32_t background = ToPixel(ToColorRef(e.color));
      keyed = p.data;
      for (std::uint32_t& px : keyed) {
        if ((px & 0xFFFFFF) == key) px = background;
      }
      bits = keyed.data();
    }
    BITMAPINFO info = TopDownInfo(p.width, p.height);
    SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(p.width), static_cast<DWORD>(p.height), 0, 0, 0,
                      static_cast<UINT>(p.height), bits, &info, DIB_RGB_COLORS);
  }

  // Messages that forms, panels and group boxes share. True when handled (result in *result).
  bool Handle(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
    switch (message) {
      case WM_COMMAND: {
        ControlId id = kNoControl;
        HWND control = reinterpret_cast<HWND>(lparam);
        Entry* e = control ? FindWindow(control, &id) : nullptr;
        if (!e) return false;  // menus, accelerators, IDOK/IDCANCEL from the dialog manager
        const WORD code = HIWORD(wparam);
        if (e->kind == ControlKind::kButton && code == BN_CLICKED) {
          Notify([&] { sink->Clicked(id); });
        } else if (e->kind == ControlKind::kCheckBox && code == BN_CLICKED) {
          const bool checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
          Notify([&] { sink->CheckToggled(id, checked); });
          if (Find(id)) Notify([&] { sink->Clicked(id); });
        } else if (e->kind == ControlKind::kEdit && code == EN_CHANGE && suppress_events == 0) {
          const int length = GetWindowTextLengthW(control);
          std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
          const int got = GetWindowTextW(control, buffer.data(), length + 1);
          Text text = FromWide(buffer.data(), got);
          e->text = text;
          Notify([&] { sink->TextEdited(id, text); });
        }
        *result = 0;
        return true;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORBTN: {
        ControlId id = kNoControl;
        Entry* e = FindWindow(reinterpret_cast<HWND>(lparam), &id);
        if (!e || e->kind == ControlKind::kButton) return false;
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetTextColor(dc, ToColorRef(e->font.color));
        SetBkColor(dc, ToColorRef(e->color));
        *result = reinterpret_cast<LRESULT>(BrushFor(e->color));
        return true;
      }
      case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        ControlId id = kNoControl;
        Entry* e = FindWindow(item->hwndItem, &id);
        if (!e || e->kind != ControlKind::kImage) return false;
        Paint(*e, *item);
        *result = TRUE;
        return true;
      }
      case WM_ERASEBKGND: {
        ControlId id = kNoControl;
        Entry* e = FindWindow(window, &id);
        if (!e) return false;
        RECT rc;
        GetClientRect(window, &rc);
        FillRect(reinterpret_cast<HDC>(wparam), &rc, BrushFor(e->color));
        *result = 1;
        return true;
      }
      case WM_CLOSE: {
        ControlId id = kNoControl;
        Entry* e = FindWindow(window, &id);
        if (!e || e->kind != ControlKind::kForm) return false;
        // The layer decides what closing means; the window stays until it is destroyed.
        Notify([&] { sink->CloseRequested(id); });
        *result = 0;
        return true;
      }
      case WM_SIZE: {
        ControlId id = kNoControl;
        Entry* e = FindWindow(window, &id);
        if (!e || e->kind != ControlKind::kForm || suppress_events || wparam == SIZE_MINIMIZED) {
          return false;
        }
        Notify([&] { sink->Resized(id); });
        *result = 0;
        return true;
      }
      default: return false;
    }
  }

  // The layer catches its handlers' exceptions; nothing may unwind into the system's code.
  template <typename F>
  void Notify(F&& f) {
    if (!sink) return;
    try {
      f();
    } catch (...) {
    }
  }

  static LRESULT CALLBACK ContainerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    LRESULT result = 0;
    if (self && self->Handle(window, message, wparam, lparam, &result)) return result;
    return DefWindowProcW(window, message, wparam, lparam);
  }

  static LRESULT CALLBACK GroupBoxProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<Impl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    ControlId id = kNoControl;
    Entry* e = self ? self->FindWindow(window, &id) : nullptr;
    if (!e) return DefWindowProcW(window, message, wparam, lparam);
    WNDPROC original = e->original_proc;
    LRESULT result = 0;
    // A group box paints only its frame and caption; its inside gets its colour from us.
    if (message != WM_CLOSE && message != WM_SIZE &&
        self->Handle(window, message, wparam, lparam, &result)) {
      return result;
    }
    return CallWindowProcW(original, window, message, wparam, lparam);
  }
};

// --- Backend ------------------------------------------------------------------------------------

namespace {

// Registers the progress bar's window class. comctl32 is not one of the system's known DLLs, so
// it is loaded by its full path in the system folder rather than imported: an imported one
// would be looked for beside the program first. It stays loaded for the process's life, as the
// window class lives in it.
void InitProgressBarClass() {
  // comctl32 loads uxtheme when it starts, by name. Loaded here first by its full path, it is
  // found already in the process, also where the DLL search cannot be restricted (Windows XP).
  platform::LoadSystemLibrary(L"uxtheme.dll");
  const HMODULE comctl32 = platform::LoadSystemLibrary(L"comctl32.dll");
  if (comctl32 == nullptr) return;  // no progress bar can be made; the wizard still runs
  using InitFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto init = reinterpret_cast<InitFn>(
      reinterpret_cast<void*>(GetProcAddress(comctl32, "InitCommonControlsEx")));
  if (init == nullptr) return;
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
  init(&controls);
}

}  // namespace

Win32Backend::Win32Backend() : impl_(std::make_unique<Impl>()) {
  InitProgressBarClass();
  WNDCLASSW wc = {};
  wc.lpfnWndProc = Impl::ContainerProc;
  wc.hInstance = impl_->instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.lpszClassName = kFormClass;
  RegisterClassW(&wc);
  wc.lpszClassName = kPanelClass;
  RegisterClassW(&wc);
}

Win32Backend::~Win32Backend() {
  // Windows first (children go with their forms), then the fonts, brushes and icons they used.
  for (auto& [id, e] : impl_->entries) {
    if (e.kind == ControlKind::kForm && e.window && IsWindow(e.window)) DestroyWindow(e.window);
  }
  impl_->entries.clear();
  impl_->by_window.clear();
}

void Win32Backend::SetEventSink(EventSink* sink) { impl_->sink = sink; }

void Win32Backend::InitializeApplication() {
  if (!impl_->com_initialized) {
    impl_->com_initialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  }
}

void Win32Backend::FinalizeApplication() {
  if (impl_->com_initialized) {
    CoUninitialize();
    impl_->com_initialized = false;
  }
}

void Win32Backend::SetApplicationTitle(const Text& title) { impl_->application_title = title; }

void Win32Backend::SetApplicationIcon(const Text& resource_name) {
  auto load = [&](int cx, int cy) {
    return IconHandle(static_cast<HICON>(LoadImageW(impl_->instance, Wide(resource_name),
                                                    IMAGE_ICON, GetSystemMetrics(cx),
                                                    GetSystemMetrics(cy), LR_DEFAULTCOLOR)));
  };
  IconHandle big = load(SM_CXICON, SM_CYICON);
  IconHandle small = load(SM_CXSMICON, SM_CYSMICON);
  for (auto& [id, e] : impl_->entries) {
    if (e.kind != ControlKind::kForm || !e.window) continue;
    SendMessageW(e.window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big.get()));
    SendMessageW(e.window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small.get()));
  }
  impl_->icon_big = std::move(big);
  impl_->icon_small = std::move(small);
}

bool Win32Backend::ProcessPendingMessages() {
  MSG msg;
  while (!impl_->quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      impl_->quit = true;
      break;
    }
    // Tab, arrow keys and Alt+letter move between the controls of our forms as in a dialog.
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root && impl_->by_window.count(root) && IsDialogMessageW(root, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return !impl_->quit;
}

namespace {

// Keyboard and mouse input, in the client and the non-client area (the caption's buttons, the
// frame).
bool IsUserInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK) ||
         message == WM_NCMOUSEHOVER || message == WM_NCMOUSELEAVE || message == WM_MOUSEHOVER ||
         message == WM_MOUSELEAVE;
}

}  // namespace

bool Win32Backend::AnswerPendingMessages() {
  MSG msg;
  // PeekMessage itself delivers the messages sent from other threads and programs.
  while (!impl_->quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      impl_->quit = true;
      break;
    }
    if (IsUserInput(msg.message)) continue;
    DispatchMessageW(&msg);
  }
  return !impl_->quit;
}

bool Win32Backend::WaitForMessage() {
  if (impl_->quit) return false;
  WaitMessage();
  return true;
}

void Win32Backend::PostQuit() { PostQuitMessage(0); }

void Win32Backend::CreateControl(ControlId id, ControlKind kind, ControlId parent,
                                 const Text& name) {
  Impl::Entry& e = impl_->entries[id];
  e.kind = kind;
  e.parent = parent;
  e.name = name;
}

void Win32Backend::DestroyControl(ControlId id) {
  Impl::Entry* e = impl_->Find(id);
  if (!e) return;
  HWND window = e->window;
  // Gone already when Windows destroyed it with its parent.
  if (window && IsWindow(window)) DestroyWindow(window);
  if (window) impl_->by_window.erase(window);
  impl_->entries.erase(id);
}

void Win32Backend::SetParent(ControlId id, ControlId parent) {
  Impl::Entry* e = impl_->Find(id);
  if (!e) return;
  e->parent = parent;
  HWND window = e->window;
  HWND parent_window = impl_->Ensure(parent);
  if (window && parent_window) {
    ::SetParent(window, parent_window);
    InvalidateRect(window, nullptr, TRUE);
  }
}

void Win32Backend::SetStyle(ControlId id, const Style& style) {
  Impl::Entry* e = impl_->Find(id);
  if (!e) return;
  const bool existed = e->window != nullptr;
  e->style = style;
  HWND window = impl_->Ensure(id);
  if (!window) return;
  if (existed) {
    // Later changes of the few styles that Windows lets a live window change.
    LONG bits = GetWindowLongW(window, GWL_STYLE);
    if (e->kind == ControlKind::kForm) {
      bits = (bits & ~(WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) |
             static_cast<LONG>(Impl::FormStyle(style));
      SetWindowLongW(window, GWL_STYLE, bits);
      SetWindowPos(window, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    } else if (e->kind == ControlKind::kLabel) {
      bits = (bits & ~0x1F) | static_cast<LONG>(Impl::LabelStyle(style));
      SetWindowLongW(window, GWL_STYLE, bits);
      InvalidateRect(window, nullptr, TRUE);
    } else if (e->kind == ControlKind::kEdit || e->kind == ControlKind::kMemo) {
      SendMessageW(window, EM_SETREADONLY, style.read_only, 0);
    }
  }
  impl_->ApplyTabOrder(*e);
  impl_->AutoSize(*e);
}

void Win32Backend::SetBounds(ControlId id, const Rect& bounds) {
  Impl::Entry* e = impl_->Find(id);
  if (!e) return;
  e->bounds = bounds;
  HWND window = impl_->Ensure(id);
  if (!window) return;
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
  // A centred form keeps the place it was given when shown.
  if (e->kind == ControlKind::kForm && e->style.screen_center) flags |= SWP_NOMOVE;
  ++impl_->suppress_events;
  SetWindowPos(window, nullptr, bounds.left, bounds.top, bounds.width, bounds.height, flags);
  --impl_->suppress_events;
  impl_->AutoSize(*e);
}

Size Win32Backend::ClientSize(ControlId form) {
  HWND window = impl_->Ensure(form);
  RECT rc = {};
  if (window) GetClientRect(window, &rc);
  return {static_cast<int>(rc.right - rc.left), static_cast<int>(rc.bottom - rc.top)};
}

void Win32Backend::SetText(ControlId id, const Text& text) {
  Impl::Entry* e = impl_->Find(id);
  if (!e) return;
  HWND window = impl_->Ensure(id);
  if (!window) return;
  Text shown = text;
  if (e->kind == ControlKind::kMemo) {
    // A multi-line edit box breaks lines only at CR LF.
    shown.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) shown += u'\r';
      shown += text[i];
      if (text[i] == u'\r' && (i + 1 == text.size() || text[i + 1] != u'\n')) shown += u'\n';
    }
  }
  e->text = text;
  ++impl_->suppress_events;
  SetWindowTextW(window, Wide(shown));
  --impl_->suppress_events;
  impl_->AutoSize(*e);
}

void Win32Backend::SetVisible(ControlId id, bool visible) {
  Impl::Entry* e = impl_->Find(id);
  if (!e) return;
  HWND window = impl_->Ensure(id);
  if (!window) return;
  if (e->kind != ControlKind::kForm) {
    ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
    return;
  }
  if (!visible) {
    ShowWindow(window, SW_HIDE);
    return;
  }
  if (!e->shown && e->style.screen_center) {
    RECT outer, area;
    GetWindowRect(window, &outer);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    const int width = outer.right - outer.left, height = outer.bottom - outer.top;
    ++impl_->suppress_events;
    SetWindowPos(window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    --impl_->suppress_events;
  }
  const bool first = !e->shown;
  e->shown = true;
  ShowWindow(window, first ? SW_SHOWNORMAL : SW_SHOW);
  if (first) {
    SetForegroundWindow(window);
    if (HWND focus = GetNextDlgTabItem(window, nullptr, FALSE)) SetFocus(focus);
  }
}

void Win32Backend::SetEnabled(ControlId id, bool enabled) {
  if (HWND window = impl_->Ensure(id)) EnableWindow(window, enabled);
}

void Win32Backend::SetFont(ControlId id, const Font& font) {
  Impl::Entry* e = impl_->Find(id);
  if (!e) return;
  HWND window = impl_->Ensure(id);
  if (!window) return;
  e->font = font;
  e->hfont = impl_->FontFor(font);
  SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(e->hfont), TRUE);
  impl_->AutoSize(*e);
}

void Win32Backend::SetColor(ControlId id, Color color) {
  Impl::Entry* e = impl_->Find(id);
  if (!e) return;
  e->color = color;
  if (HWND window = impl_->Ensure(id)) InvalidateRect(window, nullptr, TRUE);
}

void Win32Backend::SetChecked(ControlId id, bool checked) {
  if (HWND window = impl_->Ensure(id)) {
    SendMessageW(window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
}

void Win32Backend::SetProgress(ControlId id, int min, int max, int position) {
  if (HWND window = impl_->Ensure(id)) {
    SendMessageW(window, PBM_SETRANGE32, static_cast<WPARAM>(min), static_cast<LPARAM>(max));
    SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
}

void Win32Backend::SetImage(ControlId id, std::span<const std::uint8_t> bytes, ImageType) {
  Impl::Entry* e = impl_->Find(id);
  if (!e) return;
  // A picture that cannot be decoded leaves the image empty, as a missing banner would.
  e->picture = DecodePicture(bytes);
  if (HWND window = impl_->Ensure(id)) InvalidateRect(window, nullptr, TRUE);
}

platform::Handle Win32Backend::WindowHandle(ControlId id) {
  return reinterpret_cast<platform::Handle>(impl_->Ensure(id));
}

}  // namespace ui
