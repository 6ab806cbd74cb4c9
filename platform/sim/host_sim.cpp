// The host OS of the Linux tools: a simulated Windows whose drive Z: is the host's root folder,
// as Wine maps it, so /tmp/x is Z:\tmp\x.
#include <filesystem>

#include "platform/host.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"

namespace platform {

std::unique_ptr<Os> CreateHostOs(std::uint32_t code_page) {
  auto os = std::make_unique<SimWindows>(code_page);
  os->MapDrive(u'Z', "/", kDriveFixed);
  std::error_code ec;
  auto cwd = std::filesystem::current_path(ec);
  if (!ec) os->SetCurrentDirectory(HostPathToOsPath(cwd.string()));
  return os;
}

Text HostPathToOsPath(const std::string& host_path) {
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(host_path, ec);
  if (ec) p = std::filesystem::path(host_path);
  std::string generic = p.lexically_normal().generic_string();
  // lexically_normal keeps a trailing separator for "dir/"; Windows folders carry none here.
  while (generic.size() > 1 && generic.back() == '/') generic.pop_back();
  Text out = u"Z:";
  if (generic.empty() || generic.front() != '/') out += u'\\';
  for (char16_t c : Utf8ToText(generic)) out += (c == u'/') ? u'\\' : c;
  return out;
}

std::string HostPathsInMessage(const std::string& message) {
  std::string out;
  size_t i = 0;
  while (i < message.size()) {
    const size_t drive = message.find("Z:\\", i);
    // Only a drive letter that starts a word: "XZ:\" is not a path.
    if (drive == std::string::npos) break;
    const bool starts_word = drive == 0 || message[drive - 1] == ' ' || message[drive - 1] == '"' ||
                             message[drive - 1] == '\'' || message[drive - 1] == '(';
    if (!starts_word) {
      out.append(message, i, drive + 2 - i);
      i = drive + 2;
      continue;
    }
    out.append(message, i, drive - i);
    size_t end = drive + 2;
    while (end < message.size() && message[end] != '\n' && message.compare(end, 2, " (") != 0 &&
           message.compare(end, 2, ": ") != 0) {
      ++end;
    }
    for (size_t k = drive + 2; k < end; ++k) out += message[k] == '\\' ? '/' : message[k];
    i = end;
  }
  out.append(message, i, std::string::npos);
  return out;
}

std::string HostExecutablePath() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.string();
}

}  // namespace platform
