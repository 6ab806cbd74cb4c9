#include "ui/controls.h"

#include <algorithm>
#include <utility>

namespace ui {

namespace {

// Edit boxes and memos have the window colour of their own; buttons and forms the face colour;
// everything else shows its parent's background.
bool HasOwnColorByDefault(ControlKind kind) {
  return kind == ControlKind::kForm || kind == ControlKind::kEdit || kind == ControlKind::kMemo ||
         kind == ControlKind::kButton || kind == ControlKind::kProgressBar;
}

Color DefaultColor(ControlKind kind) {
  return kind == ControlKind::kEdit || kind == ControlKind::kMemo ? kColorWindow : kColorBtnFace;
}

}  // namespace

// --- Control ----------------------------------------------------------------------------------

Control::Control(Application& app, ControlKind kind, Control* parent, Text name, const Style& style)
    : app_(app),
      kind_(kind),
      id_(kNoControl),
      name_(std::move(name)),
      parent_(parent),
      style_(style),
      visible_(kind != ControlKind::kForm),
      own_font_(parent == nullptr),
      own_color_(HasOwnColorByDefault(kind)),
      color_(DefaultColor(kind)) {
  id_ = app_.Register(*this);
  if (parent_ != nullptr) parent_->children_.push_back(this);
  GetBackend().CreateControl(id_, kind_, parent_ != nullptr ? parent_->id_ : kNoControl, name_);
  PushInitialState();
}

Control::~Control() {
  GetBackend().DestroyControl(id_);
  // A child moved here from a control declared earlier outlives this one; it must not reach back.
  for (Control* child : children_) child->parent_ = nullptr;
  if (parent_ != nullptr) std::erase(parent_->children_, this);
  app_.Unregister(*this);
}

void Control::PushInitialState() {
  Backend& backend = GetBackend();
  backend.SetStyle(id_, style_);
  backend.SetFont(id_, GetFont());
  backend.SetColor(id_, GetColor());
  backend.SetBounds(id_, bounds_);
  backend.SetVisible(id_, visible_);
  backend.SetEnabled(id_, enabled_);
}

Backend& Control::GetBackend() const { return app_.GetBackend(); }

Form& Control::OwnerForm() {
  Control* c = this;
  while (c->parent_ != nullptr) c = c->parent_;
  return static_cast<Form&>(*c);
}

platform::Handle Control::WindowHandle() const { return GetBackend().WindowHandle(id_); }

void Control::SetParent(Control& parent) {
  if (&parent == parent_ || &parent == this) return;
  const Font old_font = GetFont();
  const Color old_color = GetColor();
  Control* old_parent = parent_;
  if (old_parent != nullptr) std::erase(old_parent->children_, this);
  parent_ = &parent;
  parent.children_.push_back(this);
  GetBackend().SetParent(id_, parent.id_);
  if (GetFont() != old_font) InheritedFontChanged();
  if (GetColor() != old_color) InheritedColorChanged();
  if (old_parent != nullptr && align_ != Align::kNone) old_parent->Realign();
  if (align_ != Align::kNone) parent.Realign();
}

void Control::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  GetBackend().SetVisible(id_, visible);
  // Hidden aligned controls take no room, so the siblings move up or aside.
  ParentRealign();
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  GetBackend().SetEnabled(id_, enabled);
}

void Control::SetText(const Text& text) {
  if (text == text_) return;
  text_ = text;
  SendText();
}

void Control::SendText() const { GetBackend().SetText(id_, text_); }

void Control::SetLeft(int left) {
  Rect r = designed_;
  r.left = left;
  SetBounds(r);
}

void Control::SetTop(int top) {
  Rect r = designed_;
  r.top = top;
  SetBounds(r);
}

void Control::SetWidth(int width) {
  Rect r = designed_;
  r.width = width;
  SetBounds(r);
}

void Control::SetHeight(int height) {
  Rect r = designed_;
  r.height = height;
  SetBounds(r);
}

void Control::SetBounds(const Rect& bounds) {
  designed_ = bounds;
  if (align_ == Align::kNone || parent_ == nullptr) {
    ApplyBounds(bounds);
  } else {
    ParentRealign();
  }
}

void Control::SetAlign(Align align) {
  if (align == align_) return;
  if (align == Align::kNone) {
    // Leaving alignment keeps the place the control was laid out at.
    designed_ = bounds_;
    align_ = align;
    return;
  }
  align_ = align;
  ParentRealign();
}

void Control::ParentRealign() {
  if (parent_ != nullptr && align_ != Align::kNone) parent_->Realign();
}

void Control::ApplyBounds(const Rect& bounds) {
  const bool resized = bounds.width != bounds_.width || bounds.height != bounds_.height;
  if (bounds != bounds_) {
    bounds_ = bounds;
    GetBackend().SetBounds(id_, bounds_);
  }
  // A form's client area depends on the backend's frame, so it is asked again every time.
  if (resized || kind_ == ControlKind::kForm) Realign();
}

