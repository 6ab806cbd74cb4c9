// stptool's commands register themselves here; main() dispatches on the first argument.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

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

// A cipher or digest given by its catalogue number or its name in any letter case ("AES" too,
// for Rijndael); -1 when it is neither.
int ParseCipher(const std::string& text);
int ParseDigest(const std::string& text);

// The catalogue as "0 Blowfish, 1 Cast128, ...", the default (if any) marked "(default)".
std::string CipherChoices(int default_number = -1);
std::string DigestChoices(int default_number = -1);

// One option of a --help text: the option column, then the description wrapped below it.
std::string OptionHelp(const std::string& option, int column, const std::string& description);

// Reads the whole file named on the command line through the process's Os; false when it
// cannot be opened or read.
bool ReadHostFile(const std::string& host_path, std::string* bytes);

}  // namespace stptool
