// The control layer: the wizard's form and its controls as small objects, without a framework.
//
// Each control keeps its own state (text, bounds, font, colour, visibility, ...) and forwards every
// change to a Backend. The Win32 backend turns the calls into real windows; the headless backend
// (ui/headless_backend.h) only records them, so forms run natively in tests.
//
// Contract between the layer and a backend:
// - Controls are created parent first, in the order the form declares them; that order is also the
//   keyboard tab order unless Style::tab_order says otherwise. Ids are never reused.
// - Right after CreateControl the layer sends the control's complete state in this order: SetStyle,
//   SetFont, SetColor, SetBounds, SetVisible and SetEnabled, then the kind's own state (a progress
//   bar's range); later calls carry only changes. A backend may therefore create the native window
//   hidden and with default attributes. Text, checks and pictures are sent when first set.
// - Bounds are absolute pixels relative to the parent's client area (for a group box: to its
//   top-left corner, as Windows places the children of a group box). Alignment is resolved here
//   (a hidden aligned control takes no room, so the shown page of a stack sits at the top);
//   the backend never computes positions, except that a form with Style::screen_center is centred
//   on the screen when it is first shown (its left/top are then ignored) and a control with
//   Style::auto_size is sized to its text (its width/height are then ignored).
// - For a form, SetBounds is the outer window rectangle (frame and caption included); the layer
// asks
//   ClientSize for the area its children are aligned in, and again after every Resized event.
// - Fonts and colours arrive resolved: a control that inherits its parent's font or colour receives
//   the parent's value, again whenever the parent's value changes. Labels, check boxes and group
//   boxes paint their background in their colour (Windows: WM_CTLCOLORSTATIC / WM_CTLCOLORBTN).
// - A backend reports only what the user did (EventSink); it never reports the effect of its own
//   Set... calls (Windows sends EN_CHANGE for WM_SETTEXT too: the backend must swallow it).
// - Destruction runs children first; DestroyControl may arrive for a window that Windows already
//   destroyed along with its parent, and must then do nothing.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "platform/os.h"

namespace ui {

using platform::Text;
using ControlId = std::uint32_t;
inline constexpr ControlId kNoControl = 0;

enum class ControlKind {
  kForm,         // top-level window
  kPanel,        // plain container with a background colour
  kLabel,        // static text
  kImage,        // picture (JPEG or BMP bytes)
  kEdit,         // single-line edit box
  kMemo,         // multi-line edit box; lines separated by CR LF
  kGroupBox,     // framed container with a caption
  kCheckBox,     // check box with a caption
  kButton,       // push button with a caption
  kProgressBar,  // progress bar (range and position)
  kBevel,        // etched separator line along the top of its bounds
};

enum class Align { kNone, kTop, kBottom, kLeft, kRight, kClient };
enum class ScrollBars { kNone, kHorizontal, kVertical, kBoth };
enum class ImageType { kJpeg, kBmp };

// Colours are COLORREF values (0x00BBGGRR); with the top bit set, the low byte is a system colour
// index (GetSysColor) instead.
using Color = std::uint32_t;
inline constexpr Color kSystemColorFlag = 0x80000000u;
constexpr Color Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
  return static_cast<Color>(r) | static_cast<Color>(g) << 8 | static_cast<Color>(b) << 16;
}
constexpr Color SystemColor(int index) { return kSystemColorFlag | static_cast<Color>(index); }
constexpr bool IsSystemColor(Color c) { return (c & kSystemColorFlag) != 0; }
inline constexpr Color kColorWindow = SystemColor(5);      // COLOR_WINDOW
inline constexpr Color kColorWindowText = SystemColor(8);  // COLOR_WINDOWTEXT
inline constexpr Color kColorBtnFace = SystemColor(15);    // COLOR_BTNFACE
inline constexpr Color kColorWhite = Rgb(255, 255, 255);
inline constexpr Color kColorCream = Rgb(255, 251, 240);

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// Font heights are character heights in pixels at 96 DPI, the resolution the layouts are drawn
// for (Windows: LOGFONT lfHeight = -height).
struct Font {
  Text name = u"Tahoma";
  int height = 11;
  bool bold = false;
  Color color = kColorWindowText;
  friend bool operator==(const Font&, const Font&) = default;
};
// Point size to pixel height at 96 DPI, rounded (9 pt -> 12 px).
constexpr int PointsToPixels(int points) { return (points * 96 + 36) / 72; }

