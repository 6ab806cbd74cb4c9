// The writing side of the package format: manifest text, rows, members and the tail. Kept
// apart from the reader so that setup.exe, which only reads packages, links no compressor.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "crypt/envelope.h"
#include "package/data_table.h"
#include "package/extract.h"
#include "package/package_format.h"
#include "platform/errors.h"
#include "platform/large_buffer.h"
#include "platform/little_endian.h"
#include "platform/text.h"

namespace package {

using platform::AsciiToText;
using platform::EFormatError;
using platform::EReadError;
using platform::EWriteError;

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
  // Filled into the reader's kind of table, so that the file name cell is escaped as the reader
  // expects and the text is written by the table itself.
  const std::unique_ptr<tvdata::TDataTable> table = EmptyManifestTable();
  const auto add_text = [](tvdata::TRow& row, TextView text) { row.AddItem(0).SetText(text); };
  tvdata::TRow& header = table->PropertyRow();
  header.Clear();
  add_text(header, name);
  header.AddItem(static_cast<std::int32_t>(rows.size()));
  for (const ManifestRow& row : rows) {
    tvdata::TRow& cells = table->AddItem(std::make_unique<tvdata::TRow>());
    add_text(cells, row.folder);
    add_text(cells, row.name);
    cells.AddItem(row.compressed);
    cells.AddItem(row.size);
    if (row.flat) cells.AddItem(-1);
  }
  return table->ToText(true);
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

constexpr std::uint32_t kStreamChunk = 256 * 1024;
constexpr std::int64_t kMaxSize = std::numeric_limits<std::int32_t>::max();
// The buffers of the queued members (each file and room for its compressed form) stay under
// this much per job: what one member of the largest whole size takes. Members are written in
// order, so a member that is done waits for those before it, and its buffers with it.
constexpr std::int64_t kQueueBytesPerJob = 2 * std::int64_t{kWholeMemberLimit} + 1024 * 1024;
// Small files cost little each: a longer queue keeps the threads busy while one member takes
// long, up to this many members per job.
constexpr size_t kQueuedMembersPerJob = 16;
// A member compressed as a stream reports progress this often.
constexpr std::int64_t kStreamProgressStep = 4 * 1024 * 1024;

// Owns zlib's deflate state for one member.
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

struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// Room for a member's zlib stream whatever its bytes (stored blocks for data that does not
// compress).
std::size_t StreamBound(std::size_t size) { return libdeflate_zlib_compress_bound(nullptr, size); }

}  // namespace

// One libdeflate compressor per thread of the pool, made on first use by that thread and touched
// by no other.
struct PackageWriter::Compressors {
  Compressors(int level, int workers) : level(level), per_worker(static_cast<size_t>(workers)) {}

  libdeflate_compressor& For(int worker) {
    auto& compressor = per_worker.at(static_cast<size_t>(worker));
    if (!compressor) {
      compressor.reset(libdeflate_alloc_compressor(level));
      if (!compressor) throw std::bad_alloc();
    }
    return *compressor;
  }

  int level;
  std::vector<std::unique_ptr<libdeflate_compressor, CompressorFree>> per_worker;
};

// A member read whole and queued: the pool's job compresses input into output.
struct PackageWriter::Member {
  ManifestRow row;
  platform::LargeBuffer input;
  std::uint32_t size = 0;
  platform::LargeBuffer output;
  std::uint32_t compressed = 0;
  std::int64_t buffer_bytes = 0;  // counted in queued_bytes_ until the member is written
  std::shared_ptr<platform::JobPool::Ticket> ticket;
};

PackageWriter::PackageWriter(std::unique_ptr<platform::File> out, PackOptions options)
    : out_(std::move(out)), options_(std::move(options)) {
  const int max_level =
      options_.compressor == MemberCompressor::kZlib ? kMaxZlibLevel : kMaxLibdeflateLevel;
  if (options_.level < 0 || options_.level > max_level) {
    throw EFormatError(u"Bad compression level " + AsciiToText(std::to_string(options_.level)));
  }
  if (options_.jobs <= 0) options_.jobs = platform::threads::ProcessorCount();
}

PackageWriter::~PackageWriter() = default;

void PackageWriter::Write(const void* data, std::uint32_t size) {
  if (size > 0 && !out_->Write(data, size)) throw EWriteError(u"Cannot write the package");
}

void PackageWriter::Progress(std::int64_t within_member) {
  if (options_.on_progress) options_.on_progress(written_size_ + within_member);
}

void PackageWriter::AddRow(ManifestRow row, std::int64_t compressed, std::int64_t size) {
  if (compressed > kMaxSize) throw EFormatError(u"Member too large for a package: " + row.name);
  row.compressed = static_cast<std::int32_t>(compressed);
  row.size = static_cast<std::int32_t>(size);
  rows_.push_back(std::move(row));
  written_size_ += size;
  Progress(0);
}

void PackageWriter::WriteNextMember() {
  const std::unique_ptr<Member> member = std::move(queued_.front());
  queued_.pop_front();
  queued_bytes_ -= member->buffer_bytes;
  member->ticket->Wait();
  Write(member->output.data(), member->compressed);
  AddRow(std::move(member->row), member->compressed, member->size);
}

