#include "package/extract.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "package/data_table.h"
#include "package/member_decoder.h"
#include "package/package_format.h"
#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/fs_util.h"
#include "platform/text.h"

namespace package {

using platform::EFormatError;
using platform::EReadError;
using platform::EWriteError;

namespace {

bool EqualsIgnoreCaseAt(TextView text, size_t at, TextView token) {
  return at + token.size() <= text.size() &&
         platform::EqualsIgnoringAsciiCase(text.substr(at, token.size()), token);
}

// Replaces every occurrence of token, matched without regard to ASCII letter case.
Text ReplaceAllIgnoreCase(TextView text, TextView token, TextView with, bool* replaced) {
  Text out;
  size_t i = 0;
  while (i < text.size()) {
    if (EqualsIgnoreCaseAt(text, i, token)) {
      out += with;
      i += token.size();
      *replaced = true;
    } else {
      out += text[i++];
    }
  }
  return out;
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

// "..", and the names Windows reads the same way once it drops trailing dots and spaces ("...",
// ".. ").
bool IsParentReference(TextView component) {
  int dots = 0;
  for (char16_t c : component) {
    if (c == u'.')
      ++dots;
    else if (c != u' ')
      return false;
  }
  return dots >= 2;
}

bool IsDotsOnly(TextView component) {
  return std::all_of(component.begin(), component.end(),
                     [](char16_t c) { return c == u'.' || c == u' '; });
}

// A row that goes to the system folder: its folder cell begins with "$" and it is not flat.
bool IsSystemRow(tvdata::TRow& row) {
  const Text dest = row.Items(kColFolder).Text();
  const bool flat = row.ItemCount() > kColFlat && row.Items(kColFlat).AsBool();
  return !flat && !dest.empty() && dest[0] == u'$';
}

Text Number(size_t n) { return platform::AsciiToText(std::to_string(n)); }

// A long path cut to its start and end, for a one-line message.
Text Shortened(const Text& path) {
  constexpr size_t kKeep = 60;
  if (path.size() <= 2 * kKeep + 3) return path;
  return path.substr(0, kKeep) + u"..." + path.substr(path.size() - kKeep);
}

// Our programs declare no long-path awareness, so on every Windows the file API refuses a file
// path or a folder to create beyond its limits. Wine enforces neither: a row with a deep folder
// cell would make thousands of nested folders there before its file failed. So a row is checked
// first and refused as the file API would refuse it, before anything of it is made.
void CheckPathLimits(platform::Os& os, const Text& folder, const Text& path, size_t row) {
  const auto refuse = [&os, row](const Text& what, size_t length, const char16_t* kind,
                                 size_t limit) {
    os.SetLastError(platform::kErrorPathNotFound);
    throw EWriteError(u"Cannot create " + Shortened(what) + u" (row " + Number(row) + u"): " +
                      Number(length) + u" characters, more than the " + Number(limit - 1) +
                      u" Windows takes for " + kind);
  };
  const size_t length = platform::FullPathLength(path);
  if (length >= platform::kPathLimit) refuse(path, length, u"a path", platform::kPathLimit);
  const size_t folder_length = platform::FullPathLength(folder);
  if (folder_length >= platform::kFolderPathLimit && !os.DirectoryExists(folder)) {
    refuse(folder, folder_length, u"a new folder", platform::kFolderPathLimit);
  }
}

// Creates the target folder with its parents when it is missing and within the file API's
// limits. A failure shows up when the first file is created.
void MakeTargetFolder(platform::Os& os, const Text& target_dir) {
  if (platform::FullPathLength(target_dir) < platform::kFolderPathLimit &&
      !os.DirectoryExists(target_dir)) {
    platform::ForceDirectories(target_dir);
  }
}

Text RowText(const Text& prefix, size_t row, TextView detail) {
  Text text = prefix + u" (row " + Number(row) + u")";
  if (!detail.empty()) text += u": " + Text(detail);
  return text;
}

// Waits, on every way out of a row's block, for a write that the row handed to the writer.
struct WaitForWrite {
  MemberCopier& members;
  ~WaitForWrite() { members.WaitForWrite(); }
};

// The compressed and uncompressed sizes of a row's member, when the row exists and both cells
// read as numbers; empty otherwise (the row raises its own error when it is reached).
std::optional<std::pair<std::int32_t, std::int32_t>> MemberSizes(tvdata::TDataTable& table,
                                                                 int row) {
  if (row >= table.ItemCount()) return std::nullopt;
  try {
    tvdata::TRow& next = table.Items(row);
    return std::make_pair(next.Items(kColCompressed).Value(), next.Items(kColSize).Value());
  } catch (const platform::Exception&) {
    return std::nullopt;
  }
}

}  // namespace

std::int32_t ProgressPercent(std::int64_t done, std::int64_t total) {
  if (total <= 0) return 100;
  // Exact integer rounding. done * 100 would need 2^56 bytes written or skipped to overflow.
  const std::int64_t scaled = done * 100;
  std::int64_t q = scaled / total;
  const std::int64_t r2 = (scaled % total) * 2;
  if (r2 > total || (r2 == total && (q % 2) != 0)) ++q;
  return static_cast<std::int32_t>(q);
}

Text SystemRowFolder(TextView dest, TextView system_dir) {
  const TextView token =
      dest.find(u"System") != TextView::npos ? TextView(u"$System$") : TextView(u"$Third$");
  if (!EqualsIgnoreCaseAt(dest, 0, token)) return Text();
  const Text rest = ResolveSystemFolder(dest.substr(token.size()), system_dir);
  return Text(system_dir) + rest;
}

Text ResolveSystemFolder(TextView dest, TextView system_dir) {
  bool replaced = false;
  if (dest.find(u"System") != TextView::npos) {
    return ReplaceAllIgnoreCase(dest, u"$System$", system_dir, &replaced);
  }
  return ReplaceAllIgnoreCase(dest, u"$Third$", system_dir, &replaced);
}

bool StaysInside(TextView relative_path) {
  int depth = 0;
  size_t start = 0;
  while (start <= relative_path.size()) {
    size_t end = start;
    while (end < relative_path.size() && !IsSeparator(relative_path[end])) ++end;
    const TextView component = relative_path.substr(start, end - start);
    if (IsParentReference(component)) {
      if (--depth < 0) return false;
    } else if (!component.empty() && component != u".") {
      ++depth;
    }
    start = end + 1;
  }
  return true;
}

bool IsPlainFileName(TextView name) { return !name.empty() && !IsDotsOnly(name); }

void ExtractPackage(const Text& package_path, const Text& target_dir, const Text& password,
                    const ProgressCallback& on_progress, const ExtractOptions& options) {
  platform::Os& os = platform::CurrentOs();
  MakeTargetFolder(os, target_dir);

  std::unique_ptr<platform::File> package = os.OpenFileForRead(package_path);
  if (!package) throw EReadError(u"Cannot open the package " + package_path);
  ExtractPackage(*package, target_dir, password, on_progress, options);
}

void ExtractPackage(platform::File& package, const Text& target_dir, const Text& password,
                    const ProgressCallback& on_progress, const ExtractOptions& options) {
  platform::Os& os = platform::CurrentOs();
  MakeTargetFolder(os, target_dir);

  const ManifestLocation location = LocateManifest(package);
  if (location.empty) return;
  const std::unique_ptr<tvdata::TDataTable> manifest =
      ManifestTable(ReadManifestText(package, location, password));
  tvdata::TDataTable& table = *manifest;
  const int rows = table.ItemCount();

  // Every size is checked before anything is written, so a manifest that is not a table of the
  // required form fails here. Sizes add up in 64 bits: no total can wrap.
  std::int64_t total = 0;
  for (int i = 0; i < rows; ++i) {
    const std::int32_t size = table.Items(i).Items(kColSize).Value();
    if (size < 0) throw EFormatError(RowText(u"Negative file size", i, u""));
    total += size;
  }
  // Without a system folder, a package that has system-folder rows fails before it writes.
  const Text& system_dir = options.system_dir;
  if (system_dir.empty()) {
    for (int i = 0; i < rows; ++i) {
      if (IsSystemRow(table.Items(i))) {
        throw ENoSystemFolder(RowText(u"System-folder row, and no system folder given", i,
                                      table.Items(i).Items(kColFolder).Text()));
      }
    }
  }

  MemberCopier members(options.decoder, options.write_behind, options.between_pieces);
  std::int64_t done = 0;
  std::int64_t position = 0;  // where the next member starts
  for (int i = 0; i < rows; ++i) {
    tvdata::TRow& row = table.Items(i);
    const Text dest = row.Items(kColFolder).Text();
    const bool flat = row.ItemCount() > kColFlat && row.Items(kColFlat).AsBool();
    const bool system = !flat && !dest.empty() && dest[0] == u'$';
    const Text name_cell = row.Items(kColName).Text();
    const Text name = platform::LastComponent(name_cell);

    // Checked before any folder or file of the row is made, so nothing lands outside target_dir
    // and the system folder.
    if (!IsPlainFileName(name)) throw EFormatError(RowText(u"Not a file name", i, name_cell));
    Text folder;
    Text below_root;  // what follows the target or system folder
    if (flat) {
      folder = target_dir;
      below_root = name;
    } else if (!system) {
      folder = target_dir + dest;
      below_root = dest + name;
    } else {
      folder = SystemRowFolder(dest, system_dir);
      // A "$" cell without its token would be a path relative to the current folder.
      if (folder.empty()) throw EFormatError(RowText(u"Folder names no system folder", i, dest));
      below_root = folder.substr(system_dir.size()) + name;
    }
    if (!StaysInside(below_root)) {
      throw EFormatError(
          RowText(system ? u"Path leaves the system folder" : u"Path leaves the target folder", i,
                  dest + name_cell));
    }
    const Text path = folder + name;
    CheckPathLimits(os, folder, path, i);
    if (!os.DirectoryExists(folder)) platform::ForceDirectories(folder);

    if (system && os.FileExists(folder + name_cell)) {
      const std::int32_t compressed = row.Items(kColCompressed).Value();
      if (compressed < 0) throw EFormatError(RowText(u"Negative member size", i, name_cell));
      position += compressed;
      done += row.Items(kColSize).Value();
      continue;
    }

    {
      std::unique_ptr<platform::File> out = os.CreateFileForWrite(path);
      if (!out) throw EWriteError(u"Cannot create " + path);
      const std::int32_t compressed = row.Items(kColCompressed).Value();
      if (compressed < 0) throw EFormatError(RowText(u"Negative member size", i, name_cell));
      const std::int32_t size = row.Items(kColSize).Value();
      // A write still on its way when something throws ends before out is closed.
      const WaitForWrite wait_for_write{members};
      try {
        members.Copy(package, location.file_size, position, compressed, size, *out, path);
      } catch (const EFormatError&) {
        // A member zlib rejects leaves its file empty, as if nothing had been written.
        out.reset();
        os.CreateFileForWrite(path);
        throw;
      }
      position += compressed;
      done += size;
      if (members.WritePending()) {
        if (const auto next = MemberSizes(table, i + 1)) {
          members.DecodeAhead(package, location.file_size, position, next->first, next->second);
        }
        members.FinishWrite(path);
      }
    }
    if (options.on_file_written) options.on_file_written(path, row.Items(kColSize).Value());
    if (on_progress) on_progress(ProgressPercent(done, total));
  }
}

std::int64_t UnpackedSize(platform::File& package, const Text& password) {
  const ManifestLocation location = LocateManifest(package);
  if (location.empty) return 0;
  const std::unique_ptr<tvdata::TDataTable> manifest =
      ManifestTable(ReadManifestText(package, location, password));
  std::int64_t total = 0;
  for (int i = 0; i < manifest->ItemCount(); ++i) {
    const std::int32_t size = manifest->Items(i).Items(kColSize).Value();
    if (size < 0) throw EFormatError(RowText(u"Negative file size", i, u""));
    total += size;
  }
  return total;
}

}  // namespace package
