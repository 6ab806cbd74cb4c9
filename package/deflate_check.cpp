#include "package/deflate_check.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <memory>
#include <new>

namespace package {

namespace {

// A decode-table entry: bits 0-7 the bits to drop (the codeword's bits in this table, plus the
// extra bits that follow a length or distance symbol), bits 8-11 the kind, bits 12-15 the index
// bits of a subtable, bits 16-31 the subtable's offset or, in the code-length table, the symbol.
enum Kind : std::uint32_t {
  kLiteral = 0,
  kLength = 1,  // or, in a distance table, a distance
  kEndOfBlock = 2,
  kInvalid = 3,  // a codeword that zlib's inflate rejects
  kLink = 4,     // the codeword continues in a subtable
};

constexpr std::uint32_t MakeEntry(Kind kind, std::uint32_t drop) { return (kind << 8) | drop; }
constexpr Kind KindOf(std::uint32_t entry) { return static_cast<Kind>((entry >> 8) & 0xF); }
constexpr std::uint32_t kInvalidEntry = MakeEntry(kInvalid, 0);

constexpr int kMaxCodeBits = 15;
constexpr int kLitLenRootBits = 10;
constexpr int kDistRootBits = 8;
constexpr int kCodeLengthBits = 7;
// The most symbols the format's codes have: 288 literal/length, 32 distance, 19 code-length.
constexpr int kLitLenSymbols = 288;
constexpr int kDistSymbols = 32;
constexpr int kCodeLengthSymbols = 19;
// A subtable per root prefix at most, each of at most 2^(15 - root) entries; a code that is not
// over-subscribed has at most one long codeword per prefix that needs one.
constexpr int kLitLenTableSize = (1 << kLitLenRootBits) + 286 * (1 << (15 - kLitLenRootBits));
constexpr int kDistTableSize = (1 << kDistRootBits) + 30 * (1 << (15 - kDistRootBits));

// What each symbol decodes to, without its codeword bits. Literal/length symbols 286-287 and
// distance symbols 30-31 exist in fixed blocks only, and zlib's inflate rejects them.
struct SymbolEntries {
  std::array<std::uint32_t, kLitLenSymbols> lit_len{};
  std::array<std::uint32_t, kDistSymbols> dist{};
  std::array<std::uint32_t, kCodeLengthSymbols> code_length{};
  SymbolEntries() {
    static constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    for (int s = 0; s < 256; ++s) lit_len[s] = MakeEntry(kLiteral, 0);
    lit_len[256] = MakeEntry(kEndOfBlock, 0);
    for (int s = 257; s < 286; ++s) lit_len[s] = MakeEntry(kLength, kLengthExtra[s - 257]);
    lit_len[286] = lit_len[287] = kInvalidEntry;
    for (int s = 0; s < 30; ++s) {
      dist[s] = MakeEntry(kLength, s < 4 ? 0 : static_cast<std::uint32_t>(s / 2 - 1));
    }
    dist[30] = dist[31] = kInvalidEntry;
    for (int s = 0; s < kCodeLengthSymbols; ++s) {
      code_length[s] = (static_cast<std::uint32_t>(s) << 16) | MakeEntry(kLiteral, 0);
    }
  }
};

// Built at start-up, before any thread checks a stream.
const SymbolEntries kSymbols;
const SymbolEntries& Symbols() { return kSymbols; }

// How zlib's inflate treats a code that does not fill its code space.
enum class Incomplete {
  kRejected,           // the code-length code: it must be complete
  kSingleCodewordOnly  // literal/length and distance codes: one 1-bit codeword (its other
                       // codeword then is invalid), or no codeword at all (every one invalid)
};

std::uint32_t Reversed(std::uint32_t code, int bits) {
  std::uint32_t out = 0;
  for (int i = 0; i < bits; ++i, code >>= 1) out = (out << 1) | (code & 1);
  return out;
}

// Builds the decode table of the canonical code with the given codeword lengths (0: unused), as
// zlib's inflate would accept it: false when it would refuse the code. Codewords the code leaves
// unassigned decode as kInvalid.
bool BuildTable(const std::uint8_t* lengths, int count, const std::uint32_t* symbol_entries,
                int root_bits, Incomplete incomplete, std::uint32_t* table, int capacity) {
  int counts[kMaxCodeBits + 1] = {};
  for (int s = 0; s < count; ++s) ++counts[lengths[s]];
  counts[0] = 0;
  int longest = kMaxCodeBits;
  while (longest > 0 && counts[longest] == 0) --longest;
  int left = 1;  // code space left, in codewords of the current length
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    left = (left << 1) - counts[len];
    if (left < 0) return false;  // over-subscribed
  }
  if (left > 0 && (incomplete == Incomplete::kRejected || longest > 1)) return false;

