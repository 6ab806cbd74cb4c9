#include "package/extract.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "package/data_table.h"
#include "package/deflate_check.h"
#include "package/package_format.h"
#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/fs_util.h"
#include "platform/large_buffer.h"
#include "platform/text.h"
#include "platform/worker_thread.h"

namespace package {

using platform::EFormatError;
using platform::EReadError;
using platform::EWriteError;

namespace {

// Members are streamed through two buffers of this size, so memory stays fixed whatever the size
// of the files; large enough that reads and writes cost few calls.
constexpr std::uint32_t kChunk = 1024 * 1024;

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
    if (c == u'.') ++dots;
    else if (c != u' ') return false;
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

// Owns zlib's inflate state for one member.
class Inflater {
 public:
  Inflater() {
    if (inflateInit(&stream_) != Z_OK) throw EFormatError(u"Cannot start the decompressor");
  }
  ~Inflater() { inflateEnd(&stream_); }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
};

// The input and output buffers of the streamed members, grown to what the members so far needed
// (at most kChunk each) and left uninitialised: a small package costs no megabytes. Also the
// caller's hook between pieces of work.
class Buffers {
 public:
  explicit Buffers(std::function<void()> between_pieces)
      : between_pieces_(std::move(between_pieces)) {}
  std::uint8_t* In(std::int64_t need) { return Grow(in_, in_size_, need); }
  std::uint8_t* Out(std::int64_t need) { return Grow(out_, out_size_, need); }
  void BetweenPieces() const {
    if (between_pieces_) between_pieces_();
  }

 private:
  static constexpr std::uint32_t kLeast = 64 * 1024;
  static std::uint8_t* Grow(std::unique_ptr<std::uint8_t[]>& buffer, std::uint32_t& size,
                            std::int64_t need) {
    if (need > size) {
      buffer.reset();  // never hold the old and the new one at once
      size = static_cast<std::uint32_t>(std::clamp<std::int64_t>(need, kLeast, kChunk));
      buffer = std::make_unique_for_overwrite<std::uint8_t[]>(size);
    }
    return buffer.get();
  }

  std::function<void()> between_pieces_;
  std::unique_ptr<std::uint8_t[]> in_;
  std::unique_ptr<std::uint8_t[]> out_;
  std::uint32_t in_size_ = 0;
  std::uint32_t out_size_ = 0;
};

void WriteAll(platform::File& out, const std::uint8_t* data, std::uint32_t size,
              const Text& path) {
  if (size > 0 && !out.Write(data, size)) throw EWriteError(u"Cannot write " + path);
}

// zlib's streaming inflate of member bytes [start, start + compressed) into out: see CopyMember.
void StreamMember(platform::File& package, std::int64_t start, std::int32_t compressed,
                  std::int32_t size, platform::File& out, const Text& out_path,
                  Buffers& buffers) {
  std::int64_t in_left = compressed;
  std::int64_t out_left = size;
  std::uint8_t* const in_buffer = buffers.In(std::min<std::int64_t>(in_left, kChunk));
  std::uint8_t* const out_buffer = buffers.Out(std::min<std::int64_t>(out_left, kChunk));
  if (out_left > 0 && in_left > 0) {
    SeekTo(package, start);
    Inflater inflater;
    z_stream& zs = inflater.stream();
    while (out_left > 0) {
      if (zs.avail_in == 0) {
        if (in_left == 0) break;  // the member's bytes are used up
        const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(in_left, kChunk));
        ReadExact(package, in_buffer, n);
        in_left -= n;
        zs.next_in = in_buffer;
        zs.avail_in = n;
      }
      const auto room = static_cast<std::uint32_t>(std::min<std::int64_t>(out_left, kChunk));
      zs.next_out = out_buffer;
      zs.avail_out = room;
      const int rc = inflate(&zs, Z_NO_FLUSH);
      // Z_BUF_ERROR only means no progress without more input; the loop supplies it or stops.
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) {
        throw EFormatError(u"Corrupt package member for " + out_path);
      }
      const std::uint32_t produced = room - zs.avail_out;
      WriteAll(out, out_buffer, produced, out_path);
      out_left -= produced;
      buffers.BetweenPieces();
      if (rc == Z_STREAM_END) break;
    }
  }
  if (out_left > 0) {
    const auto zeros = static_cast<size_t>(std::min<std::int64_t>(out_left, kChunk));
    std::memset(out_buffer, 0, zeros);
    while (out_left > 0) {
      const auto n = static_cast<std::uint32_t>(std::min<std::int64_t>(out_left, kChunk));
      WriteAll(out, out_buffer, n, out_path);
      out_left -= n;
      buffers.BetweenPieces();
    }
  }
}

