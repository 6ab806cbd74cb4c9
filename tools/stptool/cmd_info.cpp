// stptool info: what a built setup program carries: its product strings and its resources.
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "builder/pe_image.h"
#include "params/product_params.h"
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
    "Prints the product strings of a setup program (its string table, language 2052), one per\n"
    "line as ID, name and text, then every resource it carries as type, name, language and size\n"
    "in bytes, TAB-separated. A missing string is printed as \"(none)\", or, when the setup then\n"
    "uses a default, as \"(default)\" and that value. A licence text is shown as its length in\n"
    "characters (line ends as CRLF) and its first line.\n";

const char* TypeName(const builder::ResourceId& type) {
  if (type.IsName()) return nullptr;
  static const std::map<std::uint16_t, const char*> names = {
      {1, "CURSOR"},      {2, "BITMAP"},   {3, "ICON"},      {4, "MENU"},
      {5, "DIALOG"},      {6, "STRING"},   {10, "RCDATA"},   {12, "GROUP_CURSOR"},
      {14, "GROUP_ICON"}, {16, "VERSION"}, {24, "MANIFEST"},
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

  std::printf("product strings (language %d):\n", params::kStringTableLanguage);
  for (const params::ParamRow& row : params::kParams) {
    const std::optional<platform::Text> text =
        builder::LoadString(*file, image, row.id, params::kStringTableLanguage);
    std::string shown;
    if (text && row.kind == params::ParamKind::kFile) {
      // A whole licence: its length and first line.
      const std::size_t end = text->find(u"\r\n");
      std::size_t characters = 0;
      for (char16_t c : *text) characters += (c & 0xFC00) != 0xDC00;
      shown =
          std::to_string(characters) + " characters: " + platform::TextToUtf8(text->substr(0, end));
    } else if (text && !(text->empty() && row.default_value)) {
      shown = platform::TextToUtf8(*text);
    } else if (row.default_value) {
      shown = "(default) " + (row.kind == params::ParamKind::kFile
                                  ? std::string("the built-in terms")
                                  : platform::TextToUtf8(row.default_value));
    } else {
      shown = "(none)";
    }
    // Keys outside [product] are named with their section: "publisher.Name".
    const std::string name = std::string_view(row.section) == "product"
                                 ? row.key
                                 : std::string(row.section) + "." + row.key;
    std::printf("%u\t%s\t%s\n", row.id, name.c_str(), shown.c_str());
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