  const int root_size = 1 << root_bits;
  std::fill(table, table + root_size, kInvalidEntry);
  int next_code[kMaxCodeBits + 1];
  int code = 0;
  for (int len = 1; len <= kMaxCodeBits; ++len) {
    code = (code + counts[len - 1]) << 1;
    next_code[len] = code;
  }
  // Codewords no longer than the root fill every root entry that starts with them (the table is
  // indexed by the next bits of the stream, first bit lowest). Longer ones go to the subtable of
  // their first root_bits bits, sized for the longest codeword sharing that start.
  std::uint8_t sub_bits[1 << kLitLenRootBits];
  const bool has_long = longest > root_bits;
  if (has_long) std::memset(sub_bits, 0, static_cast<size_t>(root_size));
  std::uint32_t reversed[kLitLenSymbols];
  for (int s = 0; s < count; ++s) {
    const int len = lengths[s];
    if (len == 0) continue;
    const std::uint32_t rev = Reversed(static_cast<std::uint32_t>(next_code[len]++), len);
    reversed[s] = rev;
    if (len <= root_bits) {
      const std::uint32_t entry = symbol_entries[s] + static_cast<std::uint32_t>(len);
      for (std::uint32_t i = rev; i < static_cast<std::uint32_t>(root_size); i += 1u << len) {
        table[i] = entry;
      }
    } else {
      std::uint8_t& bits = sub_bits[rev & (root_size - 1)];
      bits = std::max<std::uint8_t>(bits, static_cast<std::uint8_t>(len - root_bits));
    }
  }
  if (!has_long) return true;
  int used = root_size;
  for (int s = 0; s < count; ++s) {
    const int len = lengths[s];
    if (len <= root_bits) continue;
    const std::uint32_t prefix = reversed[s] & static_cast<std::uint32_t>(root_size - 1);
    const int bits = sub_bits[prefix];
    if (KindOf(table[prefix]) != kLink) {
      if (used + (1 << bits) > capacity) return false;  // cannot happen for a valid code
      std::fill(table + used, table + used + (1 << bits), kInvalidEntry);
      table[prefix] = (static_cast<std::uint32_t>(used) << 16) |
                      (static_cast<std::uint32_t>(bits) << 12) |
                      MakeEntry(kLink, static_cast<std::uint32_t>(root_bits));
      used += 1 << bits;
    }
    const std::uint32_t offset = table[prefix] >> 16;
    const std::uint32_t entry = symbol_entries[s] + static_cast<std::uint32_t>(len - root_bits);
    for (std::uint32_t i = reversed[s] >> root_bits; i < (1u << bits);
         i += 1u << (len - root_bits)) {
      table[offset + i] = entry;
    }
  }
  return true;
}

// Reads the stream's bits, first bit lowest. Past the end it supplies zero bytes, as many as the
// bit buffer holds; whether any of them counted is decided at the end from the position.
class BitReader {
 public:
  BitReader(const std::uint8_t* data, size_t size, size_t start)
      : data_(data), size_(size), pos_(start) {}

  // At least 56 bits in the buffer afterwards; false once the reader is far past the end.
  bool Refill() {
    if (pos_ + 8 <= size_) {
      std::uint64_t word;
      std::memcpy(&word, data_ + pos_, 8);
      if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
      buf_ |= word << count_;
      pos_ += (63 - count_) >> 3;
      count_ |= 56;
      return true;
    }
    while (count_ <= 56) {
      const std::uint64_t byte = pos_ < size_ ? data_[pos_] : 0;
      buf_ |= byte << count_;
      ++pos_;
      count_ += 8;
    }
    return pos_ <= size_ + 8;
  }
  std::uint64_t Peek() const { return buf_; }
  unsigned Count() const { return count_; }
  void Drop(unsigned bits) {
    buf_ >>= bits;
    count_ -= bits;
  }
  // The next `bits` bits (at most 32), or false past the end.
  bool Take(unsigned bits, std::uint32_t* value) {
    if (count_ < bits && !Refill()) return false;
    *value = static_cast<std::uint32_t>(buf_ & ((std::uint64_t{1} << bits) - 1));
    Drop(bits);
    return true;
  }
  void AlignToByte() { Drop(count_ & 7); }
  // The byte the next bit comes from (after AlignToByte, the next whole byte).
  size_t BytePosition() const { return pos_ - count_ / 8; }
  void SkipTo(size_t byte) {
    pos_ = byte;
    buf_ = 0;
    count_ = 0;
  }
  // True when no bit read so far came from past the end.
  bool WithinData() const { return pos_ * 8 - count_ <= size_ * 8; }
  size_t size() const { return size_; }