// Writes a member's decoded bytes on a second thread, so that the next member is read and
// decoded while the system copies this one into its file. Only the writing moves: the caller
// waits for it (Finish) before the next row does anything that can be seen, so files, errors and
// progress come in the same order as when the bytes are written in place.
class WriteBehind {
 public:
  explicit WriteBehind(const Buffers& buffers) : buffers_(buffers) {}
  ~WriteBehind() { worker_.Finish(); }
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Small members are written in place: handing them over would cost more than it saves.
  bool Takes(std::int32_t size) const { return size >= kLeast; }

  // Starts writing size bytes from data to out in pieces of kChunk. out and data must stay
  // until Finish (or Wait) returns.
  void Start(platform::File& out, const std::uint8_t* data, std::int32_t size) {
    pieces_ = (size + kChunk - 1) / kChunk;
    ok_ = true;
    pending_ = true;
    worker_.Start([this, &out, data, size](const platform::WorkerThread::Step& step) {
      for (std::int32_t at = 0; at < size; at += static_cast<std::int32_t>(kChunk)) {
        // After a failure the remaining pieces are only counted off.
        if (ok_) ok_ = out.Write(data + at, std::min<std::uint32_t>(kChunk, size - at));
        step();
      }
    });
  }

  bool Pending() const { return pending_; }

  // Waits for the write, giving the caller control after each piece, and throws EWriteError
  // when it failed.
  void Finish(const Text& out_path) {
    if (!pending_) return;
    for (std::uint32_t i = 0; i < pieces_; ++i) {
      worker_.WaitStep();
      buffers_.BetweenPieces();
    }
    Wait();
    if (!ok_) throw EWriteError(u"Cannot write " + out_path);
  }

  // Waits for the write without looking at its outcome (an error is already on its way).
  void Wait() {
    worker_.Finish();
    pending_ = false;
  }

 private:
  static constexpr std::int32_t kLeast = 256 * 1024;
  const Buffers& buffers_;
  platform::WorkerThread worker_;
  std::uint32_t pieces_ = 0;
  bool ok_ = true;  // written by the worker, read after Finish
  bool pending_ = false;
};

struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// Decodes members whole with libdeflate, which is much faster than zlib's streaming inflate but
// gives a clean answer only for a stream that ends, with a good checksum, within the room given.
// Its buffers grow to the largest member seen, up to kWholeMemberLimit each, and are reused.
class WholeMemberDecoder {
 public:
  // Writes the member to out and returns true when Decode answers for it; false, having written
  // nothing, when the member must go through zlib instead. With a writer, the bytes are handed
  // to it and may still be on their way to out when this returns.
  bool TryCopy(platform::File& package, std::int64_t start, std::int32_t compressed,
               std::int32_t size, platform::File& out, const Text& out_path,
               const Buffers& buffers, WriteBehind* writer) {
    const Member member{start, compressed, size};
    if (!(prepared_ && *prepared_ == member)) {
      prepared_.reset();
      if (!Decode(package, member, buffers)) return false;
    }
    prepared_.reset();
    if (writer && writer->Takes(size)) {
      writer->Start(out, out_[current_].data(), size);
      current_ ^= 1;  // the next member decodes into the other buffer meanwhile
      return true;
    }
    const std::uint8_t* bytes = out_[current_].data();
    for (std::int32_t at = 0; at < size; at += static_cast<std::int32_t>(kChunk)) {
      WriteAll(out, bytes + at, std::min<std::uint32_t>(kChunk, size - at), out_path);
      buffers.BetweenPieces();
    }
    return true;
  }

