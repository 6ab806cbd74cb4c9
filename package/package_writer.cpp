// The writing side of the package format: manifest text, rows, members and the tail. Kept
// apart from the reader so that setup.exe, which only reads packages, links no compressor.
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>

#include "crypt/envelope.h"
#include "package/package_format.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/text.h"

namespace package {

using platform::AsciiToText;
using platform::EFormatError;
using platform::EReadError;
using platform::EWriteError;

Text EscapeConvertedCell(TextView text) {
  Text out(text);
  for (char16_t& c : out) {
    if (c == u',') c = 0x1A;
    else if (c == u'|') c = 0x1B;
  }
  return out;
}

std::string CheckManifestRow(const ManifestRow& row) {
  for (char16_t c : row.folder) {
    if (c == u',' || c == u'|') return "a folder name holds ',' or '|'";
    if (c == 0) return "a folder name holds a NUL character";
  }
  if (row.name.empty()) return "empty file name";
  for (char16_t c : row.name) {
    if (c < 0x20) return "a file name holds a control character";
  }
  if (row.compressed < 0 || row.size < 0) return "negative size";
  return {};
}

Text FormatManifestText(const std::vector<ManifestRow>& rows, TextView name) {
  Text text(1, u'#');
  text.append(name);
  text += u',';
  text += AsciiToText(std::to_string(rows.size()));
  text += u'#';
  for (size_t i = 0; i < rows.size(); ++i) {
    const ManifestRow& row = rows[i];
    if (i > 0) text += u'|';
    text += row.folder;
    text += u',';
    text += EscapeConvertedCell(row.name);
    text += u',';
    text += AsciiToText(std::to_string(row.compressed));
    text += u',';
    text += AsciiToText(std::to_string(row.size));
    if (row.flat) text += u",-1";
  }
  return text;
}

void WriteManifestAndTail(platform::File& out, std::string_view manifest_bytes, TailShape shape) {
  if (manifest_bytes.size() > static_cast<size_t>(std::numeric_limits<std::int32_t>::max())) {
    throw EFormatError(u"Manifest too large");
  }
  const auto length = static_cast<std::uint32_t>(manifest_bytes.size());
  std::vector<std::uint8_t> trailer(manifest_bytes.begin(), manifest_bytes.end());
  platform::AppendLe32(trailer, length);
  const std::vector<std::uint8_t> tail = MakeTail(shape);
  trailer.insert(trailer.end(), tail.begin(), tail.end());
  if (!out.Write(trailer.data(), static_cast<std::uint32_t>(trailer.size()))) {
    throw EWriteError(u"Cannot write the package manifest");
  }
}

namespace {

constexpr std::uint32_t kWriterChunk = 256 * 1024;
constexpr std::int64_t kMaxSize = std::numeric_limits<std::int32_t>::max();

class Deflater {
 public:
  explicit Deflater(int level) {
    if (deflateInit(&stream_, level) != Z_OK) throw EFormatError(u"Bad compression level");
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
  z_stream& stream() { return stream_; }

 private:
  z_stream stream_{};
};

}  // namespace

PackageWriter::PackageWriter(std::unique_ptr<platform::File> out, PackOptions options)
    : out_(std::move(out)), options_(std::move(options)) {}

PackageWriter::~PackageWriter() = default;

void PackageWriter::Write(const void* data, std::uint32_t size) {
  if (size > 0 && !out_->Write(data, size)) throw EWriteError(u"Cannot write the package");
}

void PackageWriter::AddFile(ManifestRow row, platform::File& source) {
  row.compressed = 0;
  row.size = 0;
  if (const std::string why = CheckManifestRow(row); !why.empty()) {
    throw EFormatError(u"Cannot store " + row.folder + row.name + u": " + AsciiToText(why));
  }
  in_.resize(kWriterChunk);
  out_buffer_.resize(kWriterChunk);
  Deflater deflater(options_.level);
  z_stream& zs = deflater.stream();
  std::int64_t size = 0;
  std::int64_t compressed = 0;
  bool finished = false;
  while (!finished) {
    std::uint32_t got = 0;
    if (!source.Read(in_.data(), kWriterChunk, &got)) {
      throw EReadError(u"Cannot read " + row.folder + row.name);
    }
    size += got;
    if (size > kMaxSize) throw EFormatError(u"File too large for a package: " + row.name);
    zs.next_in = in_.data();
    zs.avail_in = got;
    const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      zs.next_out = out_buffer_.data();
      zs.avail_out = kWriterChunk;
      const int rc = deflate(&zs, flush);
      if (rc == Z_STREAM_ERROR) throw EFormatError(u"Compression failed");
      const std::uint32_t produced = kWriterChunk - zs.avail_out;
      Write(out_buffer_.data(), produced);
      compressed += produced;
      finished = rc == Z_STREAM_END;
    } while (zs.avail_out == 0 || (flush == Z_FINISH && !finished));
  }
  if (compressed > kMaxSize) throw EFormatError(u"Member too large for a package: " + row.name);
  total_size_ += size;
  if (total_size_ > kMaxSize) throw EFormatError(u"Package contents exceed 2 GiB");
  row.compressed = static_cast<std::int32_t>(compressed);
  row.size = static_cast<std::int32_t>(size);
  rows_.push_back(std::move(row));
}

void PackageWriter::Finish() {
  const Text plain = FormatManifestText(rows_, options_.name);
  const Text envelope =
      tvcrypt::EncryptEnvelope(plain, options_.cipher, options_.digest, options_.password,
                               options_.envelope);
  WriteManifestAndTail(*out_, platform::CurrentOs().WideToAnsi(envelope), options_.tail);
  out_.reset();
}

}  // namespace package
