// stptool list: shows the manifest of a setup package.
#include <cstdio>
#include <exception>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "package/data_table.h"
#include "package/package_format.h"
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
    "usage: stptool list PACKAGE|SETUP.EXE [--password TEXT] [--codepage N]\n"
    "\n"
    "Decrypts the manifest of PACKAGE (or of the package a built setup program carries) and\n"
    "prints it, TAB-separated: the property header when the\n"
    "manifest has one (a line beginning with \"properties\"), a header line, then one line per\n"
    "row: folder, file name (with \",\" and \"|\" restored), compressed size, uncompressed size\n"
    "and the flat flag (1 when the row unpacks straight into the target folder). A cell that is\n"
    "not what its column needs is printed as stored, followed by \"?\".\n"
    "\n"
    "options:\n"
    "  --password TEXT   manifest password (default: empty, as the setup program uses)\n"
    "  --codepage N      ANSI code page of the manifest bytes (default 1252)\n";

std::string Utf8(const Text& t) { return platform::TextToUtf8(t); }

std::string NumberCell(tvdata::TRow& row, int column) {
  if (column >= row.ItemCount()) return "?";
  tvdata::TCell& cell = row.Items(column);
  try {
    return std::to_string(cell.Value());
  } catch (const platform::EConvertError&) {
    return Utf8(cell.StoredText()) + "?";
  }
}

std::string FlatCell(tvdata::TRow& row) {
  if (row.ItemCount() <= package::kColFlat) return "0";
  tvdata::TCell& cell = row.Items(package::kColFlat);
  try {
    return cell.AsBool() ? "1" : "0";
  } catch (const platform::EConvertError&) {
    return Utf8(cell.StoredText()) + "?";
  }
}

int Run(const std::vector<std::string>& args) {
  const PackageReadArgs parsed = ParsePackageReadArgs(args);
  const Text& password = parsed.password;
  const int code_page = parsed.code_page;

  std::unique_ptr<platform::Os> os = platform::CreateHostOs(static_cast<std::uint32_t>(code_page));
  platform::ScopedOs scope(*os);
  PackageSource source(parsed.path);
  platform::File& file = source.package();
  const package::ManifestLocation location = package::LocateManifest(file);
  if (location.empty) {
    std::fprintf(stderr, "stptool list: the length field says the package is empty\n");
    return 0;
  }
  const Text plain = package::ReadManifestText(file, location, password);
  if (plain.empty()) throw platform::EFormatError(u"The manifest cannot be decrypted");

  const std::unique_ptr<tvdata::TDataTable> manifest = package::ManifestTable(plain);
  tvdata::TDataTable& table = *manifest;
  // The header exists only when the text begins with "#" and holds a second "#".
  if (plain[0] == u'#' && plain.find(u'#', 1) != Text::npos) {
    std::string line = "properties";
    for (int c = 0; c < table.PropCount(); ++c) {
      line += '\t';
      line += Utf8(table.PropertyRow().Items(c).Text());
    }
    std::printf("%s\n", line.c_str());
  }
  std::printf("folder\tname\tcompressed\tsize\tflat\n");
  for (int r = 0; r < table.ItemCount(); ++r) {
    tvdata::TRow& row = table.Items(r);
    const std::string name = row.ItemCount() > package::kColName
                                 ? Utf8(row.Items(package::kColName).Text())
                                 : std::string("?");
    std::printf("%s\t%s\t%s\t%s\t%s\n", Utf8(row.Items(package::kColFolder).Text()).c_str(),
                name.c_str(), NumberCell(row, package::kColCompressed).c_str(),
                NumberCell(row, package::kColSize).c_str(), FlatCell(row).c_str());
  }
  return 0;
}

const bool registered = RegisterCommand({"list", "print the manifest of a package", kUsage, Run});

}  // namespace
}  // namespace stptool
