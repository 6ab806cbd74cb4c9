// The product parameters: what the setup program reads from its string table (ids 1001-1012)
// and what `stptool build` writes there, the freeware rule, and the wizard's language. The one
// home of these for the entry routine, the wizard and the builder.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/os.h"

namespace params {

using platform::Text;
using platform::TextView;

// The string table is stored in Chinese (PRC).
inline constexpr std::uint16_t kStringTableLanguage = 2052;

// The publisher's folder below Program Files that the setup proposes (…\Tavrel Soft\<program>);
// the uninstaller removes it too when the product was the last thing in it.
inline constexpr char16_t kPublisherFolder[] = u"Tavrel Soft";

enum StringId : std::uint32_t {
  kIdWindowClass = 1001,
  kIdWindowTitle = 1002,
  kIdWindowTitleCn = 1003,
  kIdDisplayNameEn = 1004,
  kIdDisplayNameCn = 1005,
  kIdFreeware = 1009,
  kIdExeBaseName = 1010,
  kIdVersion = 1011,
  kIdRequiredSpace = 1012,
};

struct ProductParams {
  Text WindowClass;
  Text WindowTitle;
  Text WindowTitleCn;
  Text DisplayNameEn;
  Text DisplayNameCn;
  bool Freeware = false;
  Text ExeBaseName;
  Text Version;
  Text RequiredSpace;  // display text, never parsed
};

// One string of the table through the current Os; empty when the id is missing.
Text LoadParamString(std::uint32_t id);
ProductParams LoadProductParams();

// The boolean-text rule: a number is true unless it is zero; otherwise "True" or "False" in any
// letter case. Surrounding spaces are ignored. Anything else is nullopt.
std::optional<bool> ParseBoolText(TextView text);
// The freeware flag of id 1009. A malformed text selects the shareware terms, the stricter of the
// two licences, rather than stopping the setup.
bool FreewareFromText(TextView text);
// The text the builder stores for the freeware flag; FreewareFromText reads it back.
Text FreewareText(bool freeware);

// Languages: 0 is Simplified Chinese, 2 is English; every test treats any value but 0 as English.
inline constexpr int kLanguageChinese = 0;
inline constexpr int kLanguageEnglish = 2;
inline constexpr std::uint32_t kCodePageChinese = 936;
constexpr int LanguageFromCodePage(std::uint32_t code_page) {
  return code_page == kCodePageChinese ? kLanguageChinese : kLanguageEnglish;
}
constexpr bool IsChinese(int language) { return language == kLanguageChinese; }

// The process-wide language, fixed by the entry routine before anything else.
int Language();
void SetLanguage(int language);

}  // namespace params
