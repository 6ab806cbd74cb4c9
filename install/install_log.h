// The log that /LOG asks for: what a run of setup.exe or Uninst.exe did, one line per step, for
// the administrator who deployed it. UTF-8 with a byte order mark and CRLF line ends, written
// line by line, so that a run that ends abruptly still leaves what it did so far.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>

#include "platform/os.h"

namespace install {

using platform::Text;
using platform::TextView;

class InstallLog {
 public:
  // A log that writes nothing: the run was not asked for one, or its file could not be made.
  InstallLog() = default;

  // Creates (or replaces) the file. False when it cannot be created; the log then stays silent.
  bool Open(const Text& path);
  bool Active() const { return file_ != nullptr; }
  const Text& Path() const { return path_; }

  // One line, made of its pieces. A failed write ends the log rather than the run.
  void Line(std::initializer_list<TextView> pieces);
  void Line(TextView text) { Line({text}); }

 private:
  std::unique_ptr<platform::File> file_;
  Text path_;
};

// The file /LOG without a name writes: <temporary folder>\<program><suffix>, where suffix is
// "-setup.log" or "-uninstall.log".
Text DefaultLogPath(const Text& temp_folder, const Text& exe_base_name, TextView suffix);

// Opens the log a command line asks for; when it cannot be written, says so on standard error
// (one line) and returns a silent log, as a log must never stop the run.
void OpenRequestedLog(InstallLog& log, const std::optional<Text>& requested,
                      const Text& exe_base_name, TextView suffix);

// A whole number as text, for log lines.
Text NumberText(std::int64_t n);

}  // namespace install
