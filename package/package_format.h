// The setup package file, shared by the reader (ExtractPackage, stptool list) and the writer
// (stptool pack).
//
// A package is, from offset 0 on:
//
//   member 0 | member 1 | ... | manifest (L bytes) | L (int32 LE) | tail (m bytes)
//
// - Each member is one zlib stream (RFC 1950) holding one product file, in manifest-row order,
//   with no gap between members. Member i starts at the sum of the compressed sizes of rows 0..i-1.
// - The manifest is an envelope text (crypt/envelope.h), one byte per character in the ANSI
//   code page, whose plain text is a table text with one row per member:
//     cell 0  destination folder ("" = the target folder, "sub\" = a subfolder, "$System$..." or
//             "$Third$..." = the system folder); not escaped
//     cell 1  file name; escaped: U+001A stands for "," and U+001B for "|"
//     cell 2  compressed size C (the member's length)
//     cell 3  uncompressed size U
//     cell 4  optional flat flag: when true the file goes straight into the target folder
// - The tail is a separator (one byte 0x0A, or 20 bytes) followed by a tag (2 or 9 bytes). The
//   reader tells the shape from two bytes only: E-2 == 0x14 means a 2-byte tag, and the byte just
//   before the tag == 0x0A means a 1-byte separator. Every other tail byte is free.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crypt/catalogue.h"
#include "crypt/envelope.h"
#include "package/data_table.h"
#include "platform/job_pool.h"
#include "platform/os.h"

namespace package {

using platform::Text;
using platform::TextView;

// Manifest columns.
inline constexpr int kColFolder = 0;
inline constexpr int kColName = 1;
inline constexpr int kColCompressed = 2;
inline constexpr int kColSize = 3;
inline constexpr int kColFlat = 4;

// The four tail shapes, named by tail length m.
enum class TailShape {
  kTail3,   // 0x0A, 2-byte tag            (what the setup's own packages use: 0A 14 02)
  kTail22,  // 20-byte separator, 2-byte tag
  kTail10,  // 0x0A, 9-byte tag
  kTail29,  // 20-byte separator, 9-byte tag
};
inline constexpr TailShape kAllTailShapes[] = {TailShape::kTail3, TailShape::kTail22,
                                               TailShape::kTail10, TailShape::kTail29};

// The tail bytes the writer appends for a shape. Separator and tag bytes other than the two the
// reader tests are fixed filler chosen so that the reader recognises exactly this shape.
std::vector<std::uint8_t> MakeTail(TailShape shape);
int TailLength(TailShape shape);

// Where the manifest lies in a package of file_size bytes.
struct ManifestLocation {
  std::int64_t file_size = 0;
  int tail_length = 0;      // m
  std::int32_t length = 0;  // L, the length field
  // L not less than the file size: the package holds nothing to unpack (not an error).
  bool empty = false;
  std::int64_t offset = 0;  // where the manifest starts (meaningful unless empty)
};

// Reads the tail and the length field. Throws EReadError when the file is too short for those
// reads or the manifest would start before the file, and EFormatError for a negative length
// field. The file position is left unspecified.
ManifestLocation LocateManifest(platform::File& file);

// Reads the manifest bytes that LocateManifest found (requires !location.empty).
std::string ReadManifestBytes(platform::File& file, const ManifestLocation& location);

// Those bytes read through the current Os's ANSI code page and decrypted with password: the plain
// manifest text, empty when the envelope cannot be opened. Throws as ReadManifestBytes does.
Text ReadManifestText(platform::File& file, const ManifestLocation& location, const Text& password);

// A manifest table without rows, its header the ten empty cells of a new table; the file name
// column is the escaped one.
std::unique_ptr<tvdata::TDataTable> EmptyManifestTable();

// A plain manifest text as a table of rows (an optional "#Name,Count#" property header first).
std::unique_ptr<tvdata::TDataTable> ManifestTable(const Text& plain);

// Reads exactly size bytes or throws EReadError.
void ReadExact(platform::File& file, void* buffer, std::uint32_t size);
// Seeks to an absolute offset or throws EReadError.
void SeekTo(platform::File& file, std::int64_t offset);

// --- Writer side ---------------------------------------------------------------------------------

// One row of the manifest as the writer knows it: plain texts, not yet escaped.
struct ManifestRow {
  Text folder;  // cell 0
  Text name;    // cell 1
  std::int32_t compressed = 0;
  std::int32_t size = 0;
  bool flat = false;  // writes cell 4 = "-1" when set
};

// Why a row cannot be written so that the reader gets it back unchanged; empty when it can.
// (Cell 0 is not escaped, so it cannot hold "," or "|"; control characters in cell 1 would be
// read back as spaces; U+0000 ends a table text.)
std::string CheckManifestRow(const ManifestRow& row);

// The table text of a manifest. A property header "#Name,Count#" is always written: it keeps a
// first cell that begins with "#" from being taken for a header, and it lets an empty package
// have zero rows. Throws EConvertError for a name or a row that the table text cannot hold (a row
// that CheckManifestRow accepts always fits).
Text FormatManifestText(const std::vector<ManifestRow>& rows, TextView name);

// Appends manifest bytes, the length field and a tail to an open package.
// Throws EWriteError on a failed write and EFormatError for a manifest over 2 GiB.
void WriteManifestAndTail(platform::File& out, std::string_view manifest_bytes, TailShape shape);

// How members are compressed.
enum class MemberCompressor {
  // libdeflate, each member whole, several members at once (PackOptions::jobs); members larger
  // than kWholeMemberLimit (package/extract.h) go through zlib's streaming compressor at
  // min(level, 9), so that memory stays bounded.
  kLibdeflate,
  // zlib's streaming compressor for every member, one member at a time (level 0 to 9): how
  // packages were made before libdeflate, kept to compare the two.
  kZlib,
};

// The default libdeflate level: the fastest that makes packages no larger than zlib's best
// (level 9) on the benchmark payloads, text and incompressible files alike.
inline constexpr int kDefaultPackLevel = 7;
inline constexpr int kMaxLibdeflateLevel = 12;
inline constexpr int kMaxZlibLevel = 9;

struct PackOptions {
  int cipher = tvcrypt::kRijndael;
  int digest = tvcrypt::kSha256;
  Text password;
  // 0 (stored) to 12 with libdeflate, 0 to 9 with zlib. A member's second byte records the class
  // of level, which decoders ignore: 0xDA from libdeflate's 8 and zlib's 7 on, 0x9C below that.
  int level = kDefaultPackLevel;
  MemberCompressor compressor = MemberCompressor::kLibdeflate;
  // Members compressed at once with libdeflate; 0: one per processor. The package is the same
  // bytes whatever the number.
  int jobs = 0;
  TailShape tail = TailShape::kTail3;
  Text name = u"Package";  // cell 0 of the property header
  // Fixed salt and initialisation vector instead of random ones (reproducible packages).
  tvcrypt::EnvelopeOptions envelope;
  // Called on the writing thread with the uncompressed bytes written so far: after each member,
  // and every few MiB inside a member compressed as a stream. May be empty.
  std::function<void(std::int64_t)> on_progress;
};

// Writes a package member by member. Every member is read on the calling thread; libdeflate
// compresses members of up to kWholeMemberLimit bytes whole on a pool of threads while the next
// ones are read, and they are written in the order they were added. The buffers of the members
// in flight stay under about 32 MiB per job (each holds the file and room for its compressed
// form); a larger member is compressed as a stream on the calling thread, after the members
// before it are written.
//
// Throws platform::Exception subclasses on failure (and std::bad_alloc); after a failure the
// writer can only be destroyed, and the package is left as written so far.
class PackageWriter {
 public:
  PackageWriter(std::unique_ptr<platform::File> out, PackOptions options);
  ~PackageWriter();
  PackageWriter(const PackageWriter&) = delete;
  PackageWriter& operator=(const PackageWriter&) = delete;

