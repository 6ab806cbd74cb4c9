// stptool: makes, lists, extracts and decrypts setup packages for publishers.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "crypt/catalogue.h"
#include "platform/host.h"
#include "platform/os.h"
#include "platform/text.h"
#include "tools/stptool/command.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#ifdef _WIN32
#include "platform/win32/dll_search.h"
#endif

namespace stptool {
namespace {

std::map<std::string, Command>& Registry() {
  static std::map<std::string, Command> commands;
  return commands;
}

void PrintOverview(std::FILE* out) {
  std::fprintf(out,
               "usage: stptool COMMAND [OPTIONS] ARGS...\n"
               "       stptool COMMAND --help\n\n"
               "Makes and inspects the packages that setup.exe installs.\n\ncommands:\n");
  for (const auto& [name, command] : Registry()) {
    std::fprintf(out, "  %-10s %s\n", name.c_str(), command.summary.c_str());
  }
}

}  // namespace

bool RegisterCommand(Command command) {
  std::string name = command.name;
  Registry().emplace(std::move(name), std::move(command));
  return true;
}

bool TakeOption(const std::vector<std::string>& args, size_t& i, const std::string& name,
                std::string* value) {
  const std::string flag = "--" + name;
  if (args[i] == flag) {
    if (i + 1 >= args.size()) return false;
    *value = args[++i];
    return true;
  }
  if (args[i].rfind(flag + "=", 0) == 0) {
    *value = args[i].substr(flag.size() + 1);
    return true;
  }
  return false;
}

bool ParseInt(const std::string& text, int lo, int hi, int* value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || v < lo || v > hi) return false;
  *value = static_cast<int>(v);
  return true;
}

namespace {

template <class Table>
std::string Choices(const Table& table, int default_number) {
  std::string out;
  for (const auto& entry : table) {
    if (!out.empty()) out += ", ";
    out += std::to_string(entry.number) + " " + std::string(entry.name);
    if (entry.number == default_number) out += " (default)";
  }
  return out;
}

}  // namespace

std::string CipherChoices(int default_number) { return Choices(tvcrypt::kCiphers, default_number); }
std::string DigestChoices(int default_number) { return Choices(tvcrypt::kDigests, default_number); }

std::string OptionHelp(const std::string& option, int column, const std::string& description) {
  constexpr size_t kWidth = 92;
  const auto indent = static_cast<size_t>(column);
  std::string out, line = "  " + option;
  line.resize(std::max(line.size() + 1, indent), ' ');
  size_t text_start = line.size();  // no break before the first word of a line
  for (size_t pos = 0; pos < description.size();) {
    size_t end = description.find(' ', pos);
    // A catalogue number stays on the line of the name after it.
    if (end != std::string::npos && end > pos &&
        description.find_first_not_of("0123456789", pos) == end) {
      end = description.find(' ', end + 1);
    }
    if (end == std::string::npos) end = description.size();
    const std::string word = description.substr(pos, end - pos);
    if (line.size() > text_start && line.size() + 1 + word.size() > kWidth) {
      out += line + "\n";
      line.assign(indent, ' ');
      text_start = indent;
    }
    if (line.size() > text_start) line += ' ';
    line += word;
    pos = end + 1;
  }
  return out + line + "\n";
}

bool TakeCodePage(const std::vector<std::string>& args, size_t& i, int* code_page) {
  std::string v;
  if (!TakeOption(args, i, "codepage", &v)) return false;
  if (!ParseInt(v, 1, 65535, code_page)) throw std::invalid_argument("bad --codepage " + v);
  return true;
}

PackageReadArgs ParsePackageReadArgs(const std::vector<std::string>& args) {
  PackageReadArgs parsed;
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string v;
    if (TakeOption(args, i, "password", &v)) {
      parsed.password = platform::Utf8ToText(v);
    } else if (TakeCodePage(args, i, &parsed.code_page)) {
    } else if (args[i].rfind("--", 0) == 0) {
      throw std::invalid_argument("unknown or incomplete option " + args[i]);
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 1) throw std::invalid_argument("wrong number of arguments");
  parsed.path = positional[0];
  return parsed;
}

