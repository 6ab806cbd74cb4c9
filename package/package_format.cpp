#include "package/package_format.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "crypt/envelope.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/text.h"

namespace package {

using platform::AsciiToText;
using platform::EFormatError;
using platform::EReadError;
using platform::EWriteError;

namespace {

constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::uint8_t kShortTagMark = 0x14;
constexpr int kShortTag = 2;
constexpr int kLongTag = 9;
constexpr int kLongSeparator = 20;

std::uint8_t ReadByteAt(platform::File& file, std::int64_t offset) {
  if (offset < 0) throw EReadError(u"Package too short: no tail");
  SeekTo(file, offset);
  std::uint8_t byte = 0;
  ReadExact(file, &byte, 1);
  return byte;
}

}  // namespace

void ReadExact(platform::File& file, void* buffer, std::uint32_t size) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (size > 0) {
    std::uint32_t got = 0;
    if (!file.Read(out, size, &got)) throw EReadError(u"Package read failed");
    if (got == 0) throw EReadError(u"Package ends before the bytes asked for");
    out += got;
    size -= got;
  }
}

void SeekTo(platform::File& file, std::int64_t offset) {
  if (offset < 0 || file.Seek(offset, platform::SeekOrigin::kBegin) != offset) {
    throw EReadError(u"Package seek failed");
  }
}

int TailLength(TailShape shape) {
  switch (shape) {
    case TailShape::kTail3: return 1 + kShortTag;
    case TailShape::kTail22: return kLongSeparator + kShortTag;
    case TailShape::kTail10: return 1 + kLongTag;
    case TailShape::kTail29: return kLongSeparator + kLongTag;
  }
  return 0;
}

std::vector<std::uint8_t> MakeTail(TailShape shape) {
  const bool long_separator = shape == TailShape::kTail22 || shape == TailShape::kTail29;
  const bool long_tag = shape == TailShape::kTail10 || shape == TailShape::kTail29;
  // A long separator is any 20 bytes whose last one is not a line feed; a long tag any 9 bytes
  // whose second-to-last one is not 0x14.
  std::string tail = long_separator ? std::string(kLongSeparator, '=') : std::string(1, '\n');
  tail += long_tag ? std::string("STPKG-v1\x02", kLongTag) : std::string("\x14\x02", kShortTag);
  return std::vector<std::uint8_t>(tail.begin(), tail.end());
}

ManifestLocation LocateManifest(platform::File& file) {
  ManifestLocation loc;
  loc.file_size = file.Size();
  if (loc.file_size < 0) throw EReadError(u"Package size unknown");
  const std::int64_t e = loc.file_size;

  const int tag = ReadByteAt(file, e - 2) == kShortTagMark ? kShortTag : kLongTag;
  const bool one_byte_separator = ReadByteAt(file, e - tag - 1) == kLineFeed;
  loc.tail_length = tag + (one_byte_separator ? 1 : kLongSeparator);

  const std::int64_t length_at = e - loc.tail_length - 4;
  if (length_at < 0) throw EReadError(u"Package too short for its length field");
  SeekTo(file, length_at);
  std::uint8_t raw[4];
  ReadExact(file, raw, sizeof raw);
  loc.length = static_cast<std::int32_t>(platform::ReadLe32(raw));

  if (loc.length >= e) {
    loc.empty = true;
    return loc;
  }
  // A negative length would point the manifest past its own length field.
  if (loc.length < 0) throw EFormatError(u"Package manifest length is negative");
  loc.offset = length_at - loc.length;
  if (loc.offset < 0) throw EReadError(u"Package manifest starts before the file");
  return loc;
}

std::string ReadManifestBytes(platform::File& file, const ManifestLocation& location) {
  std::string bytes(static_cast<size_t>(location.length), '\0');
  SeekTo(file, location.offset);
  ReadExact(file, bytes.data(), static_cast<std::uint32_t>(location.length));
  return bytes;
}

Text ReadManifestText(platform::File& file, const ManifestLocation& location,
                      const Text& password) {
  return tvcrypt::DecryptEnvelope(
      platform::CurrentOs().AnsiToWide(ReadManifestBytes(file, location)), password);
}

std::unique_ptr<tvdata::TDataTable> EmptyManifestTable() {
  auto table = std::make_unique<tvdata::TDataTable>(Text(), tvdata::TColumnSet{kColName});
  return table;
}

std::unique_ptr<tvdata::TDataTable> ManifestTable(const Text& plain) {
  auto table = EmptyManifestTable();
  table->Init(plain);
  return table;
}

}  // namespace package
