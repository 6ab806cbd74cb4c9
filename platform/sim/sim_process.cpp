// SimWindows: copying and listing files, deletion at the next start of Windows, and the processes
// the running program starts.
#include <filesystem>
#include <system_error>

#include "platform/sim/sim_memory_drive.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"

namespace platform {

namespace fs = std::filesystem;

bool SimWindows::CopyFile(const Text& from, const Text& to, bool fail_if_exists) {
  auto source = OpenFileForRead(from);
  if (!source) return false;
  if (GetFileAttributes(to) != kInvalidFileAttributes) {
    if (fail_if_exists) return Fail(kErrorFileExists);
  }
  auto target = CreateFileForWrite(to);
  if (!target) return false;
  std::uint8_t buffer[64 * 1024];
  for (;;) {
    std::uint32_t read = 0;
    if (!source->Read(buffer, sizeof buffer, &read)) return false;
    if (read == 0) return true;
    if (!target->Write(buffer, read)) return false;
  }
}

bool SimWindows::MoveFileEx(const Text& from, const Text* to, std::uint32_t flags) {
  if (to != nullptr || flags != kMoveFileDelayUntilReboot) return Fail(kErrorInvalidParameter);
  // Windows keeps the list under HKEY_LOCAL_MACHINE: only an administrator may add to it.
  if (!administrator_) return Fail(kErrorAccessDenied);
  // The file is not looked at now; a missing one is skipped when Windows starts.
  deletions_at_reboot_.push_back(from);
  return true;
}

bool SimWindows::ListDirectory(const Text& folder, std::vector<Text>* names) {
  names->clear();
  auto r = Resolve(folder);
  if (!r) return false;
  if (r->memory != nullptr) return Succeed(r->memory->List(r->parts, names));
  std::error_code ec;
  if (!fs::is_directory(fs::status(r->host, ec))) return Fail(kErrorPathNotFound);
  for (fs::directory_iterator it(r->host, ec), end; !ec && it != end; it.increment(ec)) {
    names->push_back(Utf8ToText(it->path().filename().string()));
  }
  if (ec) return Fail(kErrorAccessDenied);
  return true;
}

bool SimWindows::CreateProcess(const Text& application, const Text& command_line,
                               const Text& directory) {
  process_starts_.push_back(ProcessStart{application, command_line, directory});
  if (!create_process_ok_) return Fail(kErrorFileNotFound);
  return true;
}

}  // namespace platform