Size Control::ClientSize() const { return {bounds_.width, bounds_.height}; }

void Control::Realign() {
  const Size client = ClientSize();
  Rect area{0, 0, std::max(client.width, 0), std::max(client.height, 0)};
  // The same order as the classic form designers: top, bottom, left, right, then the rest.
  const Align order[] = {Align::kTop, Align::kBottom, Align::kLeft, Align::kRight, Align::kClient};
  for (Align pass : order) {
    // Copy: laying a child out can realign its own children, never this list.
    const std::vector<Control*> children = children_;
    for (Control* child : children) {
      if (child->align_ != pass) continue;
      const int w = std::max(0, child->designed_.width);
      const int h = std::max(0, child->designed_.height);
      // A hidden control takes no room but is sized for where it would go, so that its own
      // children are laid out before it shows.
      const Rect keep = area;
      Rect r;
      switch (pass) {
        case Align::kTop:
          r = {area.left, area.top, std::max(0, area.width), h};
          area.top += h;
          area.height -= h;
          break;
        case Align::kBottom:
          r = {area.left, area.top + area.height - h, std::max(0, area.width), h};
          area.height -= h;
          break;
        case Align::kLeft:
          r = {area.left, area.top, w, std::max(0, area.height)};
          area.left += w;
          area.width -= w;
          break;
        case Align::kRight:
          r = {area.left + area.width - w, area.top, w, std::max(0, area.height)};
          area.width -= w;
          break;
        case Align::kClient:
          r = {area.left, area.top, std::max(0, area.width), std::max(0, area.height)};
          break;
        case Align::kNone: break;
      }
      if (!child->visible_) area = keep;
      child->ApplyBounds(r);
    }
  }
}

const Font& Control::GetFont() const {
  if (own_font_ || parent_ == nullptr) return font_;
  return parent_->GetFont();
}

void Control::SetFont(const Font& font) {
  const bool changed = !own_font_ || font != font_;
  own_font_ = true;
  font_ = font;
  if (!changed) return;
  GetBackend().SetFont(id_, font_);
  for (Control* child : children_) {
    if (!child->own_font_) child->InheritedFontChanged();
  }
}

void Control::InheritedFontChanged() {
  GetBackend().SetFont(id_, GetFont());
  for (Control* child : children_) {
    if (!child->own_font_) child->InheritedFontChanged();
  }
}

Color Control::GetColor() const {
  if (own_color_ || parent_ == nullptr) return color_;
  return parent_->GetColor();
}

void Control::SetColor(Color color) {
  const bool changed = !own_color_ || color != color_;
  own_color_ = true;
  color_ = color;
  if (!changed) return;
  GetBackend().SetColor(id_, color_);
  for (Control* child : children_) {
    if (!child->own_color_) child->InheritedColorChanged();
  }
}

void Control::InheritedColorChanged() {
  GetBackend().SetColor(id_, GetColor());
  for (Control* child : children_) {
    if (!child->own_color_) child->InheritedColorChanged();
  }
}

void Control::SetStyle(const Style& style) {
  if (style == style_) return;
  style_ = style;
  GetBackend().SetStyle(id_, style_);
}

// --- Form -------------------------------------------------------------------------------------

Form::Form(Application& app, Text name, const Style& style)
    : Control(app, ControlKind::kForm, nullptr, std::move(name), style) {
  if (app.main_form_ == nullptr) app.main_form_ = this;
}

Form::~Form() { App().FormDestroyed(*this); }

void Form::Close() {
  if (OnClose) OnClose();
  Hide();
  if (App().MainForm() == this) App().Terminate();
}

Size Form::ClientSize() const { return GetBackend().ClientSize(Id()); }

// --- Simple controls --------------------------------------------------------------------------

Panel::Panel(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kPanel, &parent, std::move(name), style) {}

Label::Label(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kLabel, &parent, std::move(name), style) {}

GroupBox::GroupBox(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kGroupBox, &parent, std::move(name), style) {}

Bevel::Bevel(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kBevel, &parent, std::move(name), style) {}

Image::Image(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kImage, &parent, std::move(name), style) {}

void Image::SetPicture(Picture picture) {
  picture_ = std::move(picture);
  GetBackend().SetImage(Id(), picture_.bytes, picture_.type);
}

Edit::Edit(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kEdit, &parent, std::move(name), style) {}

void Edit::SetText(const Text& text) {
  StoreText(text);
  SendText();
  if (OnChange) OnChange();
}

void Edit::UserEditedText(const Text& text) {
  StoreText(text);
  if (OnChange) OnChange();
}

Memo::Memo(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kMemo, &parent, std::move(name), style) {}