  // Reads source to its end and queues it as the next member; its row gets the sizes when the
  // member is written, at the latest in Finish. Throws EFormatError when the row cannot be stored
  // (CheckManifestRow) or a size leaves the signed 32-bit range, for one file or for the sum of
  // all files, and an error of a member added before, which may be written now.
  void AddFile(ManifestRow row, platform::File& source);
  // Writes the members still queued, then encrypts the manifest and appends it with its length
  // field and the tail.
  void Finish();

  // The rows of the members written so far: all of them after Finish.
  const std::vector<ManifestRow>& Rows() const { return rows_; }

 private:
  struct Member;
  struct Compressors;

  void Write(const void* data, std::uint32_t size);
  void WriteNextMember();
  void AddRow(ManifestRow row, std::int64_t compressed, std::int64_t size);
  void StreamMember(ManifestRow row, platform::File& source, const std::uint8_t* prefix,
                    std::uint32_t prefix_size);
  void Progress(std::int64_t within_member);

  std::unique_ptr<platform::File> out_;
  PackOptions options_;
  std::vector<ManifestRow> rows_;
  std::int64_t total_size_ = 0;    // uncompressed, of every member added
  std::int64_t written_size_ = 0;  // uncompressed, of the members written
  // Compressors, queued members and the pool that works on them: the pool goes first, so that
  // no thread touches a member or a compressor that is gone.
  std::unique_ptr<Compressors> compressors_;
  std::deque<std::unique_ptr<Member>> queued_;
  std::int64_t queued_bytes_ = 0;  // what the queued members' buffers take
  std::unique_ptr<platform::JobPool> pool_;
};

}  // namespace package