 private:
  const std::uint8_t* data_;
  size_t size_;
  size_t pos_;
  std::uint64_t buf_ = 0;
  unsigned count_ = 0;
};

// The next symbol of a table built by BuildTable with a subtable level; the reader holds enough
// bits. Returns the entry, with its bits dropped.
inline std::uint32_t Decode(BitReader& in, const std::uint32_t* table, std::uint64_t root_mask) {
  std::uint32_t entry = table[in.Peek() & root_mask];
  if (KindOf(entry) == kLink) {
    in.Drop(entry & 0xFF);
    entry = table[(entry >> 16) + (in.Peek() & ((1u << ((entry >> 12) & 0xF)) - 1))];
  }
  in.Drop(entry & 0xFF);
  return entry;
}

// The symbols of one fixed or dynamic block, up to its end-of-block code.
bool WalkSymbols(BitReader& reader, const std::uint32_t* lit_len, int lit_len_root,
                 const std::uint32_t* dist, int dist_root) {
  // A copy of the reader that the compiler can keep in registers; written back at the block's end.
  BitReader in = reader;
  const std::uint64_t lit_len_mask = (std::uint64_t{1} << lit_len_root) - 1;
  const std::uint64_t dist_mask = (std::uint64_t{1} << dist_root) - 1;
  // Kinds other than literals and lengths (end of block, invalid, link) have one of these set.
  constexpr std::uint32_t kUncommon = (kEndOfBlock | kInvalid | kLink) << 8 & ~(kLength << 8);
  static_assert((kUncommon & (kLength << 8)) == 0 && (kEndOfBlock << 8 & kUncommon) != 0 &&
                (kLink << 8 & kUncommon) != 0 && (kInvalid << 8 & kUncommon) != 0);
  // The literal/length entry of the next symbol is looked up before the buffer is refilled, from
  // the bits it still holds, so that the lookup and the refill overlap; it is looked up again
  // after the refill when fewer bits than the root table's index were left.
  if (!in.Refill()) return false;
  std::uint32_t entry = lit_len[in.Peek() & lit_len_mask];
  for (;;) {
    const bool stale = in.Count() < static_cast<unsigned>(lit_len_root);
    // 56 bits hold the longest literal/length codeword with its extra bits (20) and the longest
    // distance codeword with its own (28).
    if (!in.Refill()) return false;
    const std::uint64_t bits = in.Peek();
    if (stale) entry = lit_len[bits & lit_len_mask];
    // The common case without a branch that depends on the data: the distance entry is looked
    // up after every symbol and counts only after a length.
    const std::uint32_t used = entry & 0xFF;
    const std::uint32_t dist_entry = dist[(bits >> used) & dist_mask];
    const std::uint32_t after_length = 0u - ((entry >> 8) & kLength);
    if (((entry | (dist_entry & after_length)) & kUncommon) == 0) {
      in.Drop(used + ((dist_entry & 0xFF) & after_length));
      entry = lit_len[in.Peek() & lit_len_mask];
      continue;
    }
    // Subtables, the end of the block and invalid codewords.
    const std::uint32_t first = Decode(in, lit_len, lit_len_mask);
    const Kind kind = KindOf(first);
    if (kind == kLength && KindOf(Decode(in, dist, dist_mask)) != kLength) return false;
    if (kind != kLiteral && kind != kLength) {
      reader = in;
      return kind == kEndOfBlock;
    }
    entry = lit_len[in.Peek() & lit_len_mask];
  }
}

struct Tables {
  std::uint32_t lit_len[kLitLenTableSize];
  std::uint32_t dist[kDistTableSize];
};

// Reads a dynamic block's header and builds its tables.
bool ReadDynamicHeader(BitReader& in, Tables& tables) {
  std::uint32_t hlit = 0, hdist = 0, hclen = 0;
  if (!in.Take(5, &hlit) || !in.Take(5, &hdist) || !in.Take(4, &hclen)) return false;
  const int lit_len_count = static_cast<int>(hlit) + 257;
  const int dist_count = static_cast<int>(hdist) + 1;
  if (lit_len_count > 286 || dist_count > 30) return false;

  static constexpr std::uint8_t kOrder[kCodeLengthSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                              11, 4,  12, 3, 13, 2, 14, 1, 15};
  std::uint8_t code_length_lengths[kCodeLengthSymbols] = {};
  for (std::uint32_t i = 0; i < hclen + 4; ++i) {
    std::uint32_t len = 0;
    if (!in.Take(3, &len)) return false;
    code_length_lengths[kOrder[i]] = static_cast<std::uint8_t>(len);
  }
  std::uint32_t code_length_table[1 << kCodeLengthBits];
  if (!BuildTable(code_length_lengths, kCodeLengthSymbols, Symbols().code_length.data(),
                  kCodeLengthBits, Incomplete::kRejected, code_length_table,
                  1 << kCodeLengthBits)) {
    return false;
  }

  // The two codes' lengths form one sequence: a repeat may cross from one into the other, but
  // not run past its end.
  std::uint8_t lengths[286 + 30];
  const int total = lit_len_count + dist_count;
  int have = 0;
  while (have < total) {
    if (!in.Refill()) return false;
    const std::uint32_t entry = code_length_table[in.Peek() & ((1u << kCodeLengthBits) - 1)];
    in.Drop(entry & 0xFF);
    const std::uint32_t symbol = entry >> 16;
    if (symbol < 16) {
      lengths[have++] = static_cast<std::uint8_t>(symbol);
      continue;
    }
    std::uint8_t value = 0;
    std::uint32_t repeat = 0;
    if (symbol == 16) {
      if (have == 0) return false;  // nothing to repeat
      value = lengths[have - 1];
      in.Take(2, &repeat);
      repeat += 3;
    } else if (symbol == 17) {
      in.Take(3, &repeat);
      repeat += 3;
    } else {
      in.Take(7, &repeat);
      repeat += 11;
    }
    if (have + static_cast<int>(repeat) > total) return false;
    std::fill(lengths + have, lengths + have + repeat, value);
    have += static_cast<int>(repeat);
  }
  if (lengths[256] == 0) return false;  // a block that cannot end
  return BuildTable(lengths, lit_len_count, Symbols().lit_len.data(), kLitLenRootBits,
                    Incomplete::kSingleCodewordOnly, tables.lit_len, kLitLenTableSize) &&
         BuildTable(lengths + lit_len_count, dist_count, Symbols().dist.data(), kDistRootBits,
                    Incomplete::kSingleCodewordOnly, tables.dist, kDistTableSize);
}

// The fixed block's tables, with literal/length symbols 286-287 and distance symbols 30-31
// present in the code and invalid.
struct FixedTables {
  std::uint32_t lit_len[1 << 9];
  std::uint32_t dist[1 << 5];
  FixedTables() {
    std::uint8_t lengths[kLitLenSymbols];
    std::fill(lengths, lengths + 144, 8);
    std::fill(lengths + 144, lengths + 256, 9);
    std::fill(lengths + 256, lengths + 280, 7);
    std::fill(lengths + 280, lengths + 288, 8);
    BuildTable(lengths, kLitLenSymbols, Symbols().lit_len.data(), 9,
               Incomplete::kSingleCodewordOnly, lit_len, 1 << 9);
    std::fill(lengths, lengths + kDistSymbols, 5);
    BuildTable(lengths, kDistSymbols, Symbols().dist.data(), 5, Incomplete::kSingleCodewordOnly,
               dist, 1 << 5);
  }
};

const FixedTables kFixed;
const FixedTables& Fixed() { return kFixed; }

}  // namespace

