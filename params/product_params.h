// The product parameters: what the setup program reads from its string table and what
// `stptool build` writes there (the table kParams), the freeware rule, and the wizard's language.
// The one home of these for the entry routine, the wizard, the uninstaller and the builder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/os.h"

namespace params {

using platform::Text;
using platform::TextView;

// The string table is stored in Chinese (PRC).
inline constexpr std::uint16_t kStringTableLanguage = 2052;

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
  kIdPublisherName = 1013,
  kIdPublisherNameCn = 1014,
  kIdPublisherUrl = 1015,
  kIdPublisherUrlCn = 1016,
  kIdPublisherFolder = 1017,
  kIdLicense = 1018,
  kIdLicenseCn = 1019,
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
  Text PublisherName;  // the uninstall entry's Publisher, the licence's closing line
  Text PublisherNameCn;
  Text PublisherUrl;  // the uninstall entry's URLInfoAbout
  Text PublisherUrlCn;
  Text PublisherFolder;  // below Program Files: …\PublisherFolder\ExeBaseName
  Text License;          // the whole licence text, lines ended by CRLF; empty: the built-in terms
  Text LicenseCn;
};

// How a parameter is written in the product description and stored in the string table.
enum class ParamKind {
  kText,  // the value as written
  kBool,  // true or false; stored as the boolean text of FreewareText
  kSize,  // display text of a size; computed from the payload when the key is absent
  kFile,  // a UTF-8 file named by the value; its text is stored
};

// One product parameter, from its key in the product description to its member of ProductParams.
// The description reader, the builder's string writer, the setup's and the uninstaller's loaders,
// `stptool info` and `stptool build --help` all walk kParams, so a parameter is declared here once.
struct ParamRow {
  std::uint32_t id;     // string table id
  const char* section;  // section of the product description (lower case)
  const char* key;      // key in that section; also the name stptool info shows
  ParamKind kind;
  const char16_t* default_value;  // stored when the key is absent; nullptr: none (see required)
  bool required;                  // a description without the key (or with it empty) is refused
  const char* example;            // a value for `stptool build --help`
  const char* help;               // one line: what the value is and does
  Text ProductParams::*text;      // the member, for every kind but kBool
  bool ProductParams::*flag;      // the member, for kBool
};

inline constexpr ParamRow kParams[] = {
    {kIdWindowClass, "product", "WindowClass", ParamKind::kText, nullptr, true, "MyAppWindow",
     "the class name of the product's main window", &ProductParams::WindowClass, nullptr},
    {kIdWindowTitle, "product", "WindowTitle", ParamKind::kText, nullptr, true, "My App",
     "the title of its main window, English edition", &ProductParams::WindowTitle, nullptr},
    {kIdWindowTitleCn, "product", "WindowTitleCn", ParamKind::kText, nullptr, true, "...",
     "the title of its main window, Chinese edition", &ProductParams::WindowTitleCn, nullptr},
    {kIdDisplayNameEn, "product", "DisplayNameEn", ParamKind::kText, nullptr, true, "Maker My App",
     "the product's name in English: names the shortcuts and the uninstall entry",
     &ProductParams::DisplayNameEn, nullptr},
    {kIdDisplayNameCn, "product", "DisplayNameCn", ParamKind::kText, nullptr, true, "...",
     "the product's name in Chinese", &ProductParams::DisplayNameCn, nullptr},
    {kIdFreeware, "product", "Freeware", ParamKind::kBool, nullptr, true, "true",
     "true or false: which licence terms the wizard shows", nullptr, &ProductParams::Freeware},
    {kIdExeBaseName, "product", "ExeBaseName", ParamKind::kText, nullptr, true, "MyApp",
     "the main program's name without .exe; the payload holds it in its top folder",
     &ProductParams::ExeBaseName, nullptr},
    {kIdVersion, "product", "Version", ParamKind::kText, nullptr, true, "1.0", "the version text",
     &ProductParams::Version, nullptr},
    {kIdRequiredSpace, "product", "RequiredSpace", ParamKind::kSize, nullptr, false, "12 MB",
     "optional: the space the wizard says it needs; computed from the payload when absent",
     &ProductParams::RequiredSpace, nullptr},
    {kIdPublisherName, "publisher", "Name", ParamKind::kText, u"Tavrel Software", false,
     "Maker Ltd",
     "optional: the publisher in the uninstall entry and the built-in licence, English",
     &ProductParams::PublisherName, nullptr},
    {kIdPublisherNameCn, "publisher", "NameCn", ParamKind::kText, u"塔维软件工作室", false, "...",
     "optional: the same in Chinese (default: Name when Name is given)",
     &ProductParams::PublisherNameCn, nullptr},
    {kIdPublisherUrl, "publisher", "Url", ParamKind::kText, u"http://www.tavrel.com/", false,
     "https://maker.example/", "optional: the uninstall entry's web address (http:// or https://)",
     &ProductParams::PublisherUrl, nullptr},
    {kIdPublisherUrlCn, "publisher", "UrlCn", ParamKind::kText,
     u"http://www.tavrel.com/index_chs.shtml", false, "https://maker.example/cn/",
     "optional: the same in Chinese (default: Url when Url is given)",
     &ProductParams::PublisherUrlCn, nullptr},
    {kIdPublisherFolder, "publisher", "Folder", ParamKind::kText, u"Tavrel Soft", false, "Maker",
     "optional: the folder below Program Files the setup proposes, removed with the last product",
     &ProductParams::PublisherFolder, nullptr},
    // An empty licence (the default) makes the wizard show its built-in terms.
    {kIdLicense, "texts", "License", ParamKind::kFile, u"", false, "license-en.txt",
     "optional: a UTF-8 file with the whole English licence; default: the built-in terms",
     &ProductParams::License, nullptr},
    {kIdLicenseCn, "texts", "LicenseCn", ParamKind::kFile, u"", false, "license-cn.txt",
     "optional: the same for the Chinese wizard", &ProductParams::LicenseCn, nullptr},
};

// Limits of the publisher's values.
inline constexpr std::size_t kMaxPublisherName = 255;
inline constexpr std::size_t kMaxPublisherUrl = 2048;
inline constexpr std::size_t kMaxPublisherFolder = 64;
inline constexpr std::size_t kMaxLicenseCharacters = 60000;

// The row of an id; nullptr when no parameter has it.
const ParamRow* FindParam(std::uint32_t id);
// The string the builder stores for a row's value in p; LoadProductParams reads it back.
Text StoredText(const ParamRow& row, const ProductParams& p);

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
