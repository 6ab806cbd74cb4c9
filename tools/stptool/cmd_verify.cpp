// stptool verify: checks a setup package without writing anything.
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/verify.h"
#include "platform/errors.h"
#include "platform/host.h"
#include "platform/os.h"
#include "platform/text.h"
#include "tools/stptool/command.h"
#include "tools/stptool/package_source.h"

namespace stptool {
namespace {

using platform::Text;

const char kUsage[] =
    "usage: stptool verify PACKAGE|SETUP.EXE [--password TEXT] [--codepage N]\n"
    "\n"
    "Checks PACKAGE, or the package a built setup program carries, without writing anything:\n"
    "the manifest is found and decrypts to a table of the required form, every member inflates\n"
    "to exactly the size its row gives and its zlib stream ends at the member's last byte with a\n"
    "good checksum, and the members lie end to end before the manifest. Exit code 0 when the\n"
    "package is sound; otherwise 1, with one line per problem on stdout.\n"
    "\n"
    "options:\n"
    "  --password TEXT   manifest password (default: empty, as the setup program uses)\n"
    "  --codepage N      ANSI code page of the manifest bytes (default 1252)\n";

int Run(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  Text password;
  int code_page = 1252;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string v;
    if (TakeOption(args, i, "password", &v)) {
      password = platform::Utf8ToText(v);
    } else if (TakeCodePage(args, i, &code_page)) {
    } else if (args[i].rfind("--", 0) == 0) {
      throw std::invalid_argument("unknown or incomplete option " + args[i]);
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 1) throw std::invalid_argument("wrong number of arguments");

  std::unique_ptr<platform::Os> os = platform::CreateHostOs(static_cast<std::uint32_t>(code_page));
  platform::ScopedOs scope(*os);
  PackageSource source(positional[0]);
  const std::vector<Text> problems = package::VerifyPackage(source.package(), password);
  for (const Text& problem : problems) {
    std::printf("%s: %s\n", positional[0].c_str(), platform::TextToUtf8(problem).c_str());
  }
  if (!problems.empty()) return 1;
  std::printf("%s: sound\n", positional[0].c_str());
  return 0;
}

const bool registered =
    RegisterCommand({"verify", "check a package without unpacking it", kUsage, Run});

}  // namespace
}  // namespace stptool