  // Decodes the member that probably comes next while the writer writes the last one. Nothing
  // of it is visible: a failure of any kind only means that TryCopy decodes it again when its
  // row is reached (and raises what it raises then).
  void Prepare(platform::File& package, std::int64_t package_size, std::int64_t start,
               std::int32_t compressed, std::int32_t size, const Buffers& buffers) {
    prepared_.reset();
    if (size <= 0 || compressed <= 0 || start + compressed > package_size) return;
    const Member member{start, compressed, size};
    try {
      if (Decode(package, member, buffers)) prepared_ = member;
    } catch (const platform::Exception&) {
    }
  }

 private:
  struct Member {
    std::int64_t start;
    std::int32_t compressed;
    std::int32_t size;
    bool operator==(const Member&) const = default;
  };

  // Decodes the member into out_[current_] and returns true when libdeflate decodes it into at
  // most `size` bytes: the stream ended, its Adler-32 matched and it keeps to zlib's rules
  // (KeepsToZlibRules), so zlib's streaming inflate would write the same bytes (bytes after the
  // stream are ignored by both); the rest of the `size` bytes are zeros. False when the member
  // must go through zlib instead: too large for the buffers, a stream that runs past `size`
  // bytes (zlib writes the first `size` bytes and stops without an error), a stream cut short
  // (zlib writes what it decoded, then zeros) or bad data or checksum (zlib decides how much of
  // it counts before the error, as it does for a construct that only libdeflate accepts).
  // Throws EReadError when the package cannot be read.
  bool Decode(platform::File& package, const Member& member, const Buffers& buffers) {
    const std::int32_t compressed = member.compressed;
    const std::int32_t size = member.size;
    if (compressed > kWholeMemberLimit || size > kWholeMemberLimit) return false;
    try {
      if (!decompressor_) {
        decompressor_.reset(libdeflate_alloc_decompressor());
        if (!decompressor_) return false;
      }
      Reserve(in_, static_cast<std::uint32_t>(compressed));
      Reserve(out_[current_], static_cast<std::uint32_t>(size));
    } catch (const std::bad_alloc&) {
      return false;  // streaming needs far less memory
    }
    SeekTo(package, member.start);
    // Read in pieces, so that the caller gets control between them.
    for (std::int32_t at = 0; at < compressed; at += static_cast<std::int32_t>(kChunk)) {
      ReadExact(package, in_.data() + at, std::min<std::uint32_t>(kChunk, compressed - at));
      buffers.BetweenPieces();
    }
    std::uint8_t* const out = out_[current_].data();
    size_t produced = 0;
    const libdeflate_result rc = DecodeChecked(compressed, out, size, &produced);
    if (rc != LIBDEFLATE_SUCCESS) return false;
    // A stream that ends early is padded with zeros, as the streaming path does.
    std::memset(out + produced, 0, size - produced);
    return true;
  }

  // Members from this compressed size on have their stream checked on a second thread while
  // libdeflate decodes them: the two take about as long, and the thread costs far less.
  static constexpr std::int32_t kCheckBesideFrom = 256 * 1024;

  // libdeflate's decode of the member in in_ into out, reported as LIBDEFLATE_BAD_DATA when the
  // stream does not keep to zlib's rules: libdeflate accepts a few constructs (symbols and code
  // shapes outside the format) that zlib's inflate rejects, and such a member fails with zlib,
  // so zlib must answer for it.
  libdeflate_result DecodeChecked(std::int32_t compressed, std::uint8_t* out, std::int32_t size,
                                  size_t* produced) {
    const std::span<const std::uint8_t> stream(in_.data(), static_cast<size_t>(compressed));
    bool keeps = false;
    const auto check = [&keeps, stream] { keeps = KeepsToZlibRules(stream); };
    libdeflate_result rc;
    if (compressed >= kCheckBesideFrom) {
      if (!checker_) checker_ = std::make_unique<platform::WorkerThread>();
      checker_->Start([&check](const platform::WorkerThread::Step&) { check(); });
      rc = libdeflate_zlib_decompress_ex(decompressor_.get(), in_.data(), compressed, out, size,
                                         nullptr, produced);
      checker_->Finish();
    } else {
      rc = libdeflate_zlib_decompress_ex(decompressor_.get(), in_.data(), compressed, out, size,
                                         nullptr, produced);
      if (rc == LIBDEFLATE_SUCCESS) check();
    }
    return rc == LIBDEFLATE_SUCCESS && !keeps ? LIBDEFLATE_BAD_DATA : rc;
  }

