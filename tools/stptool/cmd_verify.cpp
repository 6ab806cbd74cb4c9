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
  const PackageReadArgs parsed = ParsePackageReadArgs(args);
  const Text& password = parsed.password;
  const int code_page = parsed.code_page;

  std::unique_ptr<platform::Os> os = platform::CreateHostOs(static_cast<std::uint32_t>(code_page));
  platform::ScopedOs scope(*os);
  PackageSource source(parsed.path);
  const std::vector<Text> problems = package::VerifyPackage(source.package(), password);
  for (const Text& problem : problems) {
    std::printf("%s: %s\n", parsed.path.c_str(), platform::TextToUtf8(problem).c_str());
  }
  if (!problems.empty()) return 1;
  std::printf("%s: sound\n", parsed.path.c_str());
  return 0;
}

const bool registered =
    RegisterCommand({"verify", "check a package without unpacking it", kUsage, Run});

}  // namespace
}  // namespace stptool
