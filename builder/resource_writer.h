// Writing a copy of a PE image with resources added or replaced.
//
// The copy keeps the image's headers and sections byte for byte and gets one new last section,
// ".rsrc", holding the whole resource directory: the image's own resources (minus those replaced)
// and the new ones. When the image's old resource section is its last section it is dropped;
// otherwise it stays as unused data. SizeOfImage, SizeOfInitializedData, the resource and
// certificate data directories and the checksum are set to match; nothing follows the last
// section (no overlay, no certificate), which is the layout Authenticode signing expects.
//
// One resource may be streamed: it is written last, on a page of the file and of the image (the
// new section starts on a page of the file whatever the image's file alignment), by a callback
// that writes its bytes in pieces, so a package of any size never sits in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "builder/pe_image.h"
#include "platform/os.h"

namespace builder {

struct ResourceInput {
  ResourceId type;
  ResourceId name;
  std::uint16_t language = 0;
  std::vector<std::uint8_t> bytes;
};

struct StreamedResource {
  ResourceId type;
  ResourceId name;
  std::uint16_t language = 0;
  // Writes the resource's bytes to out, from its first byte on, in any number of Write calls
  // (Seek and Size are not available). Throws to abandon the image.
  std::function<void(platform::File& out)> write;
};

struct WrittenImage {
  std::int64_t streamed_offset = 0;  // file offset of the streamed resource's first byte
  std::uint32_t streamed_size = 0;
  std::int64_t file_size = 0;
};

// Writes the image read from stub (as image describes it) to out, which must be empty and
// support Seek. A new resource replaces an existing one of the same type, name and language.
// Throws platform::EFormatError when the image has no room for another section header or the
// resources do not fit a 32-bit image, EWriteError / EReadError on I/O failures.
WrittenImage WriteImageWithResources(platform::File& stub, const PeImage& image,
                                     const std::vector<ResourceInput>& resources,
                                     const StreamedResource* streamed, platform::File& out);

// The string table blocks (16 strings each, in language) that hold the given strings; empty
// strings are left out, and a block is written only when it holds a string.
std::vector<ResourceInput> StringTableResources(
    const std::vector<std::pair<std::uint32_t, Text>>& strings, std::uint16_t language);

// The PE checksum of a file whose bytes sum to word_sum (16-bit little-endian words, the
// checksum field counted as zero), file_size bytes long.
std::uint32_t PeChecksum(std::uint64_t word_sum, std::int64_t file_size);

}  // namespace builder
