// stptool encrypt: makes a cipher envelope of a UTF-8 text, such as a package manifest.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "crypt/catalogue.h"
#include "crypt/envelope.h"
#include "platform/host.h"
#include "platform/text.h"
#include "tools/stptool/command.h"

namespace stptool {
namespace {

const std::string kUsage =
    "usage: stptool encrypt --cipher N|NAME --digest N|NAME [--password TEXT] [--codepage N] FILE\n"
    "\n"
    "Reads the UTF-8 text in FILE and writes a cipher envelope of it to standard output, one\n"
    "byte per character through the ANSI code page (the form setup.exe reads). The salt and\n"
    "initialisation vector are random printable ASCII characters.\n"
    "\n"
    "options:\n" +
    OptionHelp("--cipher N|NAME", 19, CipherChoices()) +
    OptionHelp("--digest N|NAME", 19, "the digest that makes the key: " + DigestChoices()) +
    "  --password TEXT  password (default: empty; setup.exe opens only envelopes made without)\n"
    "  --codepage N     the ANSI code page of the output: 1252 (default) or 936\n"
    "\n"
    "exit status: 0 on success, 1 when FILE cannot be read, 2 for a usage error.\n";

int Run(const std::vector<std::string>& args) {
  std::string cipher_arg, digest_arg, password, code_page = "1252", path;
  for (size_t i = 0; i < args.size(); ++i) {
    if (TakeOption(args, i, "cipher", &cipher_arg) || TakeOption(args, i, "digest", &digest_arg) ||
        TakeOption(args, i, "password", &password) || TakeOption(args, i, "codepage", &code_page)) {
      continue;
    }
    if (args[i].rfind("--", 0) == 0 || !path.empty()) {
      std::fputs(kUsage.c_str(), stderr);
      return 2;
    }
    path = args[i];
  }
  const int cipher = tvcrypt::CipherNumber(cipher_arg), digest = tvcrypt::DigestNumber(digest_arg);
  int cp = 0;
  if (path.empty() || cipher < 0 || digest < 0 || !ParseInt(code_page, 1, 65535, &cp)) {
    std::fputs(kUsage.c_str(), stderr);
    return 2;
  }

  auto os = platform::CreateHostOs(static_cast<std::uint32_t>(cp));
  platform::ScopedOs scope(*os);
  std::string utf8;
  if (!ReadHostFile(path, &utf8)) {
    std::fprintf(stderr, "stptool encrypt: cannot read %s\n", path.c_str());
    return 1;
  }
  const platform::Text envelope = tvcrypt::EncryptEnvelope(platform::Utf8ToText(utf8), cipher,
                                                           digest, platform::Utf8ToText(password));
  const std::string bytes = os->WideToAnsi(envelope);
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}

const bool registered =
    RegisterCommand({"encrypt", "make a cipher envelope of a text", kUsage, Run});

}  // namespace
}  // namespace stptool