// Fixed appearance and behaviour of a control; each field matters only for the kinds named.
struct Style {
  bool word_wrap = false;  // label: break lines at word boundaries
  bool auto_size = false;  // label, check box: the backend sizes the control to its text
  bool read_only = false;  // edit, memo
  ScrollBars scroll_bars = ScrollBars::kNone;  // memo
  bool border = false;                         // panel: a sunken/raised frame; off = flat
  bool center = false;                         // image: centre the picture in the bounds
  bool transparent = false;  // image: a BMP's bottom-left pixel colour is see-through
  int tab_order = -1;        // position among its siblings' tab stops; -1 = creation order
  // Forms.
  bool system_menu = true;
  bool minimize_box = true;
  bool maximize_box = true;
  bool sizeable = true;        // resizable frame
  bool screen_center = false;  // centred on the desktop when first shown
  friend bool operator==(const Style&, const Style&) = default;
};

// What the user did, reported by the backend to the layer (in practice: to the Application).
class EventSink {
 public:
  virtual void Clicked(ControlId id) = 0;                       // button or check box pressed
  virtual void TextEdited(ControlId id, const Text& text) = 0;  // edit text changed by typing
  virtual void CheckToggled(ControlId id, bool checked) = 0;    // followed by Clicked
  virtual void CloseRequested(ControlId form) = 0;              // the window's close box / Alt+F4
  virtual void Resized(ControlId form) = 0;                     // client size changed by the user

 protected:
  ~EventSink() = default;
};

class Backend {
 public:
  virtual ~Backend() = default;

  virtual void SetEventSink(EventSink* sink) = 0;

  // Application. Initialize sets COM up as a single-threaded apartment on this thread;
  // Finalize undoes it (only called after a successful Initialize).
  virtual void InitializeApplication() = 0;
  virtual void FinalizeApplication() = 0;
  virtual void SetApplicationTitle(const Text& title) = 0;
  virtual void SetApplicationIcon(const Text& resource_name) = 0;  // icon group resource
  // Dispatches every message pending now, without waiting; false once the quit message arrived.
  virtual bool ProcessPendingMessages() = 0;
  // The same for everything but the user's keyboard and mouse input, which is dropped (a
  // headless run leaves it queued): messages sent by other threads and programs are answered
  // and windows repaint, so the system does not take the program for hung during long work.
  virtual bool AnswerPendingMessages() = 0;
  // Waits until a message is pending. False when none can ever arrive (a headless run whose script
  // is exhausted); the message loop then ends.
  virtual bool WaitForMessage() = 0;
  virtual void PostQuit() = 0;

  // Controls. The name is the control's name in the form (for tests, drivers and debugging).
  virtual void CreateControl(ControlId id, ControlKind kind, ControlId parent,
                             const Text& name) = 0;
  virtual void DestroyControl(ControlId id) = 0;
  virtual void SetParent(ControlId id, ControlId parent) = 0;
  virtual void SetStyle(ControlId id, const Style& style) = 0;
  virtual void SetBounds(ControlId id, const Rect& bounds) = 0;
  virtual Size ClientSize(ControlId form) = 0;
  virtual void SetText(ControlId id, const Text& text) = 0;
  virtual void SetVisible(ControlId id, bool visible) = 0;
  virtual void SetEnabled(ControlId id, bool enabled) = 0;
  virtual void SetFont(ControlId id, const Font& font) = 0;
  virtual void SetColor(ControlId id, Color color) = 0;
  virtual void SetChecked(ControlId id, bool checked) = 0;
  virtual void SetProgress(ControlId id, int min, int max, int position) = 0;
  // The bytes of a complete JPEG or BMP file (a BMP always with its 14-byte file header, also
  // when it came from a bitmap resource, which lacks one).
  virtual void SetImage(ControlId id, std::span<const std::uint8_t> bytes, ImageType type) = 0;
  // The native window (HWND) of a control, 0 when it has none; owner of dialogs.
  virtual platform::Handle WindowHandle(ControlId id) = 0;
};

