// The resources that `stptool build` writes into the generic setup program and uninstaller besides
// the string table, by which those programs and stptool find them again: one spelling each, upper
// case, as the builder stores names (Windows compares resource names regardless of letter case).
#pragma once

#include <cstdint>
#include <string>

#include "platform/os.h"
#include "platform/text.h"

namespace params {

// Resource types by number (Windows' RT_ values).
inline constexpr std::uint16_t kRtBitmap = 2;
inline constexpr std::uint16_t kRtIcon = 3;
inline constexpr std::uint16_t kRtString = 6;
inline constexpr std::uint16_t kRtRcData = 10;
inline constexpr std::uint16_t kRtGroupIcon = 14;
inline constexpr std::uint16_t kRtManifest = 24;

// The package, under a type of its own.
inline constexpr char16_t kPackageType[] = u"STPFILE";
inline constexpr char16_t kPackageName[] = u"SETUPPACKAGE";
// The uninstaller's list of the files the package installed (kRtRcData).
inline constexpr char16_t kInstalledFilesName[] = u"INSTALLEDFILES";
// The wizard's header picture (kRtBitmap) and its banner, one per language (kRtRcData):
// the prefix followed by the language number (IMAGELEFT0 Chinese, IMAGELEFT2 English).
inline constexpr char16_t kHeaderIconName[] = u"IMAGEICON";
inline constexpr char16_t kBannerNamePrefix[] = u"IMAGELEFT";
// The icons (kRtGroupIcon): the programs' own, and the one for the product's documents.
inline constexpr char16_t kAppIconName[] = u"APPICON";
inline constexpr char16_t kFileIconName[] = u"MAINICON";

inline platform::Text BannerName(int language) {
  return kBannerNamePrefix + platform::AsciiToText(std::to_string(language));
}

// A type given by number in the text form FindResource takes ("#10").
inline platform::Text ResourceTypeNumber(std::uint16_t type) {
  return u"#" + platform::AsciiToText(std::to_string(type));
}

}  // namespace params