bool KeepsToZlibRules(std::span<const std::uint8_t> stream) noexcept {
  // The header: deflate with a window of at most 32 KiB, no preset dictionary, check bits right.
  if (stream.size() < 2) return false;
  const std::uint32_t cmf = stream[0];
  const std::uint32_t flg = stream[1];
  if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7 || (flg & 0x20) != 0 || (cmf * 256 + flg) % 31 != 0) {
    return false;
  }
  BitReader in(stream.data(), stream.size(), 2);
  std::unique_ptr<Tables> tables;
  std::uint32_t final_block = 0;
  while (final_block == 0) {
    std::uint32_t type = 0;
    if (!in.Take(1, &final_block) || !in.Take(2, &type)) return false;
    if (type == 0) {
      // Stored: skipped whole once its length is checked against its complement.
      in.AlignToByte();
      std::uint32_t len = 0, nlen = 0;
      if (!in.Take(16, &len) || !in.Take(16, &nlen) || len != (~nlen & 0xFFFF)) return false;
      const size_t next = in.BytePosition() + len;
      if (next > in.size()) return false;
      in.SkipTo(next);
    } else if (type == 1) {
      if (!WalkSymbols(in, Fixed().lit_len, 9, Fixed().dist, 5)) return false;
    } else if (type == 2) {
      if (!tables) {
        try {
          tables = std::make_unique_for_overwrite<Tables>();
        } catch (const std::bad_alloc&) {
          return false;
        }
      }
      if (!ReadDynamicHeader(in, *tables)) return false;
      if (!WalkSymbols(in, tables->lit_len, kLitLenRootBits, tables->dist, kDistRootBits)) {
        return false;
      }
    } else {
      return false;
    }
  }
  if (!in.WithinData()) return false;
  in.AlignToByte();
  return in.BytePosition() + 4 <= in.size();
}

}  // namespace package