class Application;
class Form;

// A picture as file bytes, kept by the control so that it can be copied to another image.
struct Picture {
  platform::Bytes bytes;
  ImageType type = ImageType::kBmp;
  bool Empty() const { return bytes.empty(); }
  friend bool operator==(const Picture&, const Picture&) = default;
};

class Control {
 public:
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control();

  ControlId Id() const { return id_; }
  ControlKind Kind() const { return kind_; }
  const Text& Name() const { return name_; }
  Control* Parent() const { return parent_; }
  const std::vector<Control*>& Children() const { return children_; }
  // Moves the control onto another parent; both parents realign their children.
  void SetParent(Control& parent);

  // The control's own flag (a visible control inside a hidden parent still reports true).
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // Caption of a form, label, group box, check box or button; text of an edit or memo.
  const Text& GetText() const { return text_; }
  virtual void SetText(const Text& text);

  // Current bounds relative to the parent, after alignment.
  int Left() const { return bounds_.left; }
  int Top() const { return bounds_.top; }
  int Width() const { return bounds_.width; }
  int Height() const { return bounds_.height; }
  const Rect& Bounds() const { return bounds_; }
  void SetLeft(int left);
  void SetTop(int top);
  void SetWidth(int width);
  void SetHeight(int height);
  void SetBounds(const Rect& bounds);

  Align GetAlign() const { return align_; }
  void SetAlign(Align align);

  // Without an own font or colour a control takes its parent's.
  const Font& GetFont() const;
  void SetFont(const Font& font);
  bool ParentFont() const { return !own_font_; }
  Color GetColor() const;
  void SetColor(Color color);
  bool ParentColor() const { return !own_color_; }

  const Style& GetStyle() const { return style_; }
  void SetStyle(const Style& style);

  Application& App() const { return app_; }
  // The form this control sits on (itself for a form).
  Form& OwnerForm();
  platform::Handle WindowHandle() const;

 protected:
  // A form (parent == nullptr) or a child of parent.
  Control(Application& app, ControlKind kind, Control* parent, Text name, const Style& style);
  Backend& GetBackend() const;
  // The area children are aligned in.
  virtual Size ClientSize() const;
  // Lays the aligned children out again and forwards changed bounds.
  void Realign();
  // Called by the Application for what the user did.
  virtual void UserClicked() {}
  virtual void UserEditedText(const Text&) {}
  virtual void UserToggled(bool) {}
  void StoreText(const Text& text) { text_ = text; }
  void SendText() const;

 private:
  friend class Application;
  void PushInitialState();
  void ApplyBounds(const Rect& bounds);
  void InheritedFontChanged();
  void InheritedColorChanged();
  void ParentRealign();

  Application& app_;
  ControlKind kind_;
  ControlId id_;
  Text name_;
  Control* parent_;
  std::vector<Control*> children_;
  Style style_;
  Text text_;
  Rect designed_;  // bounds as set, before alignment
  Rect bounds_;    // bounds as laid out
  Align align_ = Align::kNone;
  bool visible_ = true;
  bool enabled_ = true;
  bool own_font_ = false;
  Font font_;
  bool own_color_ = false;
  Color color_ = kColorBtnFace;
};

class Form : public Control {
 public:
  Form(Application& app, Text name, const Style& style = {});
  ~Form() override;
  // Hides the form; closing the main form ends the application.
  void Close();
  std::function<void()> OnClose;

 protected:
  Size ClientSize() const override;
};

class Panel : public Control {
 public:
  explicit Panel(Control& parent, Text name = {}, const Style& style = {});
};

class Label : public Control {
 public:
  explicit Label(Control& parent, Text name = {}, const Style& style = {});
};

class Image : public Control {
 public:
  explicit Image(Control& parent, Text name = {}, const Style& style = {});
  const Picture& GetPicture() const { return picture_; }
  void SetPicture(Picture picture);

 private:
  Picture picture_;
};

class Edit : public Control {
 public:
  explicit Edit(Control& parent, Text name = {}, const Style& style = {});
  // Assigning the text fires OnChange, as a Windows edit box reports every change of its text.
  void SetText(const Text& text) override;
  std::function<void()> OnChange;