void Memo::SetLines(std::vector<Text> lines) {
  lines_ = std::move(lines);
  Text text;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (i > 0) text += u"\r\n";
    text += lines_[i];
  }
  StoreText(text);
  SendText();
}

void Memo::SetText(const Text& text) {
  std::vector<Text> lines;
  Text line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      lines.push_back(line);
      line.clear();
      if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  SetLines(std::move(lines));
}

CheckBox::CheckBox(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kCheckBox, &parent, std::move(name), style) {}

void CheckBox::SetChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  GetBackend().SetChecked(Id(), checked);
}

void CheckBox::UserToggled(bool checked) { checked_ = checked; }

void CheckBox::UserClicked() {
  if (OnClick) OnClick();
}

Button::Button(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kButton, &parent, std::move(name), style) {}

void Button::Click() {
  if (OnClick) OnClick();
}

ProgressBar::ProgressBar(Control& parent, Text name, const Style& style)
    : Control(parent.App(), ControlKind::kProgressBar, &parent, std::move(name), style) {
  Send();
}

void ProgressBar::SetRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  position_ = std::clamp(position_, min_, max_);
  Send();
}

void ProgressBar::SetPosition(int position) {
  const int clamped = std::clamp(position, min_, max_);
  if (clamped == position_) return;
  position_ = clamped;
  Send();
}

void ProgressBar::Send() const { GetBackend().SetProgress(Id(), min_, max_, position_); }

// --- Application ------------------------------------------------------------------------------

Application::Application(Backend& backend) : backend_(backend) { backend_.SetEventSink(this); }

Application::~Application() {
  backend_.SetEventSink(nullptr);
  if (initialized_) backend_.FinalizeApplication();
}

void Application::Initialize() {
  if (initialized_) return;
  backend_.InitializeApplication();
  initialized_ = true;
}

void Application::SetTitle(const Text& title) {
  title_ = title;
  backend_.SetApplicationTitle(title);
}

void Application::SetIcon(const Text& resource_name) {
  icon_ = resource_name;
  backend_.SetApplicationIcon(resource_name);
}

void Application::Run() {
  if (main_form_ != nullptr && !terminated_) main_form_->Show();
  while (!terminated_) {
    if (!backend_.ProcessPendingMessages()) {
      terminated_ = true;
      break;
    }
    if (terminated_) break;
    Idle();
    if (terminated_) break;
    if (!backend_.WaitForMessage()) break;
  }
}

void Application::ProcessMessages() {
  if (!backend_.ProcessPendingMessages()) terminated_ = true;
}

void Application::AnswerMessages() {
  answering_ = true;
  const bool running = backend_.AnswerPendingMessages();
  answering_ = false;
  if (!running) terminated_ = true;
}

void Application::Idle() {
  if (!OnIdle) return;
  try {
    OnIdle();
  } catch (...) {
    if (exception_handler_) exception_handler_(std::current_exception());
  }
}

void Application::Terminate() {
  if (terminated_) return;
  terminated_ = true;
  backend_.PostQuit();
}

ControlId Application::Register(Control& control) {
  const ControlId id = next_id_++;
  controls_[id] = &control;
  return id;
}

void Application::Unregister(Control& control) { controls_.erase(control.Id()); }

Control* Application::Find(ControlId id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void Application::FormDestroyed(Form& form) {
  if (main_form_ == &form) main_form_ = nullptr;
}

namespace {

// What the user can reach: the control and every parent shown and enabled.
bool Reachable(const Control& control) {
  for (const Control* c = &control; c != nullptr; c = c->Parent()) {
    if (!c->Visible() || !c->Enabled()) return false;
  }
  return true;
}

}  // namespace

template <typename F>
void Application::Dispatch(ControlId id, F&& f) {
  Control* control = Find(id);
  if (control == nullptr) return;
  try {
    f(*control);
  } catch (...) {
    if (exception_handler_) exception_handler_(std::current_exception());
  }
}

void Application::Clicked(ControlId id) {
  Dispatch(id, [](Control& c) {
    if (Reachable(c)) c.UserClicked();
  });
}

void Application::TextEdited(ControlId id, const Text& text) {
  Dispatch(id, [&text](Control& c) {
    if (Reachable(c)) c.UserEditedText(text);
  });
}

void Application::CheckToggled(ControlId id, bool checked) {
  Dispatch(id, [checked](Control& c) {
    if (Reachable(c)) c.UserToggled(checked);
  });
}

void Application::CloseRequested(ControlId form) {
  if (answering_) return;  // the work in progress must not lose its window
  Dispatch(form, [](Control& c) {
    if (c.Kind() == ControlKind::kForm) static_cast<Form&>(c).Close();
  });
}

void Application::Resized(ControlId form) {
  Dispatch(form, [](Control& c) { c.Realign(); });
}

}  // namespace ui
