// Hand-made deflate streams for the tests: a bit writer, canonical codes, block headers written
// field by field (limits not enforced, so that tests can break them), and the decoders' answers.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace pkgtest {

// Deflate bits, first bit lowest in each byte.
class DeflateBits {
 public:
  // A header field or extra bits: lowest bit first.
  DeflateBits& Put(std::uint32_t value, int bits);
  // A Huffman codeword: its top bit first.
  DeflateBits& Codeword(std::uint32_t code, int bits);
  DeflateBits& AlignToByte();
  // Whole bytes, after AlignToByte.
  DeflateBits& AppendBytes(const std::string& bytes);
  // The bytes so far, a partial last byte padded with zero bits.
  std::string Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  int used_ = 0;  // bits of the last byte in use; 0 means none (or full)
};

// A canonical code from its codeword lengths (0: symbol unused).
struct Code {
  explicit Code(std::vector<int> lengths);
  void Put(DeflateBits& out, int symbol) const;
  std::vector<int> lengths;
  std::vector<std::uint32_t> codewords;
};

// Lengths of a complete code over n symbols (n >= 2), all within one bit of each other.
std::vector<int> CompleteLengths(int n);

// The fixed block's codes: literal/length symbols 0-287 and distance symbols 0-31.
const Code& FixedLitLen();
const Code& FixedDist();

// A dynamic block's header after its three block-header bits, written as given: the counts go in
// the HLIT/HDIST fields unchecked, code_length_lengths are the 19 code-length code lengths in
// symbol order (all 19 written), and `sequence` holds the code-length symbols with the value of
// their extra bits.
void PutDynamicHeader(DeflateBits& out, int lit_len_count, int dist_count,
                      const std::vector<int>& code_length_lengths,
                      const std::vector<std::pair<int, std::uint32_t>>& sequence);
// The same for the given codes, each length written as its own symbol with a complete
// code-length code.
void PutDynamicHeader(DeflateBits& out, const Code& lit_len, const Code& dist);

// A zlib stream around a raw deflate body: the usual header, the body, and the Adler-32 of what
// libdeflate decodes the body to (of nothing when it refuses the body), so that whenever
// libdeflate accepts the body it accepts the whole stream too.
std::string ZlibAroundDeflate(const std::string& body);

// How libdeflate and zlib's inflate answer a crafted stream.
enum class Verdict {
  kBothAccept,             // with the same bytes: a control
  kOnlyLibdeflateAccepts,  // where the two part ways
  kBothRefuse,             // a near miss
};
struct CraftedStream {
  std::string what;
  std::string stream;  // a zlib stream
  Verdict verdict;
};
// A stream for each construct of a deflate stream that libdeflate accepts and zlib's inflate
// rejects, near misses that both refuse, and controls that both accept (fixed and dynamic
// blocks, repeats across the two codes' lengths, one-codeword and empty codes used correctly).
std::vector<CraftedStream> CraftedStreams();

// The zlib stream with non-final stored blocks holding `data` before its first block (and the
// checksum made anew the same way).
std::string AfterStoredBlocks(const std::string& stream, const std::string& data);

// What a decoder made of a zlib stream: its output, or that it refused the stream.
struct Decoded {
  bool ok = false;
  std::string output;
  bool operator==(const Decoded&) const = default;
};
// libdeflate's whole-stream decode, with room for `room` bytes of output.
Decoded LibdeflateDecode(const std::string& stream, size_t room);
// zlib's inflate to the end of the stream (up to `room` bytes), checksum checked.
Decoded ZlibDecode(const std::string& stream, size_t room);

}  // namespace pkgtest
