// stptool decrypt: opens an envelope file the way the setup opens its manifest.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "crypt/envelope.h"
#include "platform/host.h"
#include "platform/text.h"
#include "tools/stptool/command.h"

namespace stptool {
namespace {

constexpr const char* kUsage =
    "usage: stptool decrypt [--password TEXT] [--codepage N] FILE\n"
    "\n"
    "Opens the cipher envelope in FILE and prints its plain text as UTF-8 on standard output.\n"
    "The file is read one byte per character through the ANSI code page, as setup.exe reads the\n"
    "manifest of a package.\n"
    "\n"
    "options:\n"
    "  --password TEXT  the password the envelope was made with (default: empty, as setup.exe\n"
    "                   uses)\n"
    "  --codepage N     the ANSI code page to read the file with: 1252 (default) or 936\n"
    "\n"
    "exit status: 0 when the envelope opens; 1 with \"envelope cannot be opened\" when it does\n"
    "not, or when FILE cannot be read; 2 for a usage error.\n";

int Run(const std::vector<std::string>& args) {
  std::string password, code_page = "1252", path;
  for (size_t i = 0; i < args.size(); ++i) {
    if (TakeOption(args, i, "password", &password) || TakeOption(args, i, "codepage", &code_page))
      continue;
    if (args[i].rfind("--", 0) == 0 || !path.empty()) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    path = args[i];
  }
  int cp = 0;
  if (path.empty() || !ParseInt(code_page, 1, 65535, &cp)) {
    std::fputs(kUsage, stderr);
    return 2;
  }

  auto os = platform::CreateHostOs(static_cast<std::uint32_t>(cp));
  platform::ScopedOs scope(*os);
  std::string bytes;
  if (!ReadHostFile(path, &bytes)) {
    std::fprintf(stderr, "stptool decrypt: cannot read %s\n", path.c_str());
    return 1;
  }
  const platform::Text plain =
      tvcrypt::DecryptEnvelope(os->AnsiToWide(bytes), platform::Utf8ToText(password));
  if (plain.empty()) {
    std::fputs("envelope cannot be opened\n", stderr);
    return 1;
  }
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);  // the text's own line breaks, unchanged
#endif
  const std::string utf8 = platform::TextToUtf8(plain);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

const bool registered =
    RegisterCommand({"decrypt", "print the plain text of a cipher envelope", kUsage, Run});

}  // namespace
}  // namespace stptool
