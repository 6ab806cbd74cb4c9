// stptool info: what a built setup program carries: its product strings and its resources.
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "builder/pe_image.h"
#include "platform/errors.h"
#include "platform/host.h"
#include "platform/text.h"
#include "tools/stptool/command.h"
#include "tools/stptool/package_source.h"

namespace stptool {
namespace {

const char kUsage[] =
    "usage: stptool info SETUP.EXE\n"
    "\n"
    "Prints the product strings of a setup program (string table ids 1001 to 1012, language\n"
    "2052), one per line as ID, name and text, then every resource it carries as type, name,\n"
    "language and size in bytes, TAB-separated. A missing string is printed as \"(none)\".\n";

struct ProductString {
  std::uint32_t id;
  const char* name;
};
// The strings the setup program reads; 1006 to 1008 are unused.
constexpr ProductString kProductStrings[] = {
    {1001, "WindowClass"},   {1002, "WindowTitle"},   {1003, "WindowTitleCn"},
    {1004, "DisplayNameEn"}, {1005, "DisplayNameCn"}, {1009, "Freeware"},
    {1010, "ExeBaseName"},   {1011, "Version"},       {1012, "RequiredSpace"},
};
constexpr std::uint16_t kProductLanguage = 2052;

const char* TypeName(const builder::ResourceId& type) {
  if (type.IsName()) return nullptr;
  static const std::map<std::uint16_t, const char*> names = {
      {1, "CURSOR"},       {2, "BITMAP"},     {3, "ICON"},       {4, "MENU"},
      {5, "DIALOG"},       {6, "STRING"},     {10, "RCDATA"},    {12, "GROUP_CURSOR"},
      {14, "GROUP_ICON"},  {16, "VERSION"},   {24, "MANIFEST"},
  };
  const auto it = names.find(type.id);
  return it == names.end() ? nullptr : it->second;
}

int Run(const std::vector<std::string>& args) {
  for (const std::string& a : args) {
    if (a.rfind("--", 0) == 0) throw std::invalid_argument("unknown option " + a);
  }
  if (args.size() != 1) throw std::invalid_argument("wrong number of arguments");

  std::unique_ptr<platform::Os> os = platform::CreateHostOs(1252);
  platform::ScopedOs scope(*os);
  std::unique_ptr<platform::File> file = os->OpenFileForRead(platform::HostPathToOsPath(args[0]));
  if (!file) throw platform::EReadError(u"Cannot open " + platform::Utf8ToText(args[0]));
  if (!IsProgram(*file)) {
    throw platform::EFormatError(platform::Utf8ToText(args[0]) +
                                 u" is not a program (stptool list shows a package)");
  }
  const builder::PeImage image(*file);

  std::printf("product strings (language %d):\n", kProductLanguage);
  for (const ProductString& s : kProductStrings) {
    const std::optional<platform::Text> text =
        builder::LoadString(*file, image, s.id, kProductLanguage);
    std::printf("%u\t%s\t%s\n", s.id, s.name,
                text ? platform::TextToUtf8(*text).c_str() : "(none)");
  }
  std::printf("resources:\n");
  for (const builder::ResourceEntry& e : image.resources()) {
    const char* type = TypeName(e.type);
    std::printf("%s\t%s\t%u\t%u\n", type ? type : builder::Describe(e.type).c_str(),
                builder::Describe(e.name).c_str(), e.language, e.size);
  }
  return 0;
}

const bool registered =
    RegisterCommand({"info", "print the product strings and resources of a setup", kUsage, Run});

}  // namespace
}  // namespace stptool
