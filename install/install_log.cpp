#include "install/install_log.h"

#include <string>

#include "platform/text.h"

namespace install {

bool InstallLog::Open(const Text& path) {
  file_ = platform::CurrentOs().CreateFileForWrite(path);
  if (!file_) return false;
  path_ = path;
  static const std::uint8_t kBom[] = {0xEF, 0xBB, 0xBF};
  if (!file_->Write(kBom, sizeof kBom)) file_.reset();
  return file_ != nullptr;
}

void InstallLog::Line(std::initializer_list<TextView> pieces) {
  if (!file_) return;
  Text text;
  for (TextView piece : pieces) text += piece;
  const std::string line = platform::TextToUtf8(text) + "\r\n";
  if (!file_->Write(line.data(), static_cast<std::uint32_t>(line.size()))) file_.reset();
}

Text DefaultLogPath(const Text& temp_folder, const Text& exe_base_name, TextView suffix) {
  Text folder = temp_folder;
  if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
  return folder + exe_base_name + Text(suffix);
}

void OpenRequestedLog(InstallLog& log, const std::optional<Text>& requested,
                      const Text& exe_base_name, TextView suffix) {
  if (!requested) return;
  platform::Os& os = platform::CurrentOs();
  const Text path =
      requested->empty() ? DefaultLogPath(os.GetTempPath(), exe_base_name, suffix) : *requested;
  if (log.Open(path)) return;
  const std::uint32_t error = os.GetLastError();
  Text reason = os.SystemErrorMessage(error);
  while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r' ||
                             reason.back() == u' ' || reason.back() == u'.')) {
    reason.pop_back();
  }
  if (reason.empty()) reason = u"error " + NumberText(error);
  os.WriteStandardError(platform::TextToUtf8(u"Cannot write the log " + path + u" (" + reason +
                                             u"); the run goes on without it.\n"));
}

Text NumberText(std::int64_t n) { return platform::AsciiToText(std::to_string(n)); }

}  // namespace install