void PackageWriter::AddFile(ManifestRow row, platform::File& source) {
  row.compressed = 0;
  row.size = 0;
  if (const std::string why = CheckManifestRow(row); !why.empty()) {
    throw EFormatError(u"Cannot store " + row.folder + row.name + u": " + AsciiToText(why));
  }
  const std::int64_t announced = source.Size();
  if (options_.compressor == MemberCompressor::kZlib || announced > kWholeMemberLimit) {
    StreamMember(std::move(row), source, nullptr, 0);
    return;
  }

  // Read whole, with one byte of room to tell a file that has grown since its size was taken.
  const std::int64_t capacity = announced < 0 ? kWholeMemberLimit : announced;
  const std::int64_t buffer_bytes = capacity + 1 + static_cast<std::int64_t>(StreamBound(capacity));
  while (!queued_.empty() &&
         (queued_bytes_ + buffer_bytes > options_.jobs * kQueueBytesPerJob ||
          queued_.size() >= static_cast<size_t>(options_.jobs) * kQueuedMembersPerJob)) {
    WriteNextMember();
  }
  auto member = std::make_unique<Member>();
  member->input = platform::LargeBuffer(static_cast<std::size_t>(capacity + 1));
  std::uint32_t size = 0;
  while (size <= capacity) {
    std::uint32_t got = 0;
    if (!source.Read(member->input.data() + size, static_cast<std::uint32_t>(capacity + 1 - size),
                     &got)) {
      throw EReadError(u"Cannot read " + row.folder + row.name);
    }
    if (got == 0) break;
    size += got;
  }
  if (size > capacity) {
    StreamMember(std::move(row), source, member->input.data(), size);
    return;
  }
  total_size_ += size;
  if (total_size_ > kMaxSize) throw EFormatError(u"Package contents exceed 2 GiB");

  if (!pool_) {
    compressors_ = std::make_unique<Compressors>(options_.level, options_.jobs);
    pool_ = std::make_unique<platform::JobPool>(options_.jobs);
  }
  member->row = std::move(row);
  member->size = size;
  member->buffer_bytes = capacity + 1 + static_cast<std::int64_t>(StreamBound(size));
  Member* const m = member.get();
  Compressors* const compressors = compressors_.get();
  m->ticket = pool_->Submit([m, compressors](int worker) {
    libdeflate_compressor& compressor = compressors->For(worker);
    const std::size_t bound = StreamBound(m->size);
    m->output = platform::LargeBuffer(bound);
    const std::size_t compressed =
        libdeflate_zlib_compress(&compressor, m->input.data(), m->size, m->output.data(), bound);
    if (compressed == 0) throw EFormatError(u"Compression failed: " + m->row.name);
    m->compressed = static_cast<std::uint32_t>(compressed);
    m->input = platform::LargeBuffer();
  });
  queued_bytes_ += member->buffer_bytes;
  queued_.push_back(std::move(member));
}

void PackageWriter::StreamMember(ManifestRow row, platform::File& source,
                                 const std::uint8_t* prefix, std::uint32_t prefix_size) {
  while (!queued_.empty()) WriteNextMember();
  std::vector<std::uint8_t> in(kStreamChunk);
  std::vector<std::uint8_t> out(kStreamChunk);
  Deflater deflater(std::min(options_.level, kMaxZlibLevel));
  z_stream& zs = deflater.stream();
  std::int64_t size = 0;
  std::int64_t compressed = 0;
  std::int64_t reported = 0;
  bool finished = false;
  while (!finished) {
    const std::uint8_t* data = prefix;
    std::uint32_t got = prefix_size;
    if (prefix != nullptr) {
      prefix = nullptr;
    } else {
      if (!source.Read(in.data(), kStreamChunk, &got)) {
        throw EReadError(u"Cannot read " + row.folder + row.name);
      }
      data = in.data();
    }
    size += got;
    if (size > kMaxSize) throw EFormatError(u"File too large for a package: " + row.name);
    if (total_size_ + size > kMaxSize) throw EFormatError(u"Package contents exceed 2 GiB");
    zs.next_in = const_cast<Bytef*>(data);
    zs.avail_in = got;
    const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    do {
      zs.next_out = out.data();
      zs.avail_out = kStreamChunk;
      const int rc = deflate(&zs, flush);
      if (rc == Z_STREAM_ERROR) throw EFormatError(u"Compression failed");
      const std::uint32_t produced = kStreamChunk - zs.avail_out;
      Write(out.data(), produced);
      compressed += produced;
      finished = rc == Z_STREAM_END;
    } while (zs.avail_out == 0 || (flush == Z_FINISH && !finished));
    if (size - reported >= kStreamProgressStep) {
      reported = size;
      Progress(size);
    }
  }
  total_size_ += size;
  AddRow(std::move(row), compressed, size);
}

void PackageWriter::Finish() {
  while (!queued_.empty()) WriteNextMember();
  pool_.reset();
  const Text plain = FormatManifestText(rows_, options_.name);
  const Text envelope = tvcrypt::EncryptEnvelope(plain, options_.cipher, options_.digest,
                                                 options_.password, options_.envelope);
  WriteManifestAndTail(*out_, platform::CurrentOs().WideToAnsi(envelope), options_.tail);
  out_.reset();
}

}  // namespace package
