// stptool pack: writes a setup package from a folder tree or from a list of rows.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "builder/host_paths.h"
#include "crypt/catalogue.h"
#include "package/package_format.h"
#include "platform/errors.h"
#include "platform/host.h"
#include "platform/os.h"
#include "platform/text.h"
#include "tools/stptool/command.h"

namespace stptool {
namespace {

namespace fs = std::filesystem;
using platform::Text;

const std::string kUsage =
    "usage: stptool pack OUTPUT SRCDIR [OPTIONS]\n"
    "       stptool pack OUTPUT --rows FILE [OPTIONS]\n"
    "\n"
    "Writes a setup package to OUTPUT.\n"
    "\n"
    "With SRCDIR, every file under SRCDIR goes into the package, in sorted order: the folder cell\n"
    "is the file's subfolder relative to SRCDIR with backslashes and a trailing backslash (empty\n"
    "for files directly in SRCDIR), the name cell the file name.\n"
    "\n"
    "With --rows FILE, the rows come from FILE (UTF-8), one per line, TAB-separated:\n"
    "    FOLDER<TAB>NAME<TAB>SOURCE[<TAB>flat]\n"
    "FOLDER and NAME are stored as given (so \"$System$\" rows and names with a path can be\n"
    "made), SOURCE is the file to compress (relative to the folder that holds FILE), and a\n"
    "fourth field \"flat\" marks a row that unpacks straight into the target folder. Empty lines\n"
    "are skipped.\n"
    "\n"
    "options:\n" +
    OptionHelp("--cipher N|NAME", 21, "manifest cipher: " + CipherChoices(tvcrypt::kRijndael)) +
    OptionHelp("--digest N|NAME", 21, "key digest: " + DigestChoices(tvcrypt::kSha256)) +
    "  --password TEXT    manifest password (default: empty, as the setup program uses)\n" +
    CompressionHelp() +
    "  --tail 3|22|10|29  tail shape by its length in bytes (default 3: 0A 14 02)\n"
    "  --codepage N       ANSI code page for the manifest bytes (default 1252)\n";

Text FromHost(const fs::path& p) { return platform::Utf8ToText(builder::Utf8Of(p)); }

struct Entry {
  package::ManifestRow row;
  Text source;  // Os path of the file to compress
};

// Every regular file under root, ordered by its path components.
std::vector<Entry> CollectTree(const std::string& root, const Text& output) {
  const Text os_root = platform::HostPathToOsPath(root);
  std::vector<std::vector<Text>> files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (!it->is_regular_file()) continue;
    std::vector<Text> parts;
    for (const fs::path& part : fs::relative(it->path(), root)) parts.push_back(FromHost(part));
    files.push_back(std::move(parts));
  }
  std::sort(files.begin(), files.end());

