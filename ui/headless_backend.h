// A backend without windows: it records what the control layer sends and lets tests act as the
// user (click, type, toggle, close). Messages are a queue of actions that the message loop runs;
// once the queue is empty and nothing is left to wait for, the loop ends.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <vector>

#include "ui/controls.h"

namespace ui {

class HeadlessBackend : public Backend {
 public:
  struct ControlState {
    ControlId id = kNoControl;
    ControlKind kind = ControlKind::kPanel;
    ControlId parent = kNoControl;
    Text name;
    Style style;
    Rect bounds;
    Text text;
    bool visible = false;
    bool enabled = true;
    Font font;
    Color color = 0;
    bool checked = false;
    int min = 0;
    int max = 0;
    int position = 0;
    platform::Bytes image;
    ImageType image_type = ImageType::kBmp;
    bool destroyed = false;
  };

  // The outer window of a form is larger than its client area by the frame and caption.
  explicit HeadlessBackend(Size frame = {16, 38}) : frame_(frame) {}

  // --- Backend ---
  void SetEventSink(EventSink* sink) override { sink_ = sink; }
  void InitializeApplication() override { ++initialize_calls_; }
  void FinalizeApplication() override { ++finalize_calls_; }
  void SetApplicationTitle(const Text& title) override { title_ = title; }
  void SetApplicationIcon(const Text& resource_name) override { icon_ = resource_name; }
  bool ProcessPendingMessages() override;
  bool AnswerPendingMessages() override;
  bool WaitForMessage() override { return (!queue_.empty() || !sent_.empty()) && !quit_; }
  void PostQuit() override { quit_ = true; }
  void CreateControl(ControlId id, ControlKind kind, ControlId parent, const Text& name) override;
  void DestroyControl(ControlId id) override;
  void SetParent(ControlId id, ControlId parent) override { At(id).parent = parent; }
  void SetStyle(ControlId id, const Style& style) override { At(id).style = style; }
  void SetBounds(ControlId id, const Rect& bounds) override { At(id).bounds = bounds; }
  Size ClientSize(ControlId form) override;
  void SetText(ControlId id, const Text& text) override { At(id).text = text; }
  void SetVisible(ControlId id, bool visible) override { At(id).visible = visible; }
  void SetEnabled(ControlId id, bool enabled) override { At(id).enabled = enabled; }
  void SetFont(ControlId id, const Font& font) override { At(id).font = font; }
  void SetColor(ControlId id, Color color) override { At(id).color = color; }
  void SetChecked(ControlId id, bool checked) override { At(id).checked = checked; }
  void SetProgress(ControlId id, int min, int max, int position) override;
  void SetImage(ControlId id, std::span<const std::uint8_t> bytes, ImageType type) override;
  platform::Handle WindowHandle(ControlId id) override;

  // --- What tests look at ---
  // The live control of that name; throws std::out_of_range when there is none.
  const ControlState& State(const Text& name) const;
  const ControlState* Find(const Text& name) const;
  const ControlState& State(ControlId id) const;
  // Ids in the order the controls were created.
  const std::vector<ControlId>& CreationOrder() const { return creation_order_; }
  // Visible with every parent visible, as a user would see it.
  bool Showing(const Text& name) const;
  const Text& ApplicationTitle() const { return title_; }
  const Text& ApplicationIcon() const { return icon_; }
  int InitializeCalls() const { return initialize_calls_; }
  int FinalizeCalls() const { return finalize_calls_; }
  bool QuitPosted() const { return quit_; }
  // Pictures handed to SetImage, in order.
  int ImageCalls() const { return image_calls_; }

  // --- What tests do as the user. Each returns false when the control cannot be reached (hidden
  // or disabled, itself or a parent), like a real window that ignores input. ---
  bool Click(const Text& name);
  bool Type(const Text& name, const Text& text);
  bool Toggle(const Text& name);  // flips a check box, then reports the click
  // The close box of the first live form.
  void CloseWindow();
  // Queues an action for the message loop, as a user's input waits in a real queue.
  void Post(std::function<void()> action) { queue_.push_back(std::move(action)); }
  // Queues a message from the system or another program (not input): run by the next pass of
  // either message loop, AnswerPendingMessages included.
  void Send(std::function<void()> action) { sent_.push_back(std::move(action)); }
  int AnswerCalls() const { return answer_calls_; }

 private:
  ControlState& At(ControlId id);
  bool Reachable(const ControlState& state) const;

  Size frame_;
  EventSink* sink_ = nullptr;
  std::map<ControlId, ControlState> controls_;
  std::vector<ControlId> creation_order_;
  std::deque<std::function<void()>> queue_;
  std::deque<std::function<void()>> sent_;
  int answer_calls_ = 0;
  Text title_;
  Text icon_;
  int initialize_calls_ = 0;
  int finalize_calls_ = 0;
  int image_calls_ = 0;
  bool quit_ = false;
};

}  // namespace ui