 protected:
  void UserEditedText(const Text& text) override;
};

class Memo : public Control {
 public:
  explicit Memo(Control& parent, Text name = {}, const Style& style = {});
  const std::vector<Text>& Lines() const { return lines_; }
  void SetLines(std::vector<Text> lines);
  // Splits at CR LF, CR or LF.
  void SetText(const Text& text) override;

 private:
  std::vector<Text> lines_;
};

class GroupBox : public Control {
 public:
  explicit GroupBox(Control& parent, Text name = {}, const Style& style = {});
};

class CheckBox : public Control {
 public:
  explicit CheckBox(Control& parent, Text name = {}, const Style& style = {});
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  std::function<void()> OnClick;  // after the user toggled the box

 protected:
  void UserToggled(bool checked) override;
  void UserClicked() override;

 private:
  bool checked_ = false;
};

class Button : public Control {
 public:
  explicit Button(Control& parent, Text name = {}, const Style& style = {});
  std::function<void()> OnClick;
  // What a user's press does: runs OnClick when the button is visible and enabled.
  void Click();

 protected:
  void UserClicked() override { Click(); }
};

class ProgressBar : public Control {
 public:
  explicit ProgressBar(Control& parent, Text name = {}, const Style& style = {});
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  int Step() const { return step_; }
  // The range is kept ordered (max >= min); the position is clamped into it.
  void SetRange(int min, int max);
  void SetPosition(int position);
  void SetStep(int step) { step_ = step; }
  void StepIt() { SetPosition(position_ + step_); }

 private:
  void Send() const;
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
  int step_ = 10;
};

class Bevel : public Control {
 public:
  explicit Bevel(Control& parent, Text name = {}, const Style& style = {});
};

// The application object: the message loop, the idle notification, title and icon.
class Application : private EventSink {
 public:
  explicit Application(Backend& backend);
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  Backend& GetBackend() const { return backend_; }

  // Sets COM up on this thread (single-threaded apartment); undone when the application ends.
  void Initialize();
  bool Initialized() const { return initialized_; }

  const Text& Title() const { return title_; }
  void SetTitle(const Text& title);
  const Text& Icon() const { return icon_; }
  void SetIcon(const Text& resource_name);

  // The first form created becomes the main form; closing it ends Run.
  Form* MainForm() const { return main_form_; }

  // Shows the main form and runs the message loop until Terminate: pending messages are
  // dispatched, and each time the queue has run empty OnIdle runs once before waiting.
  void Run();
  // Dispatches the messages pending now, without the idle notification.
  void ProcessMessages();
  // For long work inside a handler: answers the pending messages without taking input (see
  // Backend::AnswerPendingMessages), without the idle notification; requests to close a form
  // that arrive meanwhile are ignored.
  void AnswerMessages();
  // Runs the idle notification once (what Run does whenever the queue is empty).
  void Idle();
  void Terminate();
  bool Terminated() const { return terminated_; }

  std::function<void()> OnIdle;

  // A handler that throws must not unwind through the backend (on Windows that is a window
  // procedure called by the system). Such exceptions go here; by default they are dropped.
  using ExceptionHandler = std::function<void(std::exception_ptr)>;
  void SetExceptionHandler(ExceptionHandler handler) { exception_handler_ = std::move(handler); }

 private:
  friend class Control;
  friend class Form;
  ControlId Register(Control& control);
  void Unregister(Control& control);
  Control* Find(ControlId id) const;
  void FormDestroyed(Form& form);
  template <typename F>
  void Dispatch(ControlId id, F&& f);

  // EventSink
  void Clicked(ControlId id) override;
  void TextEdited(ControlId id, const Text& text) override;
  void CheckToggled(ControlId id, bool checked) override;
  void CloseRequested(ControlId form) override;
  void Resized(ControlId form) override;

  Backend& backend_;
  std::unordered_map<ControlId, Control*> controls_;
  ControlId next_id_ = 1;
  Form* main_form_ = nullptr;
  Text title_;
  Text icon_;
  bool initialized_ = false;
  bool terminated_ = false;
  bool answering_ = false;  // inside AnswerMessages
  ExceptionHandler exception_handler_;
};

}  // namespace ui
