// stptool extract: unpacks a setup package with the same code the setup program runs.
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/extract.h"
#include "platform/host.h"
#include "platform/os.h"
#include "platform/text.h"
#include "tools/stptool/command.h"
#include "tools/stptool/package_source.h"

namespace stptool {
namespace {

using platform::Text;

const char kUsage[] =
    "usage: stptool extract PACKAGE|SETUP.EXE TARGETDIR [--system-dir DIR] [--password TEXT]\n"
    "                       [--quiet] [--codepage N] [--decoder libdeflate|zlib]\n"
    "\n"
    "Unpacks every file of PACKAGE (or of the package a built setup program carries, read in\n"
    "place) into TARGETDIR (created when missing), exactly as the setup program does. Rows whose\n"
    "folder begins with \"$System$\" or \"$Third$\" go to the setup program's system folder;\n"
    "here they go to the folder given with --system-dir (created when missing) and are skipped\n"
    "when they exist there. Without --system-dir a package that has such rows fails before\n"
    "any file is written: the tool never writes into the machine's own system folder. A row\n"
    "whose path would leave TARGETDIR or the system folder is refused. The percentage done is\n"
    "shown on stderr. On any failure a message is printed and the exit code is 1; files written\n"
    "before the failure stay.\n"
    "\n"
    "options:\n"
    "  --system-dir DIR  where the system-folder rows go\n"
    "  --password TEXT   manifest password (default: empty, as the setup program uses)\n"
    "  --quiet           no progress display\n"
    "  --codepage N      ANSI code page of the manifest bytes (default 1252)\n"
    "  --decoder NAME    libdeflate (default): members of up to 16 MiB decoded whole, the rest\n"
    "                    and damaged ones streamed by zlib; zlib: every member streamed by zlib.\n"
    "                    Both write the same bytes; zlib is there for comparison.\n";

int Run(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  Text password;
  bool quiet = false;
  int code_page = 1252;
  std::string system_dir_arg;
  package::ExtractOptions options;
  options.write_behind = true;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string v;
    if (TakeOption(args, i, "password", &v)) {
      password = platform::Utf8ToText(v);
    } else if (TakeOption(args, i, "system-dir", &v)) {
      if (v.empty()) throw std::invalid_argument("empty --system-dir");
      system_dir_arg = v;
    } else if (TakeCodePage(args, i, &code_page)) {
    } else if (TakeOption(args, i, "decoder", &v)) {
      if (v == "zlib") {
        options.decoder = package::MemberDecoder::kStreaming;
      } else if (v != "libdeflate") {
        throw std::invalid_argument("unknown decoder " + v + " (libdeflate or zlib)");
      }
    } else if (args[i] == "--quiet" || args[i] == "-q") {
      quiet = true;
    } else if (args[i].rfind("--", 0) == 0) {
      throw std::invalid_argument("unknown or incomplete option " + args[i]);
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 2) throw std::invalid_argument("wrong number of arguments");

  std::unique_ptr<platform::Os> os = platform::CreateHostOs(static_cast<std::uint32_t>(code_page));
  platform::ScopedOs scope(*os);
  PackageSource source(positional[0]);
  Text target = platform::HostPathToOsPath(positional[1]);
  if (target.empty() || target.back() != u'\\') target += u'\\';
  // An empty folder tells the extraction there is none.
  if (!system_dir_arg.empty()) {
    options.system_dir = platform::HostPathToOsPath(system_dir_arg);
    if (options.system_dir.back() != u'\\') options.system_dir += u'\\';
  }

  package::ProgressCallback progress;
  int shown = -1;
  if (!quiet) {
    progress = [&shown](std::int32_t percent) {
      if (percent == shown) return;
      shown = percent;
      std::fprintf(stderr, "\rextracting: %3d%%", static_cast<int>(percent));
      std::fflush(stderr);
    };
  }
  try {
    package::ExtractPackage(source.package(), target, password, progress, options);
  } catch (const package::ENoSystemFolder& e) {
    throw std::runtime_error(std::string(e.what()) +
                             ": give --system-dir DIR for the rows of the system folder");
  } catch (...) {
    if (shown >= 0) std::fputc('\n', stderr);
    throw;
  }
  if (shown >= 0) std::fputc('\n', stderr);
  return 0;
}

const bool registered = RegisterCommand({"extract", "unpack a package into a folder", kUsage, Run});

}  // namespace
}  // namespace stptool