  std::vector<Entry> entries;
  for (const std::vector<Text>& parts : files) {
    Entry e;
    for (size_t i = 0; i + 1 < parts.size(); ++i) e.row.folder += parts[i] + u"\\";
    e.row.name = parts.back();
    e.source = os_root + u"\\" + e.row.folder + e.row.name;
    if (e.source == output) continue;  // the package being written
    // A folder cell that begins with "$" names the system folder, so such a tree cannot be
    // packed as it is.
    if (!e.row.folder.empty() && e.row.folder[0] == u'$') {
      throw platform::EFormatError(u"A top folder name may not begin with \"$\": " + e.row.folder);
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

std::vector<Entry> ReadRows(const std::string& rows_file) {
  std::ifstream in(rows_file, std::ios::binary);
  if (!in) throw platform::EReadError(u"Cannot read " + platform::Utf8ToText(rows_file));
  const fs::path base = fs::absolute(rows_file).parent_path();
  std::vector<Entry> entries;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const std::vector<std::string> f = SplitTabs(line);
    if (f.size() < 3 || f.size() > 4 || (f.size() == 4 && f[3] != "flat")) {
      throw platform::EFormatError(u"Bad row at line " +
                                   platform::AsciiToText(std::to_string(number)) +
                                   u": expected FOLDER, NAME, SOURCE and optionally \"flat\"");
    }
    Entry e;
    e.row.folder = platform::Utf8ToText(f[0]);
    e.row.name = platform::Utf8ToText(f[1]);
    e.row.flat = f.size() == 4;
    fs::path source(f[2]);
    if (source.is_relative()) source = base / source;
    e.source = platform::HostPathToOsPath(source.string());
    entries.push_back(std::move(e));
  }
  return entries;
}

int Run(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  package::PackOptions options;
  std::string rows_file;
  CompressionArgs compression;
  int code_page = 1252;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string v;
    if (TakeOption(args, i, "cipher", &v)) {
      options.cipher = tvcrypt::CipherNumber(v);
      if (options.cipher < 0) throw std::invalid_argument("unknown cipher '" + v + "'");
    } else if (TakeOption(args, i, "digest", &v)) {
      options.digest = tvcrypt::DigestNumber(v);
      if (options.digest < 0) throw std::invalid_argument("unknown digest '" + v + "'");
    } else if (TakeOption(args, i, "password", &v)) {
      options.password = platform::Utf8ToText(v);
    } else if (TakeCompressionOption(args, i, &compression)) {
    } else if (TakeOption(args, i, "tail", &v)) {
      int m = 0;
      if (!ParseInt(v, 3, 29, &m)) m = 0;
      const auto shape =
          std::find_if(std::begin(package::kAllTailShapes), std::end(package::kAllTailShapes),
                       [m](auto s) { return package::TailLength(s) == m; });
      if (shape == std::end(package::kAllTailShapes)) {
        throw std::invalid_argument("bad --tail " + v + " (3, 22, 10 or 29)");
      }
      options.tail = *shape;
    } else if (TakeOption(args, i, "rows", &v)) {
      rows_file = v;
    } else if (TakeCodePage(args, i, &code_page)) {
    } else if (args[i].rfind("--", 0) == 0) {
      throw std::invalid_argument("unknown or incomplete option " + args[i]);
    } else {
      positional.push_back(args[i]);
    }
  }
  ApplyCompression(compression, &options);
  const size_t wanted = rows_file.empty() ? 2 : 1;
  if (positional.size() != wanted) throw std::invalid_argument("wrong number of arguments");

  std::unique_ptr<platform::Os> os = platform::CreateHostOs(static_cast<std::uint32_t>(code_page));
  platform::ScopedOs scope(*os);
  const Text output = platform::HostPathToOsPath(positional[0]);
  const std::vector<Entry> entries =
      rows_file.empty() ? CollectTree(positional[1], output) : ReadRows(rows_file);

  std::int64_t total = 0;
  for (const Entry& e : entries) {
    if (std::unique_ptr<platform::File> source = os->OpenFileForRead(e.source)) {
      total += std::max<std::int64_t>(0, source->Size());
    }
  }
  std::unique_ptr<platform::File> out = os->CreateFileForWrite(output);
  if (!out) throw platform::EWriteError(u"Cannot create " + output);
  ProgressLine progress("compressing");
  options.on_progress = [&progress, total](std::int64_t done) { progress.Update(done, total); };
  std::unique_ptr<package::PackageWriter> writer;
  try {
    writer = std::make_unique<package::PackageWriter>(std::move(out), options);
    for (const Entry& e : entries) {
      std::unique_ptr<platform::File> source = os->OpenFileForRead(e.source);
      if (!source) throw platform::EReadError(u"Cannot open " + e.source);
      writer->AddFile(e.row, *source);
    }
    writer->Finish();
  } catch (...) {
    // A package without its manifest is no package: nothing is left behind.
    writer.reset();
    os->DeleteFile(output);
    throw;
  }
  std::fprintf(stderr, "packed %zu files into %s\n", entries.size(), positional[0].c_str());
  return 0;
}

const bool registered =
    RegisterCommand({"pack", "write a package from a folder tree or a list of rows", kUsage, Run});

}  // namespace
}  // namespace stptool
