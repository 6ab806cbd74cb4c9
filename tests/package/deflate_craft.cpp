#include "tests/package/deflate_craft.h"

#include <libdeflate.h>
#include <zlib.h>

#include <functional>
#include <memory>
#include <stdexcept>

namespace pkgtest {

DeflateBits& DeflateBits::Put(std::uint32_t value, int bits) {
  for (int i = 0; i < bits; ++i) {
    if (used_ == 0) bytes_ += '\0';
    if ((value >> i) & 1) bytes_.back() = static_cast<char>(bytes_.back() | (1 << used_));
    used_ = (used_ + 1) % 8;
  }
  return *this;
}

DeflateBits& DeflateBits::Codeword(std::uint32_t code, int bits) {
  for (int i = bits - 1; i >= 0; --i) Put((code >> i) & 1, 1);
  return *this;
}

DeflateBits& DeflateBits::AlignToByte() {
  used_ = 0;
  return *this;
}

DeflateBits& DeflateBits::AppendBytes(const std::string& bytes) {
  used_ = 0;
  bytes_ += bytes;
  return *this;
}

Code::Code(std::vector<int> code_lengths) : lengths(std::move(code_lengths)) {
  int counts[16] = {};
  for (int len : lengths) ++counts[len];
  counts[0] = 0;
  std::uint32_t next[16] = {};
  std::uint32_t code = 0;
  for (int len = 1; len < 16; ++len) {
    code = (code + counts[len - 1]) << 1;
    next[len] = code;
  }
  for (int len : lengths) codewords.push_back(len == 0 ? 0 : next[len]++);
}

void Code::Put(DeflateBits& out, int symbol) const {
  const int len = lengths.at(symbol);
  if (len == 0) throw std::logic_error("symbol without a codeword");
  out.Codeword(codewords[symbol], len);
}

std::vector<int> CompleteLengths(int n) {
  int k = 0;
  while ((2 << k) <= n) ++k;  // 2^k <= n < 2^(k+1)
  const int longer = 2 * (n - (1 << k));
  std::vector<int> lengths(n, k);
  for (int i = n - longer; i < n; ++i) lengths[i] = k + 1;
  return lengths;
}

const Code& FixedLitLen() {
  static const Code code = [] {
    std::vector<int> lengths(288, 8);
    for (int s = 144; s < 256; ++s) lengths[s] = 9;
    for (int s = 256; s < 280; ++s) lengths[s] = 7;
    return Code(lengths);
  }();
  return code;
}

const Code& FixedDist() {
  static const Code code(std::vector<int>(32, 5));
  return code;
}

void PutDynamicHeader(DeflateBits& out, int lit_len_count, int dist_count,
                      const std::vector<int>& code_length_lengths,
                      const std::vector<std::pair<int, std::uint32_t>>& sequence) {
  static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  out.Put(static_cast<std::uint32_t>(lit_len_count - 257), 5)
      .Put(static_cast<std::uint32_t>(dist_count - 1), 5)
      .Put(15, 4);
  for (int symbol : kOrder) out.Put(static_cast<std::uint32_t>(code_length_lengths.at(symbol)), 3);
  const Code code_lengths(code_length_lengths);
  for (const auto& [symbol, extra] : sequence) {
    code_lengths.Put(out, symbol);
    if (symbol == 16) out.Put(extra, 2);
    if (symbol == 17) out.Put(extra, 3);
    if (symbol == 18) out.Put(extra, 7);
  }
}

void PutDynamicHeader(DeflateBits& out, const Code& lit_len, const Code& dist) {
  std::vector<std::pair<int, std::uint32_t>> sequence;
  for (int len : lit_len.lengths) sequence.emplace_back(len, 0);
  for (int len : dist.lengths) sequence.emplace_back(len, 0);
  // 13 codewords of 4 bits and 6 of 5 bits fill the code-length code's space.
  std::vector<int> code_length_lengths(19, 4);
  for (int s = 13; s < 19; ++s) code_length_lengths[s] = 5;
  PutDynamicHeader(out, static_cast<int>(lit_len.lengths.size()),
                   static_cast<int>(dist.lengths.size()), code_length_lengths, sequence);
}

namespace {

struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

std::unique_ptr<libdeflate_decompressor, DecompressorFree> Decompressor() {
  std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(libdeflate_alloc_decompressor());
  if (!d) throw std::runtime_error("libdeflate_alloc_decompressor failed");
  return d;
}

}  // namespace

std::string ZlibAroundDeflate(const std::string& body) {
  std::string content(1 << 20, '\0');
  size_t produced = 0;
  if (libdeflate_deflate_decompress(Decompressor().get(), body.data(), body.size(), content.data(),
                                    content.size(), &produced) != LIBDEFLATE_SUCCESS) {
    produced = 0;
  }
  const uLong adler =
      adler32(adler32(0, nullptr, 0), reinterpret_cast<const Bytef*>(content.data()),
              static_cast<uInt>(produced));
  std::string out = "\x78\x9C" + body;
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((adler >> shift) & 0xFF);
  return out;
}

namespace {

using Sequence = std::vector<std::pair<int, std::uint32_t>>;
using Symbols = std::function<void(DeflateBits&)>;

// One final block: its type bits, then what `put` writes, then the end-of-block codeword of
// lit_len (none when lit_len is null).
std::string FinalBlock(int type, const Symbols& put, const Code* lit_len) {
  DeflateBits out;
  out.Put(1, 1).Put(static_cast<std::uint32_t>(type), 2);
  put(out);
  if (lit_len) lit_len->Put(out, 256);
  return ZlibAroundDeflate(out.Bytes());
}

std::string Fixed(const Symbols& symbols) { return FinalBlock(1, symbols, &FixedLitLen()); }

// A dynamic block with the usual header for its codes.
std::string Dynamic(const Code& lit_len, const Code& dist, const Symbols& symbols) {
  return FinalBlock(
      2,
      [&](DeflateBits& out) {
        PutDynamicHeader(out, lit_len, dist);
        symbols(out);
      },
      &lit_len);
}

// A dynamic block with a header written field by field.
std::string DynamicRaw(int lit_len_count, int dist_count, const std::vector<int>& code_lengths,
                       const Sequence& sequence, const Code& lit_len, const Symbols& symbols) {
  return FinalBlock(
      2,
      [&](DeflateBits& out) {
        PutDynamicHeader(out, lit_len_count, dist_count, code_lengths, sequence);
        symbols(out);
      },
      &lit_len);
}

Sequence EachLength(const std::vector<int>& lengths) {
  Sequence sequence;
  for (int len : lengths) sequence.emplace_back(len, 0);
  return sequence;
}

std::vector<int> Joined(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A complete code-length code: 13 codewords of 4 bits, 6 of 5 bits.
std::vector<int> FullCodeLengthCode() {
  std::vector<int> lengths(19, 4);
  for (int s = 13; s < 19; ++s) lengths[s] = 5;
  return lengths;
}

}  // namespace

std::vector<CraftedStream> CraftedStreams() {
  using enum Verdict;
  const Code& fixed = FixedLitLen();
  const Code& fixed_dist = FixedDist();
  const Code lit_len(CompleteLengths(286));
  const Code dist(CompleteLengths(30));
  // "ab", then a match of length 4 at distance 1: "abbbbb".
  const Symbols text = [&](DeflateBits& out) {
    lit_len.Put(out, 'a');
    lit_len.Put(out, 'b');
    lit_len.Put(out, 258);
    dist.Put(out, 0);
  };
  std::vector<CraftedStream> streams;
  const auto add = [&](std::string what, std::string stream, Verdict verdict) {
    streams.push_back({std::move(what), std::move(stream), verdict});
  };

  add("fixed block", Fixed([&](DeflateBits& out) {
        fixed.Put(out, 'a');
        fixed.Put(out, 'b');
        fixed.Put(out, 258);
        fixed_dist.Put(out, 1);
      }),
      kBothAccept);
  add("dynamic block", Dynamic(lit_len, dist, text), kBothAccept);
  {
    // Literal/length lengths: 'a' to 'd' 3 bits, 256 and 257 2 bits; distance lengths 4 x 2
    // bits. Written with 18 and 16 runs, the last 16 running on from the literal/length lengths
    // into the distance lengths.
    std::vector<int> ll(258, 0);
    for (int s = 'a'; s <= 'd'; ++s) ll[s] = 3;
    ll[256] = ll[257] = 2;
    const Code small(ll);
    const Sequence sequence = {{18, 97 - 11}, {3, 0}, {16, 0}, {18, 138 - 11},
                               {18, 17 - 11}, {2, 0}, {2, 0},  {16, 1}};
    add("repeats, one across the two codes' lengths",
        DynamicRaw(258, 4, FullCodeLengthCode(), sequence, small,
                   [&](DeflateBits& out) {
                     small.Put(out, 'a');
                     small.Put(out, 'd');
                     small.Put(out, 257);
                     out.Codeword(0, 2);
                   }),
        kBothAccept);
  }
  {
    // A literal/length code of the end-of-block codeword alone, and a distance code of one
    // codeword: the other 1-bit codeword of each is unassigned.
    std::vector<int> ll(257, 0);
    ll[256] = 1;
    const Code end_only(ll);
    const Code one_dist({1});
    const Code no_dist({0});
    for (std::uint32_t bit : {0u, 1u}) {
      add(bit == 0 ? "one-codeword literal/length code" : "unassigned literal/length codeword",
          FinalBlock(
              2,
              [&](DeflateBits& out) {
                PutDynamicHeader(out, end_only, one_dist);
                out.Put(bit, 1);
              },
              nullptr),
          bit == 0 ? kBothAccept : kOnlyLibdeflateAccepts);
      add(bit == 0 ? "one-codeword distance code" : "unassigned distance codeword",
          Dynamic(lit_len, one_dist,
                  [&](DeflateBits& out) {
                    lit_len.Put(out, 'a');
                    lit_len.Put(out, 258);
                    out.Put(bit, 1);
                  }),
          bit == 0 ? kBothAccept : kOnlyLibdeflateAccepts);
    }
    add("empty distance code, unused",
        Dynamic(lit_len, no_dist, [&](DeflateBits& out) { lit_len.Put(out, 'a'); }), kBothAccept);
    add("empty distance code, used",
        Dynamic(lit_len, no_dist,
                [&](DeflateBits& out) {
                  lit_len.Put(out, 'a');
                  lit_len.Put(out, 258);
                  out.Put(0, 1);
                }),
        kOnlyLibdeflateAccepts);
  }

  for (int symbol : {286, 287}) {
    add("fixed literal/length symbol " + std::to_string(symbol), Fixed([&](DeflateBits& out) {
          fixed.Put(out, 'a');
          fixed.Put(out, symbol);
          fixed_dist.Put(out, 0);
        }),
        kOnlyLibdeflateAccepts);
  }
  for (int symbol : {30, 31}) {
    // After more than 49152 bytes, so that the distance such a symbol might stand for exists.
    add("fixed distance symbol " + std::to_string(symbol), Fixed([&](DeflateBits& out) {
          fixed.Put(out, 'a');
          for (int i = 0; i < 200; ++i) {
            fixed.Put(out, 285);
            fixed_dist.Put(out, 0);
          }
          fixed.Put(out, 257);
          fixed_dist.Put(out, symbol);
          out.Put(0, 14);
        }),
        kOnlyLibdeflateAccepts);
  }
  for (int count : {287, 288}) {
    const Code wide(CompleteLengths(count));
    add(std::to_string(count) + " literal/length lengths",
        Dynamic(wide, dist,
                [&](DeflateBits& out) {
                  wide.Put(out, 'a');
                  wide.Put(out, count - 1);
                  dist.Put(out, 0);
                }),
        kOnlyLibdeflateAccepts);
  }
  for (int count : {31, 32}) {
    const Code wide(CompleteLengths(count));
    add(std::to_string(count) + " distance lengths",
        Dynamic(lit_len, wide,
                [&](DeflateBits& out) {
                  lit_len.Put(out, 'a');
                  lit_len.Put(out, 258);
                  wide.Put(out, 0);
                }),
        kOnlyLibdeflateAccepts);
  }
  {
    // The last distance length written by a repeat that runs past the lengths announced: 16
    // repeats the one before it (3 times, 2 too many), 17 and 18 write zeros (3 and 11).
    const std::vector<int> short_dist = Joined(CompleteLengths(29), {0});
    for (int repeat : {16, 17, 18}) {
      std::vector<int> lengths = repeat == 16 ? dist.lengths : short_dist;
      Sequence sequence = EachLength(Joined(lit_len.lengths, lengths));
      sequence.back() = {repeat, 0};
      const Code used(lengths);
      add("repeat " + std::to_string(repeat) + " past the last length",
          DynamicRaw(286, 30, FullCodeLengthCode(), sequence, lit_len,
                     [&](DeflateBits& out) {
                       lit_len.Put(out, 'a');
                       lit_len.Put(out, 258);
                       used.Put(out, 0);
                     }),
          kOnlyLibdeflateAccepts);
    }
    Sequence first = EachLength(Joined(lit_len.lengths, dist.lengths));
    first.erase(first.begin(), first.begin() + 3);
    first.insert(first.begin(), {16, 0});
    add("repeat 16 with no length before it",
        DynamicRaw(286, 30, FullCodeLengthCode(), first, lit_len, text), kBothRefuse);
  }
  {
    // Code-length codes that do not fill their space exactly.
    const Sequence sequence = EachLength(Joined(lit_len.lengths, dist.lengths));
    std::vector<int> single(19, 0);
    single[8] = 1;
    add("code-length code of one codeword",
        DynamicRaw(286, 30, single, EachLength(std::vector<int>(316, 8)), lit_len, text),
        kBothRefuse);
    std::vector<int> incomplete(19, 0);
    incomplete[8] = 1;
    incomplete[9] = 2;
    incomplete[4] = 3;
    incomplete[5] = 4;
    add("incomplete code-length code", DynamicRaw(286, 30, incomplete, sequence, lit_len, text),
        kBothRefuse);
    std::vector<int> over = FullCodeLengthCode();
    over[0] = 3;
    add("over-subscribed code-length code", DynamicRaw(286, 30, over, sequence, lit_len, text),
        kBothRefuse);
  }
  {
    std::vector<int> ll = lit_len.lengths;
    ll[0] = 0;
    const Code incomplete(ll);
    add("incomplete literal/length code",
        Dynamic(incomplete, dist, [&](DeflateBits& out) { incomplete.Put(out, 'a'); }),
        kBothRefuse);
    ll[0] = ll[1];
    ll.back() = ll[0] - 1;
    const Code over(ll);
    add("over-subscribed literal/length code",
        Dynamic(over, dist, [&](DeflateBits& out) { over.Put(out, 'a'); }), kBothRefuse);
    const Code two_of_four({2, 2});
    add("incomplete distance code",
        Dynamic(lit_len, two_of_four,
                [&](DeflateBits& out) {
                  lit_len.Put(out, 'a');
                  lit_len.Put(out, 258);
                  two_of_four.Put(out, 0);
                }),
        kBothRefuse);
    const Code three_of_two({1, 1, 1});
    add("over-subscribed distance code",
        Dynamic(lit_len, three_of_two,
                [&](DeflateBits& out) {
                  lit_len.Put(out, 'a');
                  lit_len.Put(out, 258);
                  out.Put(0, 1);
                }),
        kBothRefuse);
    std::vector<int> no_end = lit_len.lengths;
    no_end[256] = 0;
    no_end[255] = lit_len.lengths[256] - 1;  // the code stays complete
    const Code endless(no_end);
    add("no end-of-block code",
        FinalBlock(
            2,
            [&](DeflateBits& out) {
              PutDynamicHeader(out, endless, dist);
              endless.Put(out, 'a');
              out.Put(0, 16);
            },
            nullptr),
        kBothRefuse);
  }
  return streams;
}

std::string AfterStoredBlocks(const std::string& stream, const std::string& data) {
  DeflateBits out;
  for (size_t at = 0; at < data.size(); at += 65535) {
    const std::string piece = data.substr(at, 65535);
    const auto len = static_cast<std::uint32_t>(piece.size());
    out.Put(0, 1).Put(0, 2).AlignToByte().Put(len, 16).Put(~len & 0xFFFF, 16).AppendBytes(piece);
  }
  return ZlibAroundDeflate(out.Bytes() + stream.substr(2, stream.size() - 6));
}

Decoded LibdeflateDecode(const std::string& stream, size_t room) {
  Decoded result;
  result.output.resize(room);
  size_t produced = 0;
  result.ok =
      libdeflate_zlib_decompress(Decompressor().get(), stream.data(), stream.size(),
                                 result.output.data(), room, &produced) == LIBDEFLATE_SUCCESS;
  result.output.resize(result.ok ? produced : 0);
  return result;
}

Decoded ZlibDecode(const std::string& stream, size_t room) {
  Decoded result;
  result.output.resize(room);
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) throw std::runtime_error("inflateInit failed");
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  zs.avail_in = static_cast<uInt>(stream.size());
  zs.next_out = reinterpret_cast<Bytef*>(result.output.data());
  zs.avail_out = static_cast<uInt>(room);
  result.ok = inflate(&zs, Z_FINISH) == Z_STREAM_END;
  result.output.resize(result.ok ? room - zs.avail_out : 0);
  inflateEnd(&zs);
  return result;
}

}  // namespace pkgtest
