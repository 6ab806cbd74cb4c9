// Pieces that the files of the simulated Windows share: name rules, the state its open files
// see, the registry's nodes and the ANSI code page.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/ascii.h"
#include "platform/sim/sim_windows.h"

namespace platform {
namespace sim_detail {

using platform::AsciiUpper;
using platform::EqualsIgnoringAsciiCase;

// Windows stops reading a path at its first NUL.
inline TextView UpToNul(const Text& t) {
  TextView v(t);
  auto nul = v.find(u'\0');
  return nul == TextView::npos ? v : v.substr(0, nul);
}

// State shared by the Os and its open files.
struct Shared {
  // Atomic because extraction writes a file on a second thread while the first reads: Windows
  // keeps one value per thread, here the last writer wins, which only matters when both fail.
  std::atomic<std::uint32_t> last_error = 0;
  std::map<std::string, int> open_files;  // host path -> open File objects
};

struct RegValueNode {
  Text name;
  std::uint32_t type = 0;
  Bytes data;
};

struct RegKey {
  Text name;
  bool machine = false;                              // under HKEY_LOCAL_MACHINE
  std::map<Text, std::unique_ptr<RegKey>> children;  // by upper-case name
  std::map<Text, RegValueNode> values;               // by upper-case name
};

class Iconv;

}  // namespace sim_detail

class SimWindows::CodePage {
 public:
  explicit CodePage(std::uint32_t code_page);
  ~CodePage();
  CodePage(const CodePage&) = delete;
  CodePage& operator=(const CodePage&) = delete;

  std::string ToAnsi(TextView text);
  Text ToWide(std::string_view bytes);

 private:
  void BuildSingleByteTable(const char* name);

  bool single_byte_ = false;
  std::array<char16_t, 256> table_{};
  std::unordered_map<char16_t, std::uint8_t> reverse_;
  std::unique_ptr<sim_detail::Iconv> to_wide_;
  std::unique_ptr<sim_detail::Iconv> from_wide_;
};

}  // namespace platform
