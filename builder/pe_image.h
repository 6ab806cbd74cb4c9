// Reading a Windows PE image (32- or 64-bit): its headers, its section table and its resource
// directory. Reads only those parts, piece by piece, so a setup.exe carrying a package of any size
// is read in little memory.
//
//   platform::File& file = ...;
//   builder::PeImage image(file);
//   if (const builder::ResourceEntry* e =
//   image.Find(builder::ResourceId::Name(params::kPackageType),
//                                                    builder::ResourceId::Name(params::kPackageName)))
//                                                    {
//     // the package's bytes are e->size bytes at e->file_offset of the file
//   }
//   std::optional<Text> version = builder::LoadString(file, image, 1011, 2052);
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "params/resource_names.h"
#include "platform/os.h"

namespace builder {

using platform::Text;
using platform::TextView;

using params::kRtBitmap;
using params::kRtGroupIcon;
using params::kRtIcon;
using params::kRtManifest;
using params::kRtRcData;
using params::kRtString;

// A resource type or name: a 16-bit number, or a name. Names are kept with ASCII letters upper
// case, as resource compilers store them and FindResource compares them.
struct ResourceId {
  std::uint16_t id = 0;  // meaningful when name is empty
  Text name;

  static ResourceId Id(std::uint16_t id);
  static ResourceId Name(TextView name);
  bool IsName() const { return !name.empty(); }
  friend bool operator==(const ResourceId&, const ResourceId&) = default;
};

// Directory order: names first, ordered by their UTF-16 code units, then numbers ascending.
bool operator<(const ResourceId& a, const ResourceId& b);
// "StpFile", "#10" style text for messages.
std::string Describe(const ResourceId& id);

struct Section {
  std::string name;  // up to 8 characters
  std::uint32_t virtual_size = 0;
  std::uint32_t virtual_address = 0;
  std::uint32_t raw_size = 0;
  std::uint32_t raw_offset = 0;
  std::uint32_t characteristics = 0;
};

struct ResourceEntry {
  ResourceId type;
  ResourceId name;
  std::uint16_t language = 0;
  std::uint32_t rva = 0;
  std::uint32_t size = 0;
  std::uint32_t code_page = 0;
  std::int64_t file_offset = 0;  // where the bytes lie in the file
};

// The header fields and offsets the resource writer needs, as read.
struct PeHeaders {
  std::int64_t file_size = 0;
  std::uint32_t pe_offset = 0;        // "PE\0\0"
  std::uint32_t optional_offset = 0;  // optional header
  std::uint16_t optional_size = 0;
  bool pe32_plus = false;
  std::uint16_t section_count = 0;
  std::uint32_t section_table_offset = 0;
  std::uint32_t section_alignment = 0;
  std::uint32_t file_alignment = 0;
  std::uint32_t size_of_image = 0;
  std::uint32_t size_of_headers = 0;
  std::uint32_t directory_count = 0;
  std::uint32_t directories_offset = 0;  // data directory 0
  std::uint32_t checksum = 0;
};

// Offsets in the optional header (the same for PE32 and PE32+ up to the data directories).
inline constexpr std::uint32_t kOptSizeOfInitializedData = 8;
inline constexpr std::uint32_t kOptSizeOfImage = 56;
inline constexpr std::uint32_t kOptCheckSum = 64;
inline constexpr int kDirResource = 2;
inline constexpr int kDirSecurity = 4;

class PeImage {
 public:
  // Reads the image. Throws platform::EFormatError with a sentence saying what is wrong when the
  // file is not a PE image or its resource directory is damaged, EReadError when it cannot be
  // read.
  explicit PeImage(platform::File& file);

  const PeHeaders& headers() const { return headers_; }
  const std::vector<Section>& sections() const { return sections_; }
  // Every resource, in directory order (type, name, language).
  const std::vector<ResourceEntry>& resources() const { return resources_; }
  // Index into sections() of the section holding the resource directory, or -1 when none.
  int resource_section() const { return resource_section_; }

  // The resource of this type and name: with a language, exactly that one; without, the first
  // in directory order. Null when there is none.
  const ResourceEntry* Find(const ResourceId& type, const ResourceId& name,
                            std::optional<std::uint16_t> language = std::nullopt) const;

  // The file offset of size bytes at rva, or -1 when they do not lie in one section's file data.
  std::int64_t FileOffsetOf(std::uint32_t rva, std::uint32_t size) const;

 private:
  void ReadResources(platform::File& file);

  PeHeaders headers_;
  std::vector<Section> sections_;
  std::vector<ResourceEntry> resources_;
  int resource_section_ = -1;
};

// The bytes of one resource.
std::vector<std::uint8_t> ReadResourceBytes(platform::File& file, const ResourceEntry& entry);

// A string of the string table in that language (block id / 16 + 1); nullopt when the block or
// the string is missing or empty.
std::optional<Text> LoadString(platform::File& file, const PeImage& image, std::uint32_t id,
                               std::uint16_t language);

// Reads exactly size bytes at offset, or throws EReadError.
void ReadAt(platform::File& file, std::int64_t offset, void* buffer, std::uint32_t size);

}  // namespace builder
