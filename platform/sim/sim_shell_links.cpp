// Shell links of the simulated Windows, saved as small text files of its own.
#include <memory>
#include <string>
#include <string_view>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"

namespace platform {

using sim_detail::UpToNul;

namespace {

constexpr char kLinkMagic[] = "StpSimShellLink 1\n";

HResult HResultFromWin32(std::uint32_t code) {
  return code == 0 ? kSOk : static_cast<HResult>(0x80070000u | (code & 0xFFFF));
}

std::string EncodeLink(const Text& target, const Text& working_dir) {
  return kLinkMagic + TextToUtf8(target) + "\n" + TextToUtf8(working_dir) + "\n";
}

std::optional<std::pair<Text, Text>> DecodeLink(const std::string& content) {
  std::string_view rest(content);
  std::string_view magic(kLinkMagic);
  if (rest.substr(0, magic.size()) != magic) return std::nullopt;
  rest.remove_prefix(magic.size());
  auto first = rest.find('\n');
  if (first == std::string_view::npos) return std::nullopt;
  auto second = rest.find('\n', first + 1);
  if (second == std::string_view::npos || second + 1 != rest.size()) return std::nullopt;
  return std::make_pair(Utf8ToText(rest.substr(0, first)),
                        Utf8ToText(rest.substr(first + 1, second - first - 1)));
}

}  // namespace

// The link object keeps a pointer to its SimWindows: it must not outlive it.
class SimWindows::SimShellLink : public ShellLink {
 public:
  explicit SimShellLink(SimWindows* os) : os_(os) { ++os_->link_log_.live_objects; }
  ~SimShellLink() override { --os_->link_log_.live_objects; }
  SimShellLink(const SimShellLink&) = delete;
  SimShellLink& operator=(const SimShellLink&) = delete;

  HResult QueryInterface(const Guid& iid) override { return os_->InterfaceResult(iid); }

  HResult SetPath(const Text& path) override {
    target_ = Text(UpToNul(path));
    return kSOk;
  }

  HResult SetWorkingDirectory(const Text& dir) override {
    working_dir_ = Text(UpToNul(dir));
    return kSOk;
  }

  HResult Resolve(Handle window, std::uint32_t flags) override {
    os_->link_log_.resolves.push_back({window, flags});
    if (os_->resolve_failure_) return *os_->resolve_failure_;
    return target_.empty() ? kEFail : kSOk;
  }

  HResult GetPath(Text* path, std::uint32_t buffer_chars, std::uint32_t flags) override {
    os_->link_log_.get_paths.push_back({buffer_chars, flags});
    if (buffer_chars == 0) return static_cast<HResult>(0x80070057u);  // E_INVALIDARG
    // The buffer receives at most buffer_chars - 1 characters and a NUL.
    *path = target_.substr(0, buffer_chars - 1);
    return target_.empty() ? kSFalse : kSOk;
  }

  HResult Load(const Text& file, std::uint32_t mode) override {
    os_->link_log_.loads.push_back({file, mode});
    auto content = os_->ReadShortcutFile(file);
    if (!content) {
      std::uint32_t err = os_->GetLastError();
      return err == kErrorFileNotFound || err == kErrorPathNotFound ? HResultFromWin32(err)
                                                                    : kEFail;
    }
    target_ = content->first;
    working_dir_ = content->second;
    return kSOk;
  }

  HResult Save(const Text& file, bool remember) override {
    os_->link_log_.saves.push_back({file, remember});
    if (!os_->WriteShortcutFile(file, target_, working_dir_)) {
      return HResultFromWin32(os_->GetLastError());
    }
    return kSOk;
  }

 private:
  SimWindows* os_;
  Text target_;
  Text working_dir_;
};

HResult SimWindows::InterfaceResult(const Guid& iid) const {
  for (const auto& failing : failing_interfaces_) {
    if (failing == iid) return kENoInterface;
  }
  return (iid == kIidIUnknown || iid == kIidIShellLinkW || iid == kIidIPersistFile) ? kSOk
                                                                                    : kENoInterface;
}

HResult SimWindows::CreateShellLink(std::uint32_t context, const Guid& iid,
                                    std::unique_ptr<ShellLink>* link) {
  link_log_.creates.push_back({context, iid});
  link->reset();
  if (create_link_failure_) return *create_link_failure_;
  HResult hr = InterfaceResult(iid);
  if (!Succeeded(hr)) return hr;
  *link = std::make_unique<SimShellLink>(this);
  return kSOk;
}

std::optional<std::pair<Text, Text>> SimWindows::ReadShortcutFile(const Text& path) {
  auto file = OpenFileForRead(path);
  if (!file) return std::nullopt;
  std::int64_t size = file->Size();
  // A shortcut of this simulation is small; anything large is not one.
  if (size < 0 || size > (1 << 20)) {
    SetLastError(kErrorInvalidParameter);
    return std::nullopt;
  }
  std::string content(static_cast<size_t>(size), '\0');
  std::uint32_t read = 0;
  if (!file->Read(content.data(), static_cast<std::uint32_t>(size), &read) || read != size) {
    return std::nullopt;
  }
  auto link = DecodeLink(content);
  if (!link) SetLastError(kErrorInvalidParameter);
  return link;
}

bool SimWindows::WriteShortcutFile(const Text& path, const Text& target, const Text& working_dir) {
  auto file = CreateFileForWrite(path);
  if (!file) return false;
  std::string content = EncodeLink(target, working_dir);
  return file->Write(content.data(), static_cast<std::uint32_t>(content.size()));
}

const SimWindows::ShellLinkLog& SimWindows::ShellLinks() const { return link_log_; }

}  // namespace platform
