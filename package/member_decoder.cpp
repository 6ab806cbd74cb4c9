#include "package/member_decoder.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <span>

#include "package/deflate_check.h"
#include "package/package_format.h"
#include "platform/errors.h"
#include "platform/large_buffer.h"
#include "platform/worker_thread.h"

namespace package {

using platform::EFormatError;
using platform::EReadError;
using platform::EWriteError;

namespace {

// Members are streamed through two buffers of this size, so memory stays fixed whatever the size
// of the files; large enough that reads and writes cost few calls.
constexpr std::uint32_t kChunk = 1024 * 1024;

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

void WriteAll(platform::File& out, const std::uint8_t* data, std::uint32_t size, const Text& path) {
  if (size > 0 && !out.Write(data, size)) throw EWriteError(u"Cannot write " + path);
}

// zlib's streaming inflate of member bytes [start, start + compressed) into out: see CopyMember.
void StreamMember(platform::File& package, std::int64_t start, std::int32_t compressed,
                  std::int32_t size, platform::File& out, const Text& out_path, Buffers& buffers) {
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
               std::int32_t size, platform::File& out, const Text& out_path, const Buffers& buffers,
               WriteBehind* writer) {
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

}  // namespace

struct MemberCopier::Parts {
  Parts(MemberDecoder decoder, bool write_behind, std::function<void()> between_pieces)
      : buffers(std::move(between_pieces)) {
    if (decoder == MemberDecoder::kWholeMember) {
      whole_member = std::make_unique<WholeMemberDecoder>();
      if (write_behind) writer = std::make_unique<WriteBehind>(buffers);
    }
  }

  Buffers buffers;
  std::unique_ptr<WholeMemberDecoder> whole_member;
  // Declared last, so that its thread ends before the buffers it reads go.
  std::unique_ptr<WriteBehind> writer;
};

MemberCopier::MemberCopier(MemberDecoder decoder, bool write_behind,
                           std::function<void()> between_pieces)
    : parts_(std::make_unique<Parts>(decoder, write_behind, std::move(between_pieces))) {}

MemberCopier::~MemberCopier() = default;

void MemberCopier::Copy(platform::File& package, std::int64_t package_size, std::int64_t start,
                        std::int32_t compressed, std::int32_t size, platform::File& out,
                        const Text& out_path) {
  CopyMember(package, package_size, start, compressed, size, out, out_path, parts_->buffers,
             parts_->whole_member.get(), parts_->writer.get());
}

bool MemberCopier::WritePending() const { return parts_->writer && parts_->writer->Pending(); }

void MemberCopier::DecodeAhead(platform::File& package, std::int64_t package_size,
                               std::int64_t start, std::int32_t compressed, std::int32_t size) {
  if (parts_->whole_member) {
    parts_->whole_member->Prepare(package, package_size, start, compressed, size, parts_->buffers);
  }
}

void MemberCopier::FinishWrite(const Text& out_path) {
  if (parts_->writer) parts_->writer->Finish(out_path);
}

void MemberCopier::WaitForWrite() {
  if (parts_->writer) parts_->writer->Wait();
}

}  // namespace package
