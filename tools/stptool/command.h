// stptool's commands register themselves here; main() dispatches on the first argument.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "platform/os.h"

namespace stptool {

struct Command {
  std::string name;
  std::string summary;  // one line for `stptool --help`
  std::string usage;    // the whole text for `stptool NAME --help`
  // Receives the arguments after the command name; returns the process exit code. Throws
  // std::invalid_argument for a usage error and any other std::exception for a failure; main()
  // turns those into messages and exit codes 2 and 1.
  std::function<int(const std::vector<std::string>& args)> run;
};

// Called from a static initialiser in each cmd_*.cpp.
bool RegisterCommand(Command command);

// Shared option handling: returns true and fills value when args[i] is "--name" with a value
// after it (advancing i) or "--name=value".
bool TakeOption(const std::vector<std::string>& args, size_t& i, const std::string& name,
                std::string* value);

// "--codepage N" at args[i]: true (advancing i) when it is that option; throws
// std::invalid_argument for a value that is not a code page number.
bool TakeCodePage(const std::vector<std::string>& args, size_t& i, int* code_page);

// The arguments of a command that reads one package or setup: PATH [--password TEXT]
// [--codepage N]. Throws std::invalid_argument for anything else.
struct PackageReadArgs {
  std::string path;
  platform::Text password;
  int code_page = 1252;
};
PackageReadArgs ParsePackageReadArgs(const std::vector<std::string>& args);

// A whole decimal integer within [lo, hi].
bool ParseInt(const std::string& text, int lo, int hi, int* value);

// The catalogue as "0 Blowfish, 1 Cast128, ...", the default (if any) marked "(default)".
std::string CipherChoices(int default_number = -1);
std::string DigestChoices(int default_number = -1);

// One option of a --help text: the option column, then the description wrapped below it.
std::string OptionHelp(const std::string& option, int column, const std::string& description);

// Reads the whole file named on the command line through the process's Os; false when it
// cannot be opened or read.
bool ReadHostFile(const std::string& host_path, std::string* bytes);

// --level, --jobs and --zlib: how pack and build compress the members.
struct CompressionArgs {
  int level = -1;  // -1: the compressor's default
  int jobs = 0;    // 0: one per processor
  bool zlib = false;
};
// True (advancing i) when args[i] is one of those options; throws std::invalid_argument for a
// value out of range.
bool TakeCompressionOption(const std::vector<std::string>& args, size_t& i, CompressionArgs* c);
// Sets the compressor, level and jobs of options; throws std::invalid_argument for a level that
// the chosen compressor does not have.
void ApplyCompression(const CompressionArgs& c, package::PackOptions* options);
// Those options' lines of a --help text.
std::string CompressionHelp();

// One line on stderr that shows how far a long piece of work is ("compressing:  42%"), rewritten
// in place; shown only when stderr is a terminal, so that logs get no carriage returns.
class ProgressLine {
 public:
  explicit ProgressLine(std::string what);
  ~ProgressLine();  // ends the line
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;
  void Update(std::int64_t done, std::int64_t total);

 private:
  std::string what_;
  int shown_ = -1;
  bool terminal_;
};

}  // namespace stptool