namespace {

// More threads than this would only take memory (each holds a member's buffers).
constexpr int kMaxJobs = 256;

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace

bool TakeCompressionOption(const std::vector<std::string>& args, size_t& i, CompressionArgs* c) {
  std::string v;
  if (TakeOption(args, i, "level", &v)) {
    if (!ParseInt(v, 0, package::kMaxLibdeflateLevel, &c->level)) {
      throw std::invalid_argument("bad --level " + v + " (0 to " +
                                  std::to_string(package::kMaxLibdeflateLevel) + ")");
    }
  } else if (TakeOption(args, i, "jobs", &v)) {
    if (!ParseInt(v, 1, kMaxJobs, &c->jobs)) {
      throw std::invalid_argument("bad --jobs " + v + " (1 to " + std::to_string(kMaxJobs) + ")");
    }
  } else if (args[i] == "--zlib") {
    c->zlib = true;
  } else {
    return false;
  }
  return true;
}

void ApplyCompression(const CompressionArgs& c, package::PackOptions* options) {
  options->compressor =
      c.zlib ? package::MemberCompressor::kZlib : package::MemberCompressor::kLibdeflate;
  const int max_level = c.zlib ? package::kMaxZlibLevel : package::kMaxLibdeflateLevel;
  if (c.level > max_level) {
    throw std::invalid_argument("bad --level " + std::to_string(c.level) + " with --zlib (0 to " +
                                std::to_string(max_level) + ")");
  }
  options->level = c.level >= 0 ? c.level
                   : c.zlib     ? package::kMaxZlibLevel
                                : package::kDefaultPackLevel;
  options->jobs = c.jobs;
}

std::string CompressionHelp() {
  return OptionHelp("--level 0-12", 21,
                    "libdeflate compression level (default " +
                        std::to_string(package::kDefaultPackLevel) +
                        "; 12 packs smallest and slowest, 0 stores); files over 16 MiB are "
                        "compressed with zlib at the same level, 9 at most") +
         OptionHelp("--jobs N", 21,
                    "compress N files at once (default: one per processor); the output is the "
                    "same whatever N") +
         OptionHelp("--zlib", 21,
                    "compress every file with zlib, one at a time, levels 0-9 (default 9): how "
                    "packages were made before, slower");
}

ProgressLine::ProgressLine(std::string what)
    : what_(std::move(what)), terminal_(StderrIsTerminal()) {}

ProgressLine::~ProgressLine() {
  if (shown_ >= 0) std::fputc('\n', stderr);
}

void ProgressLine::Update(std::int64_t done, std::int64_t total) {
  if (!terminal_) return;
  const int percent =
      total <= 0 ? 100 : static_cast<int>(std::clamp<std::int64_t>(done * 100 / total, 0, 100));
  if (percent == shown_) return;
  shown_ = percent;
  std::fprintf(stderr, "\r%s: %3d%%", what_.c_str(), percent);
  std::fflush(stderr);
}

bool ReadHostFile(const std::string& host_path, std::string* bytes) {
  auto file = platform::CurrentOs().OpenFileForRead(platform::HostPathToOsPath(host_path));
  if (!file) return false;
  bytes->clear();
  char buffer[65536];
  for (;;) {
    std::uint32_t got = 0;
    if (!file->Read(buffer, sizeof buffer, &got)) return false;
    if (got == 0) return true;
    bytes->append(buffer, got);
  }
}

}  // namespace stptool

int main(int argc, char** argv) {
#ifdef _WIN32
  // No DLL from the folder stptool.exe was started from.
  platform::RestrictDllSearchToSystemFolder();
#endif
  using stptool::Registry;
  // UTF-8 on every host, also for names outside the Windows ANSI code page.
  std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  if (args.empty()) {
    stptool::PrintOverview(stderr);
    return 2;
  }
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    stptool::PrintOverview(stdout);
    return 0;
  }
  auto it = Registry().find(args[0]);
  if (it == Registry().end()) {
    std::fprintf(stderr, "stptool: unknown command '%s'\n\n", args[0].c_str());
    stptool::PrintOverview(stderr);
    return 2;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  for (const auto& a : rest) {
    if (a == "--help" || a == "-h") {
      std::fputs(it->second.usage.c_str(), stdout);
      return 0;
    }
  }
  // A command reports a usage error as std::invalid_argument (exit 2, with the usage text) and
  // any other failure as an exception with its message (exit 1).
  try {
    return it->second.run(rest);
  } catch (const std::invalid_argument& e) {
    std::fprintf(stderr, "stptool %s: %s\n\n%s", args[0].c_str(),
                 platform::HostPathsInMessage(e.what()).c_str(), it->second.usage.c_str());
    return 2;
  } catch (const std::exception& e) {
    // Messages from the portable layers name the simulated Windows' paths on Linux.
    std::fprintf(stderr, "stptool %s: %s\n", args[0].c_str(),
                 platform::HostPathsInMessage(e.what()).c_str());
    return 1;
  }
}
