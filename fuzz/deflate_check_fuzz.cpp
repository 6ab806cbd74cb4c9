// Fuzz target: the stream check of the whole-member path against both decoders.
//
// The first input byte picks the mode:
// - even: the rest is a raw deflate body as it is;
// - odd: the rest are choices from which the target writes a body of one to three blocks
//   (stored, fixed, dynamic): header fields up to their widths' limits, codes complete, one
//   codeword longer or shorter, or of one codeword, code-length repeats (one past the end at
//   times), and symbols of the codes, unassigned codewords and symbols outside the format among
//   them. Most such bodies decode, which random bytes seldom do.
// The target wraps the body in a zlib stream whose checksum is that of what libdeflate decodes the
// body to (so libdeflate accepts the stream whenever it can decode the body), then requires: when
// libdeflate accepts the stream and the check passes it, zlib's inflate accepts it too and writes
// the same bytes. The stream sits in a buffer of its own size, so that the address sanitizer sees
// any read past its end.
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "package/deflate_check.h"
#include "tests/package/deflate_craft.h"

namespace {

constexpr size_t kRoom = 1 << 20;

void Require(bool ok) {
  if (!ok) __builtin_trap();
}

libdeflate_decompressor* Decompressor() {
  static libdeflate_decompressor* const d = libdeflate_alloc_decompressor();
  Require(d != nullptr);
  return d;
}

// zlib's inflate of the whole stream into at most kRoom bytes; false when zlib refuses it.
bool ZlibInflate(const std::vector<std::uint8_t>& stream, std::vector<std::uint8_t>& out,
                 size_t* produced) {
  z_stream zs{};
  Require(inflateInit(&zs) == Z_OK);
  zs.next_in = const_cast<Bytef*>(stream.data());
  zs.avail_in = static_cast<uInt>(stream.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const bool ok = inflate(&zs, Z_FINISH) == Z_STREAM_END;
  *produced = out.size() - zs.avail_out;
  inflateEnd(&zs);
  return ok;
}

// The choices of the odd mode, read from the input; zeros once it runs out.
class Choices {
 public:
  Choices(const std::uint8_t* data, size_t size) : data_(data), size_(size) {}
  unsigned Byte() { return at_ < size_ ? data_[at_++] : 0; }
  // A number below n (n > 0).
  unsigned Below(unsigned n) { return ((Byte() << 8) | Byte()) % n; }
  bool Chance(unsigned in) { return Below(in) == 0; }

 private:
  const std::uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

constexpr int kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                  3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 0, 0};

// Codeword lengths for `count` symbols: a complete code over some of them (`must` among them
// when not negative), sometimes with one length off or a single codeword.
std::vector<int> ChooseLengths(Choices& c, int count, int must) {
  std::vector<int> used;
  std::vector<bool> taken(static_cast<size_t>(count), false);
  const auto take = [&](int symbol) {
    if (!taken[static_cast<size_t>(symbol)]) used.push_back(symbol);
    taken[static_cast<size_t>(symbol)] = true;
  };
  if (must >= 0) take(must);
  const unsigned wanted = 1 + c.Below(static_cast<unsigned>(count));
  for (unsigned i = 0; i < wanted; ++i)
    take(static_cast<int>(c.Below(static_cast<unsigned>(count))));
  std::vector<int> lengths(static_cast<size_t>(count), 0);
  if (used.size() == 1) {
    lengths[static_cast<size_t>(used[0])] = c.Chance(8) ? 0 : 1;
    return lengths;
  }
  const std::vector<int> complete = pkgtest::CompleteLengths(static_cast<int>(used.size()));
  const size_t turn = c.Byte() % used.size();
  for (size_t i = 0; i < used.size(); ++i) {
    lengths[static_cast<size_t>(used[i])] = complete[(i + turn) % used.size()];
  }
  const unsigned flaw = c.Below(16);
  int& one = lengths[static_cast<size_t>(used[c.Byte() % used.size()])];
  if (flaw == 0 && one < 15) ++one;  // incomplete
  if (flaw == 1 && one > 1) --one;   // over-subscribed
  return lengths;
}

// The code-length symbols for the lengths, with runs written as repeats at times and, rarely,
// the last one replaced by a repeat that runs past the end.
std::vector<std::pair<int, std::uint32_t>> ChooseSequence(Choices& c,
                                                          const std::vector<int>& lengths) {
  std::vector<std::pair<int, std::uint32_t>> sequence;
  const bool runs = c.Chance(2);
  for (size_t i = 0; i < lengths.size();) {
    size_t run = 1;
    while (i + run < lengths.size() && lengths[i + run] == lengths[i]) ++run;
    if (runs && lengths[i] == 0 && run >= 11) {
      const size_t n = std::min<size_t>(run, 138);
      sequence.emplace_back(18, static_cast<std::uint32_t>(n - 11));
      i += n;
    } else if (runs && lengths[i] == 0 && run >= 3) {
      const size_t n = std::min<size_t>(run, 10);
      sequence.emplace_back(17, static_cast<std::uint32_t>(n - 3));
      i += n;
    } else if (runs && i > 0 && lengths[i - 1] == lengths[i] && run >= 3) {
      const size_t n = std::min<size_t>(run, 6);
      sequence.emplace_back(16, static_cast<std::uint32_t>(n - 3));
      i += n;
    } else {
      sequence.emplace_back(lengths[i], 0);
      ++i;
    }
  }
  if (c.Chance(16)) sequence.back() = {16 + static_cast<int>(c.Below(3)), c.Below(8)};
  return sequence;
}

// Symbols of a block: literals, matches and, at times, raw bits that may hit unassigned
// codewords; then the end-of-block codeword, or raw bits when the code has none.
void PutSymbols(Choices& c, pkgtest::DeflateBits& out, const pkgtest::Code& lit_len,
                const pkgtest::Code& dist) {
  std::vector<int> literals, lengths, distances;
  for (size_t s = 0; s < lit_len.lengths.size(); ++s) {
    if (lit_len.lengths[s] == 0) continue;
    (s < 256 ? literals : lengths).push_back(static_cast<int>(s));
  }
  std::erase(lengths, 256);
  for (size_t s = 0; s < dist.lengths.size(); ++s) {
    if (dist.lengths[s] != 0) distances.push_back(static_cast<int>(s));
  }
  const unsigned count = c.Below(48);
  for (unsigned i = 0; i < count; ++i) {
    const unsigned kind = c.Byte();
    if (kind < 150 && !literals.empty()) {
      lit_len.Put(out, literals[c.Byte() % literals.size()]);
    } else if (kind < 245 && !lengths.empty()) {
      const int symbol = lengths[c.Byte() % lengths.size()];
      lit_len.Put(out, symbol);
      out.Put(c.Below(256), kLengthExtra[symbol - 257]);
      if (distances.empty() || c.Chance(32)) {
        out.Put(c.Byte(), static_cast<int>(c.Below(9)));
      } else {
        const int d = distances[c.Byte() % distances.size()];
        dist.Put(out, d);
        out.Put(c.Below(1 << 14), d < 4 ? 0 : d / 2 - 1);
      }
    } else {
      out.Put(c.Byte(), static_cast<int>(c.Below(9)));
    }
  }
  if (lit_len.lengths.size() > 256 && lit_len.lengths[256] != 0) {
    lit_len.Put(out, 256);
  } else {
    out.Put(c.Byte(), 8);
  }
}

std::string BuildBody(Choices& c) {
  pkgtest::DeflateBits out;
  const unsigned blocks = 1 + c.Below(3);
  for (unsigned b = 0; b < blocks; ++b) {
    const std::uint32_t final_block = b + 1 == blocks ? 1 : 0;
    const unsigned type = c.Below(5);
    if (type == 0) {
      const unsigned len = c.Below(300);
      std::string bytes;
      for (unsigned i = 0; i < len; ++i) bytes += static_cast<char>(c.Byte());
      out.Put(final_block, 1).Put(0, 2).AlignToByte().Put(len, 16).Put(~len & 0xFFFF, 16);
      out.AppendBytes(bytes);
    } else if (type == 1) {
      out.Put(final_block, 1).Put(1, 2);
      PutSymbols(c, out, pkgtest::FixedLitLen(), pkgtest::FixedDist());
    } else {
      const int lit_len_count = 257 + static_cast<int>(c.Below(32));
      const int dist_count = 1 + static_cast<int>(c.Below(32));
      const pkgtest::Code lit_len(ChooseLengths(c, lit_len_count, c.Chance(32) ? -1 : 256));
      const pkgtest::Code dist(ChooseLengths(c, dist_count, -1));
      std::vector<int> all = lit_len.lengths;
      all.insert(all.end(), dist.lengths.begin(), dist.lengths.end());
      std::vector<int> code_lengths(19, 4);
      for (int s = 13; s < 19; ++s) code_lengths[static_cast<size_t>(s)] = 5;
      if (c.Chance(16)) code_lengths[c.Below(19)] = static_cast<int>(c.Below(8));
      out.Put(final_block, 1).Put(2, 2);
      pkgtest::PutDynamicHeader(out, lit_len_count, dist_count, code_lengths,
                                ChooseSequence(c, all));
      PutSymbols(c, out, lit_len, dist);
    }
  }
  return out.Bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::vector<std::uint8_t> fast(kRoom);
  static std::vector<std::uint8_t> slow(kRoom);

  if (size < 1) return 0;
  std::string body(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    Choices choices(data + 1, size - 1);
    try {
      body = BuildBody(choices);
    } catch (const std::logic_error&) {
      return 0;  // a symbol that the chosen code-length code has no codeword for
    }
  }
  size_t produced = 0;
  if (libdeflate_deflate_decompress(Decompressor(), body.data(), body.size(), fast.data(), kRoom,
                                    &produced) != LIBDEFLATE_SUCCESS) {
    produced = 0;
  }
  const uLong adler = adler32(adler32(0, nullptr, 0), fast.data(), static_cast<uInt>(produced));
  std::vector<std::uint8_t> stream = {0x78, 0x9C};
  stream.insert(stream.end(), body.begin(), body.end());
  for (int shift = 24; shift >= 0; shift -= 8) {
    stream.push_back(static_cast<std::uint8_t>(adler >> shift));
  }

  const size_t stream_size = stream.size();
  const std::unique_ptr<std::uint8_t[]> exact = std::make_unique<std::uint8_t[]>(stream_size);
  std::memcpy(exact.get(), stream.data(), stream_size);
  const bool keeps = package::KeepsToZlibRules({exact.get(), stream_size});
  size_t fast_size = 0;
  const bool fast_ok =
      libdeflate_zlib_decompress(Decompressor(), stream.data(), stream.size(), fast.data(), kRoom,
                                 &fast_size) == LIBDEFLATE_SUCCESS;
  if (!keeps || !fast_ok) return 0;
  size_t slow_size = 0;
  Require(ZlibInflate(stream, slow, &slow_size));
  Require(slow_size == fast_size && std::memcmp(slow.data(), fast.data(), fast_size) == 0);
  return 0;
}
