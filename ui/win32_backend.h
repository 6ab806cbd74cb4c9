// The control layer on real Windows: every control is a native window, so screen readers, UI
// automation and the end-to-end driver see the wizard as an ordinary Win32 program.
//
//   form          a window of our own class (caption, system menu, minimise box as styled)
//   panel         a child window of our own class that paints its background colour
//   label         STATIC (word wrap or not); bevel: STATIC SS_ETCHEDHORZ
//   image         owner-drawn STATIC; JPEG and BMP decoded with OleLoadPicture
//   edit, memo    EDIT (memo: multi-line, optional read-only and vertical scroll bar)
//   group box, check box, button   BUTTON with the matching style
//   progress bar  msctls_progress32
//
// The caption of each control is its window text. Clicks and edits come back through the
// EventSink; label and check box backgrounds follow their colour (WM_CTLCOLORSTATIC). Only
// functions present on Windows XP SP3 are imported.
#pragma once

#include <memory>

#include "ui/controls.h"

namespace ui {

class Win32Backend : public Backend {
 public:
  Win32Backend();
  ~Win32Backend() override;
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

  void SetEventSink(EventSink* sink) override;

  void InitializeApplication() override;
  void FinalizeApplication() override;
  void SetApplicationTitle(const Text& title) override;
  void SetApplicationIcon(const Text& resource_name) override;
  bool ProcessPendingMessages() override;
  bool AnswerPendingMessages() override;
  bool WaitForMessage() override;
  void PostQuit() override;

  void CreateControl(ControlId id, ControlKind kind, ControlId parent, const Text& name) override;
  void DestroyControl(ControlId id) override;
  void SetParent(ControlId id, ControlId parent) override;
  void SetStyle(ControlId id, const Style& style) override;
  void SetBounds(ControlId id, const Rect& bounds) override;
  Size ClientSize(ControlId form) override;
  void SetText(ControlId id, const Text& text) override;
  void SetVisible(ControlId id, bool visible) override;
  void SetEnabled(ControlId id, bool enabled) override;
  void SetFont(ControlId id, const Font& font) override;
  void SetColor(ControlId id, Color color) override;
  void SetChecked(ControlId id, bool checked) override;
  void SetProgress(ControlId id, int min, int max, int position) override;
  void SetImage(ControlId id, std::span<const std::uint8_t> bytes, ImageType type) override;
  platform::Handle WindowHandle(ControlId id) override;

  // The window procedure's share of the work (public for the static trampolines only).
  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace ui
