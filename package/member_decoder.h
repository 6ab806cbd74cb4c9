// Decoding a package's members into their files.
//
// A member is the zlib stream of one file, at a known place in the package. MemberCopier writes
// exactly the number of bytes the row asks for: the inflated data cut there, then zeros when the
// stream or its input ends sooner. Both decoders (MemberDecoder in package/extract.h) write the
// same bytes and raise the same errors for every member, damaged ones included: the whole-member
// decoder hands everything it cannot answer for exactly to the streaming one.
//
// With write-behind, Copy may return while a member's bytes are still on their way to its file;
// the caller then keeps the file open and calls FinishWrite (or, when something failed,
// WaitForWrite) before it closes the file or goes on to the next row. The caller's hook between
// pieces of work is only called on the caller's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "package/extract.h"
#include "platform/os.h"

namespace package {

class MemberCopier {
 public:
  // write_behind is used with MemberDecoder::kWholeMember only. between_pieces may be empty.
  MemberCopier(MemberDecoder decoder, bool write_behind, std::function<void()> between_pieces);
  ~MemberCopier();
  MemberCopier(const MemberCopier&) = delete;
  MemberCopier& operator=(const MemberCopier&) = delete;

  // Inflates member bytes [start, start + compressed) of the package into out (see above).
  // Throws EReadError when the package of package_size bytes does not hold the whole member
  // (before anything is written), EFormatError when zlib rejects the data and EWriteError when
  // out cannot be written. Leaves the package position unspecified.
  void Copy(platform::File& package, std::int64_t package_size, std::int64_t start,
            std::int32_t compressed, std::int32_t size, platform::File& out, const Text& out_path);

  // True when the last Copy handed its bytes to the writer thread.
  bool WritePending() const;

  // While the writer writes, decodes the member that probably comes next. Nothing of it is
  // visible: whatever fails only means that Copy decodes the member again when its row is
  // reached, and raises what it raises then.
  void DecodeAhead(platform::File& package, std::int64_t package_size, std::int64_t start,
                   std::int32_t compressed, std::int32_t size);

  // Waits for the pending write, giving the caller control after each piece, and throws
  // EWriteError when it failed.
  void FinishWrite(const Text& out_path);

  // Waits for a pending write without looking at its outcome (an error is already on its way).
  void WaitForWrite();

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace package
