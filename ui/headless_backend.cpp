#include "ui/headless_backend.h"

#include <stdexcept>

#include "platform/text.h"

namespace ui {

namespace {

// Runs the actions queued now; those they queue wait for the next pass, as new messages do.
// False when the quit flag stopped the run.
bool RunQueued(std::deque<std::function<void()>>& queue, const bool& quit) {
  std::deque<std::function<void()>> pending;
  pending.swap(queue);
  while (!pending.empty() && !quit) {
    auto action = std::move(pending.front());
    pending.pop_front();
    action();
  }
  for (auto& rest : pending) queue.push_back(std::move(rest));
  return !quit;
}

}  // namespace

bool HeadlessBackend::AnswerPendingMessages() {
  ++answer_calls_;
  return RunQueued(sent_, quit_);
}

bool HeadlessBackend::ProcessPendingMessages() {
  // Sent messages first, as Windows delivers them before posted ones.
  return RunQueued(sent_, quit_) && RunQueued(queue_, quit_);
}

void HeadlessBackend::CreateControl(ControlId id, ControlKind kind, ControlId parent,
                                    const Text& name) {
  ControlState state;
  state.id = id;
  state.kind = kind;
  state.parent = parent;
  state.name = name;
  controls_[id] = state;
  creation_order_.push_back(id);
}

void HeadlessBackend::DestroyControl(ControlId id) {
  auto it = controls_.find(id);
  if (it != controls_.end()) it->second.destroyed = true;
}

Size HeadlessBackend::ClientSize(ControlId form) {
  const Rect& b = At(form).bounds;
  return {std::max(0, b.width - frame_.width), std::max(0, b.height - frame_.height)};
}

void HeadlessBackend::SetProgress(ControlId id, int min, int max, int position) {
  ControlState& s = At(id);
  s.min = min;
  s.max = max;
  s.position = position;
}

void HeadlessBackend::SetImage(ControlId id, std::span<const std::uint8_t> bytes, ImageType type) {
  ControlState& s = At(id);
  s.image.assign(bytes.begin(), bytes.end());
  s.image_type = type;
  ++image_calls_;
}

platform::Handle HeadlessBackend::WindowHandle(ControlId id) {
  // Distinct, non-null fake handles, so that owner windows can be told apart.
  return controls_.count(id) != 0 ? 0x10000 + id : 0;
}

HeadlessBackend::ControlState& HeadlessBackend::At(ControlId id) {
  auto it = controls_.find(id);
  if (it == controls_.end()) throw std::out_of_range("headless backend: unknown control id");
  return it->second;
}

const HeadlessBackend::ControlState& HeadlessBackend::State(ControlId id) const {
  auto it = controls_.find(id);
  if (it == controls_.end()) throw std::out_of_range("headless backend: unknown control id");
  return it->second;
}

const HeadlessBackend::ControlState* HeadlessBackend::Find(const Text& name) const {
  for (const auto& [id, state] : controls_) {
    if (!state.destroyed && state.name == name) return &state;
  }
  return nullptr;
}

const HeadlessBackend::ControlState& HeadlessBackend::State(const Text& name) const {
  const ControlState* s = Find(name);
  if (s == nullptr) {
    throw std::out_of_range("headless backend: no control named " + platform::TextToUtf8(name));
  }
  return *s;
}

bool HeadlessBackend::Showing(const Text& name) const {
  for (const ControlState* s = &State(name);;) {
    if (!s->visible) return false;
    if (s->parent == kNoControl) return true;
    s = &State(s->parent);
  }
}

bool HeadlessBackend::Reachable(const ControlState& state) const {
  for (const ControlState* s = &state;;) {
    if (!s->visible || !s->enabled || s->destroyed) return false;
    if (s->parent == kNoControl) return true;
    s = &State(s->parent);
  }
}

bool HeadlessBackend::Click(const Text& name) {
  const ControlState& s = State(name);
  if (!Reachable(s) || sink_ == nullptr) return false;
  if (s.kind == ControlKind::kCheckBox) return Toggle(name);
  sink_->Clicked(s.id);
  return true;
}

bool HeadlessBackend::Type(const Text& name, const Text& text) {
  ControlState& s = At(State(name).id);
  if (!Reachable(s) || sink_ == nullptr || s.style.read_only) return false;
  s.text = text;
  sink_->TextEdited(s.id, text);
  return true;
}

bool HeadlessBackend::Toggle(const Text& name) {
  ControlState& s = At(State(name).id);
  if (!Reachable(s) || sink_ == nullptr) return false;
  s.checked = !s.checked;
  const ControlId id = s.id;
  sink_->CheckToggled(id, s.checked);
  sink_->Clicked(id);
  return true;
}

void HeadlessBackend::CloseWindow() {
  for (const auto& [id, state] : controls_) {
    if (!state.destroyed && state.kind == ControlKind::kForm) {
      if (sink_ != nullptr) sink_->CloseRequested(id);
      return;
    }
  }
}

}  // namespace ui
