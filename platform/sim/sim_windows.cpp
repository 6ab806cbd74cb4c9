// The simulated Windows' construction and its smaller services: system folder, windows and message
// boxes, environment and error texts, shell calls, resources. Files, the registry, shell links and
// the code page have files of their own.
#include "platform/sim/sim_windows.h"

#include <memory>
#include <utility>

#include "platform/sim/sim_internal.h"

namespace platform {

using sim_detail::AsciiUpper;
using sim_detail::RegKey;
using sim_detail::Shared;
using sim_detail::UpToNul;

// --- Construction and set-up -------------------------------------------------------------------

SimWindows::SimWindows(std::uint32_t code_page)
    : shared_(std::make_shared<Shared>()),
      code_page_(code_page),
      ansi_(std::make_unique<CodePage>(code_page)),
      hkcu_(std::make_unique<RegKey>()),
      hklm_(std::make_unique<RegKey>()) {
  hklm_->machine = true;
  // The texts FormatMessage gives on an English Windows, trailing line break included.
  error_messages_ = {
      {0, AsciiText("The operation completed successfully.\r\n")},
      {2, AsciiText("The system cannot find the file specified.\r\n")},
      {3, AsciiText("The system cannot find the path specified.\r\n")},
      {5, AsciiText("Access is denied.\r\n")},
      {0x80004002u, AsciiText("No such interface supported\r\n")},
      {0x80004005u, AsciiText("Unspecified error\r\n")},
      {0x80040154u, AsciiText("Class not registered\r\n")},
  };
}

SimWindows::~SimWindows() = default;

void SimWindows::SetCodePage(std::uint32_t code_page) {
  code_page_ = code_page;
  ansi_ = std::make_unique<CodePage>(code_page);
}

bool SimWindows::Fail(std::uint32_t code) {
  shared_->last_error = code;
  return false;
}

bool SimWindows::Succeed(std::uint32_t code) { return code == kErrorSuccess || Fail(code); }

std::uint32_t SimWindows::GetLastError() { return shared_->last_error; }
void SimWindows::SetLastError(std::uint32_t code) { shared_->last_error = code; }

// --- System folder -----------------------------------------------------------------------------

std::uint32_t SimWindows::GetSystemDirectory(Text* dir, std::uint32_t buffer_chars) {
  if (!system_dir_) {
    Fail(kErrorAccessDenied);
    return 0;
  }
  auto length = static_cast<std::uint32_t>(system_dir_->size());
  // As Windows: with room for the text and its NUL the length is returned; otherwise the size
  // needed (NUL included) and the buffer is left alone.
  if (buffer_chars <= length) return length + 1;
  *dir = *system_dir_;
  return length;
}

// --- Windows and message boxes -----------------------------------------------------------------

Handle SimWindows::AddWindow(Text class_name, Text title) {
  Handle h = next_window_;
  next_window_ += 2;
  windows_.push_back(Window{h, std::move(class_name), std::move(title)});
  return h;
}

Handle SimWindows::FindWindow(const Text* class_name, const Text* title) {
  for (const auto& w : windows_) {
    if (class_name != nullptr && !EqualsIgnoringAsciiCase(UpToNul(*class_name), w.class_name))
      continue;
    if (title != nullptr && UpToNul(*title) != TextView(w.title)) continue;
    return w.handle;
  }
  shared_->last_error = 0;
  return 0;
}

int SimWindows::MessageBox(Handle owner, const Text& text, const Text& caption,
                           std::uint32_t flags) {
  message_boxes_.push_back(MessageBoxCall{owner, text, caption, flags});
  if (message_box_answers_.empty()) return kIdOk;
  int answer = message_box_answers_.front();
  message_box_answers_.pop_front();
  return answer;
}

// --- Environment, errors -----------------------------------------------------------------------

void SimWindows::SetEnvironmentVariable(const Text& name, std::optional<Text> value) {
  if (!value) {
    environment_.erase(AsciiUpper(name));
  } else {
    environment_[AsciiUpper(name)] = {name, std::move(*value)};
  }
}

std::optional<Text> SimWindows::GetEnvironmentVariable(const Text& name) {
  auto it = environment_.find(AsciiUpper(UpToNul(name)));
  if (it == environment_.end()) {
    shared_->last_error = 203;  // ERROR_ENVVAR_NOT_FOUND
    return std::nullopt;
  }
  return it->second.second;
}

void SimWindows::SetSystemErrorMessage(std::uint32_t code, Text message) {
  error_messages_[code] = std::move(message);
}

Text SimWindows::SystemErrorMessage(std::uint32_t code) {
  auto it = error_messages_.find(code);
  return it == error_messages_.end() ? Text() : it->second;
}

// --- Shell -------------------------------------------------------------------------------------

bool SimWindows::BrowseForFolder(Handle owner, const Text& title, int root_csidl,
                                 std::uint32_t flags, Text* path) {
  browse_calls_.push_back(BrowseCall{owner, title, root_csidl, flags});
  if (browse_results_.empty()) return false;
  std::optional<Text> answer = std::move(browse_results_.front());
  browse_results_.pop_front();
  if (!answer || answer->empty()) return false;
  *path = *answer;
  return true;
}

bool SimWindows::ShellExecuteEx(ShellExecuteInfo* info) {
  shell_executes_.push_back(*info);
  if (!shell_execute_ok_) {
    info->hProcess = 0;
    shared_->last_error = kErrorFileNotFound;
    return false;
  }
  info->hProcess = shell_execute_process_;
  info->hInstApp = 42;  // ShellExecuteEx reports success with a value above 32
  return true;
}

// --- Resources ---------------------------------------------------------------------------------

void SimWindows::SetResString(std::uint32_t id, std::uint16_t language, Text text) {
  res_strings_[{id, language}] = std::move(text);
}

void SimWindows::SetResource(const Text& name, const Text& type, Bytes bytes) {
  resources_[{AsciiUpper(name), AsciiUpper(type)}] = std::move(bytes);
}

std::optional<Text> SimWindows::LoadResString(std::uint32_t id, std::uint16_t language) {
  auto it = res_strings_.find({id, language});
  if (it == res_strings_.end()) it = res_strings_.find({id, std::uint16_t{0}});
  if (it == res_strings_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::span<const std::uint8_t>> SimWindows::FindResourceBytes(const Text& name,
                                                                           const Text& type) {
  auto it = resources_.find({AsciiUpper(UpToNul(name)), AsciiUpper(UpToNul(type))});
  if (it == resources_.end()) {
    shared_->last_error = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
    return std::nullopt;
  }
  return std::span<const std::uint8_t>(it->second);
}

}  // namespace platform
