// A walk over a zlib stream's blocks and symbols that writes no output: it tells whether the
// stream stays within what zlib's inflate accepts, so that a faster decoder's answer for it can
// be trusted to be zlib's answer.
#pragma once

#include <cstdint>
#include <span>

namespace package {

// True when every block header, code and symbol of the zlib stream at the start of `stream` is
// one that zlib's inflate accepts and decodes as every decoder that follows the deflate format
// does, and the stream ends, with room for its checksum, inside `stream` (bytes after it are not
// looked at). False for anything else, in particular for the constructs that lenient decoders
// accept and zlib rejects: literal/length symbols 286-287 and distance symbols 30-31 in fixed
// blocks, more than 286 literal/length or 30 distance lengths in a dynamic header, repeated
// code lengths that run past the lengths the header announces, a code-length code that is not
// complete, literal/length or distance codes that are over-subscribed, incomplete beyond a
// single one-bit codeword or used at a codeword they leave unassigned, and a block without an
// end-of-block code. Distances reaching before the start of the output and the checksum are not
// checked here: every decoder rejects those alike.
//
// Reads `stream` only (several threads may check one stream at once); costs a table lookup or
// two per literal or match, and skips stored blocks. Also false when it cannot get the 57 KB of
// tables that dynamic blocks need.
bool KeepsToZlibRules(std::span<const std::uint8_t> stream) noexcept;

}  // namespace package
