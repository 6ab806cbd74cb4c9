// Unpacking a setup package (package/package_format.h) into a folder.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/errors.h"
#include "platform/os.h"

namespace package {

using platform::Text;
using platform::TextView;

// Receives the percentage (0 to 100) of uncompressed bytes accounted for so far.
using ProgressCallback = std::function<void(std::int32_t)>;

// How members are inflated. Both write the same bytes for every package, damaged ones included.
enum class MemberDecoder {
  // libdeflate decodes a member whole between two buffers of at most kWholeMemberLimit bytes
  // each; larger members, members whose stream does not decode cleanly into at most the bytes
  // the row asks for, and members whose stream holds anything zlib's inflate rejects
  // (package/deflate_check.h) go through zlib's streaming inflate.
  kWholeMember,
  // zlib's streaming inflate for every member, through two 1 MiB buffers.
  kStreaming,
};

// The largest compressed or uncompressed member size that kWholeMember decodes in memory; the
// two buffers together stay under 32 MiB whatever the package holds (three, under 48 MiB, with
// write_behind: the next member decodes while the last one is written).
inline constexpr std::int32_t kWholeMemberLimit = 16 * 1024 * 1024;

struct ExtractOptions {
  MemberDecoder decoder = MemberDecoder::kWholeMember;
  // Called between pieces of work (at most about 1 MiB read, inflated or written, or one member
  // decoded whole), so that a caller on a user-interface thread can answer its windows while
  // the files are written. May be empty.
  std::function<void()> between_pieces;
  // With kWholeMember: a second thread writes each decoded member of 256 KiB or more to its file
  // while the next member is read and decoded. The files, their bytes, the errors and the
  // progress stay as without it; the caller's hooks are still called on its own thread.
  bool write_behind = false;
  // Called after each file the package writes, with its path and size in bytes (a system file
  // that already exists and is left alone is not written). May be empty.
  std::function<void(const Text& path, std::int64_t size)> on_file_written;
  // Where the system-folder rows go, with its trailing backslash: the setup program passes the
  // OS's system folder, tools a folder of their own. Empty means there is none: a package with
  // such rows then throws ENoSystemFolder before anything is written.
  Text system_dir;
};

// Unpacks every file that the package's manifest lists, in manifest order, through the current
// Os (platform::CurrentOs()).
//
// - target_dir is joined directly with folder cells and file names, so it carries its trailing
//   backslash. It is created with its parents when missing.
// - The manifest is decrypted with password (an empty one for the setup's own package).
// - A row whose folder cell begins with "$" (and is not flat) goes to the system folder: the cell
//   must begin with its token ("$System$" when it contains "System", else "$Third$"), and what
//   follows must stay inside the system folder, or the row fails before anything of it is made.
//   The system folder is options.system_dir. A system file that already exists is left alone and
//   its bytes are counted as done.
// - on_progress (may be empty) is called after each written file with done/total rounded to the
//   nearest integer, halves to even; a package whose files are all empty reports 100.
//
// Any failure throws a platform::Exception: EReadError (package unreadable or too short),
// EConvertError / ERangeError (manifest not a table of the required form, checked for every row
// before anything is written), EFormatError (negative sizes, a corrupt member, a path that leaves
// target_dir or the system folder, a "$" folder cell without its token), EWriteError (a folder or
// file that cannot be created or written; a row whose file path or new folder is beyond the file
// API's limits, platform::kPathLimit, is refused so on every system before anything of it is
// made). A length field
// not less than the file size means an empty package: nothing is written and nothing is thrown.
// Files written before a failure stay on disk; the package file is closed on every path.
void ExtractPackage(const Text& package_path, const Text& target_dir, const Text& password,
                    const ProgressCallback& on_progress, const ExtractOptions& options = {});

// The same for a package that is already open (a package read in place inside a setup program,
// package/verify.h FileRange). The caller keeps the file open for the call.
void ExtractPackage(platform::File& package, const Text& target_dir, const Text& password,
                    const ProgressCallback& on_progress, const ExtractOptions& options = {});

// The bytes the package's files take once unpacked: the sum of their sizes. Throws as
// ExtractPackage does for a manifest that cannot be read; 0 for an empty package.
std::int64_t UnpackedSize(platform::File& package, const Text& password);

// A package with system-folder rows extracted without a system folder.
class ENoSystemFolder : public platform::EFormatError {
  using EFormatError::EFormatError;
};

// done / total * 100, rounded to the nearest integer with halves to even; 100 when total is 0.
std::int32_t ProgressPercent(std::int64_t done, std::int64_t total);

// The folder of a system-folder row: system_dir followed by the rest of the cell after its
// leading token, other tokens in it replaced by the rule below; empty when the cell does not
// begin with the token that the rule looks for.
Text SystemRowFolder(TextView dest, TextView system_dir);

// The folder of a row whose folder cell begins with "$", as the plain replacement rule gives it:
// when the cell contains "System" (case-sensitive), every "$System$" is replaced by system_dir,
// otherwise every "$Third$"; both tokens match without regard to letter case. A cell with neither
// token comes back unchanged.
Text ResolveSystemFolder(TextView dest, TextView system_dir);

// True when the relative path (folder cell followed by file name) stays inside the folder it is
// joined to: no "..", counted over "\" and "/" separators, climbs above the start.
bool StaysInside(TextView relative_path);

// True when a file name (a last path component) names a file: neither empty nor "." / "..".
bool IsPlainFileName(TextView name);

}  // namespace package
