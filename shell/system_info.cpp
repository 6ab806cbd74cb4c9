#include "shell/system_info.h"

#include <cmath>
#include <string>

#include "platform/text.h"

namespace shell {

using platform::CurrentOs;

Text GetFixedDrives() {
  platform::Os& os = CurrentOs();
  std::uint32_t mask = os.GetLogicalDrives();
  Text drives;
  for (int i = 0; i < 26; ++i) {
    if ((mask & (1u << i)) == 0) continue;
    auto letter = static_cast<char16_t>(u'A' + i);
    if (os.GetDriveType(Text{letter, u':', u'\\'}) == platform::kDriveFixed) drives += letter;
  }
  return drives;
}

std::int64_t GetDriveFreeSpace(char16_t letter) {
  auto drive = static_cast<std::uint8_t>(letter - 64);
  Text root{static_cast<char16_t>(drive + 64), u':', u'\\'};
  std::int64_t free_to_caller = 0;
  std::int64_t total = 0;
  if (!CurrentOs().GetDiskFreeSpaceEx(root, &free_to_caller, &total)) return -1;
  return free_to_caller;
}

Text FormatByteSize(std::int64_t bytes) {
  constexpr std::int64_t kKb = 1024;
  constexpr std::int64_t kMb = kKb * 1024;
  constexpr std::int64_t kGb = kMb * 1024;
  if (bytes < kKb) return platform::AsciiToText(std::to_string(bytes) + " Bytes");
  if (bytes < kMb) {
    // Integer halves-to-even, so no rounding of a double can get in the way.
    std::int64_t k = bytes / kKb;
    std::int64_t rest = bytes % kKb;
    if (rest > kKb / 2 || (rest == kKb / 2 && k % 2 == 1)) ++k;
    return platform::AsciiToText(std::to_string(k) + " KB");
  }
  const bool gb = bytes >= kGb;
  const double x = static_cast<double>(bytes) / static_cast<double>(gb ? kGb : kMb);
  // Above 100 whole units, else tenths; std::nearbyint rounds halves to even in the default
  // rounding mode. Written by hand as the shortest form (no ".0"), which is what "%.15g" gives
  // for these values, without linking printf's floating-point formatting into the setup.
  const bool whole = x > 100;
  const auto n = static_cast<std::int64_t>(std::nearbyint(whole ? x : x * 10));
  Text out = platform::AsciiToText(std::to_string(whole ? n : n / 10));
  if (!whole && n % 10 != 0) {
    const Text separator = CurrentOs().LocaleDecimalSeparator();
    out += separator.empty() ? Text(u".") : separator;
    out += static_cast<char16_t>(u'0' + n % 10);
  }
  out += gb ? u" GB" : u" MB";
  return out;
}

Text GetSystemDir() {
  constexpr auto kBuffer = static_cast<std::uint32_t>(platform::kPathLimit);
  Text dir;
  std::uint32_t length = CurrentOs().GetSystemDirectory(&dir, kBuffer);
  // A result of the buffer's size or more is the size the call would need: it was not filled.
  if (length == 0 || length >= kBuffer) return Text();
  auto nul = dir.find(u'\0');
  if (nul != Text::npos) dir.resize(nul);
  if (dir.empty() || dir.back() != u'\\') dir += u'\\';
  return dir;
}

}  // namespace shell
