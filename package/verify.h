// Checking a setup package without unpacking it: what `stptool verify` reports and what
// `stptool build` runs on the setup it has just written.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/os.h"

namespace package {

using platform::Text;

// Bytes [offset, offset + length) of another open file, seen as a file of their own. A package
// carried inside a setup program is read in place through it, so nothing is copied out. Read
// only: Write fails.
class FileRange : public platform::File {
 public:
  FileRange(platform::File& base, std::int64_t offset, std::int64_t length)
      : base_(base), offset_(offset), length_(length) {}
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* read) override;
  bool Write(const void* buffer, std::uint32_t size) override;
  std::int64_t Seek(std::int64_t offset, platform::SeekOrigin origin) override;
  std::int64_t Size() override { return length_; }

 private:
  platform::File& base_;
  std::int64_t offset_;
  std::int64_t length_;
  std::int64_t position_ = 0;
};

// Checks a whole package and returns one line per problem, empty when it is sound:
// - the manifest is found, decrypts with password (its bytes read through the current Os's ANSI
//   code page, as the setup program reads them) and is a table whose every row has a folder, a
//   file name that extraction accepts, and non-negative integer sizes that add up to less than
//   2 GiB;
// - every member inflates to exactly its size cell, its zlib stream ends at the member's last
//   byte and its Adler-32 checksum is right;
// - the members lie end to end from offset 0 up to the manifest.
// Writes nothing. Memory stays bounded whatever the sizes: members are inflated a piece at a time
// and their output is thrown away.
std::vector<Text> VerifyPackage(platform::File& package, const Text& password);

}  // namespace package