  static void Reserve(platform::LargeBuffer& buffer, std::uint32_t need) {
    if (need <= buffer.size()) return;
    buffer = platform::LargeBuffer();  // never hold the old and the new buffer at once
    buffer = platform::LargeBuffer(need);
  }

  std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor_;
  platform::LargeBuffer in_;
  // Two output buffers: the writer writes from one while the next member decodes into the
  // other. The second is made only when a writer takes a member.
  platform::LargeBuffer out_[2];
  int current_ = 0;
  std::optional<Member> prepared_;  // decoded ahead into out_[current_]
  // Checks the streams of large members; made for the first one.
  std::unique_ptr<platform::WorkerThread> checker_;
};

// Inflates member bytes [start, start + compressed) of the package into out, writing exactly
// `size` bytes: the inflated data, cut at `size`, then zero bytes if the stream or its input ends
// sooner. Throws EReadError when the package does not hold the whole member (before anything is
// written) and EFormatError when zlib rejects the data. Leaves the package position unspecified.
// whole_member (may be null) is tried first; it writes the same bytes or leaves the member to
// zlib. With a writer (may be null), a whole member's bytes may still be on their way to out on
// return: see WriteBehind.
void CopyMember(platform::File& package, std::int64_t package_size, std::int64_t start,
                std::int32_t compressed, std::int32_t size, platform::File& out,
                const Text& out_path, Buffers& buffers, WholeMemberDecoder* whole_member,
                WriteBehind* writer) {
  if (start + compressed > package_size) {
    throw EReadError(u"Package ends inside the member of " + out_path);
  }
  // Nothing to decode (no room, or no input): the streaming path writes the zeros.
  if (whole_member && size > 0 && compressed > 0 &&
      whole_member->TryCopy(package, start, compressed, size, out, out_path, buffers, writer)) {
    return;
  }
  StreamMember(package, start, compressed, size, out, out_path, buffers);
}

// Waits, on every way out of a row's block, for a write that the row handed to the writer.
struct WaitForWriter {
  WriteBehind* writer;
  ~WaitForWriter() {
    if (writer) writer->Wait();
  }
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
  const TextView token = dest.find(u"System") != TextView::npos ? TextView(u"$System$")
                                                                 : TextView(u"$Third$");
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

  Buffers buffers(options.between_pieces);
  std::unique_ptr<WholeMemberDecoder> whole_member;
  std::unique_ptr<WriteBehind> writer;
  if (options.decoder == MemberDecoder::kWholeMember) {
    whole_member = std::make_unique<WholeMemberDecoder>();
    if (options.write_behind) writer = std::make_unique<WriteBehind>(buffers);
  }
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
      throw EFormatError(RowText(system ? u"Path leaves the system folder"
                                        : u"Path leaves the target folder",
                                 i, dest + name_cell));
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
      const WaitForWriter wait_for_writer{writer.get()};
      try {
        CopyMember(package, location.file_size, position, compressed, size, *out, path,
                   buffers, whole_member.get(), writer.get());
      } catch (const EFormatError&) {
        // A member zlib rejects leaves its file empty, as if nothing had been written.
        out.reset();
        os.CreateFileForWrite(path);
        throw;
      }
      position += compressed;
      done += size;
      if (writer && writer->Pending()) {
        if (const auto next = MemberSizes(table, i + 1)) {
          whole_member->Prepare(package, location.file_size, position, next->first,
                                next->second, buffers);
        }
        writer->Finish(path);
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
