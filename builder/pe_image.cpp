#include "builder/pe_image.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/text.h"

namespace builder {

using platform::AsciiToText;
using platform::EFormatError;
using platform::EReadError;

ResourceId ResourceId::Id(std::uint16_t id) { return ResourceId{id, Text()}; }

ResourceId ResourceId::Name(TextView name) { return ResourceId{0, platform::AsciiUpper(name)}; }

bool operator<(const ResourceId& a, const ResourceId& b) {
  if (a.IsName() != b.IsName()) return a.IsName();
  if (a.IsName()) return a.name < b.name;
  return a.id < b.id;
}

std::string Describe(const ResourceId& id) {
  return id.IsName() ? platform::TextToUtf8(id.name) : "#" + std::to_string(id.id);
}

void ReadAt(platform::File& file, std::int64_t offset, void* buffer, std::uint32_t size) {
  if (file.Seek(offset, platform::SeekOrigin::kBegin) != offset) {
    throw EReadError(u"Cannot seek in the image");
  }
  auto* out = static_cast<std::uint8_t*>(buffer);
  while (size > 0) {
    std::uint32_t got = 0;
    if (!file.Read(out, size, &got) || got == 0) throw EReadError(u"Cannot read the image");
    out += got;
    size -= got;
  }
}

namespace {

[[noreturn]] void Bad(const std::string& why) {
  throw EFormatError(AsciiToText("not a usable Windows program: " + why));
}

// Nesting below the root: type, name, language.
constexpr int kDirectoryDepth = 3;

}  // namespace

PeImage::PeImage(platform::File& file) {
  PeHeaders& h = headers_;
  h.file_size = file.Size();
  if (h.file_size < 0) throw EReadError(u"Cannot read the image");
  if (h.file_size < 64) Bad("the file is too short");
  std::uint8_t dos[64];
  ReadAt(file, 0, dos, sizeof dos);
  if (dos[0] != 'M' || dos[1] != 'Z') Bad("no MZ header");
  h.pe_offset = platform::ReadLe32(dos + 60);
  std::uint8_t coff[24];
  if (h.pe_offset > h.file_size - 24) Bad("the PE header lies outside the file");
  ReadAt(file, h.pe_offset, coff, sizeof coff);
  if (platform::ReadLe32(coff) != 0x00004550) Bad("no PE signature");
  h.section_count = platform::ReadLe16(coff + 6);
  h.optional_size = platform::ReadLe16(coff + 20);
  h.optional_offset = h.pe_offset + 24;
  if (h.optional_size < 96 || h.optional_offset + std::int64_t{h.optional_size} > h.file_size) {
    Bad("the optional header is cut short");
  }
  std::vector<std::uint8_t> opt(h.optional_size);
  ReadAt(file, h.optional_offset, opt.data(), h.optional_size);
  const std::uint16_t magic = platform::ReadLe16(opt.data());
  if (magic != 0x10B && magic != 0x20B) Bad("unknown optional header kind");
  h.pe32_plus = magic == 0x20B;
  h.section_alignment = platform::ReadLe32(opt.data() + 32);
  h.file_alignment = platform::ReadLe32(opt.data() + 36);
  h.size_of_image = platform::ReadLe32(opt.data() + kOptSizeOfImage);
  h.size_of_headers = platform::ReadLe32(opt.data() + 60);
  h.checksum = platform::ReadLe32(opt.data() + kOptCheckSum);
  const std::uint32_t count_at = h.pe32_plus ? 108 : 92;
  if (count_at + 4u > h.optional_size) Bad("the optional header is cut short");
  h.directory_count = platform::ReadLe32(opt.data() + count_at);
  h.directories_offset = h.optional_offset + count_at + 4;
  if (h.directory_count > 16 || count_at + 4 + 8 * h.directory_count > h.optional_size) {
    Bad("bad number of data directories");
  }
  auto is_power_of_two = [](std::uint32_t v) { return v != 0 && (v & (v - 1)) == 0; };
  if (!is_power_of_two(h.file_alignment) || !is_power_of_two(h.section_alignment)) {
    Bad("the alignments are not powers of two");
  }
  h.section_table_offset = h.optional_offset + h.optional_size;
  const std::int64_t table_end = h.section_table_offset + 40 * std::int64_t{h.section_count};
  if (table_end > h.file_size || table_end > h.size_of_headers)
    Bad("the section table is cut short");
  std::vector<std::uint8_t> table(40 * std::size_t{h.section_count});
  if (!table.empty())
    ReadAt(file, h.section_table_offset, table.data(), static_cast<std::uint32_t>(table.size()));
  for (std::uint16_t i = 0; i < h.section_count; ++i) {
    const std::uint8_t* s = table.data() + 40 * i;
    Section section;
    section.name.assign(reinterpret_cast<const char*>(s),
                        strnlen(reinterpret_cast<const char*>(s), 8));
    section.virtual_size = platform::ReadLe32(s + 8);
    section.virtual_address = platform::ReadLe32(s + 12);
    section.raw_size = platform::ReadLe32(s + 16);
    section.raw_offset = platform::ReadLe32(s + 20);
    section.characteristics = platform::ReadLe32(s + 36);
    if (section.raw_size > 0 && std::int64_t{section.raw_offset} + section.raw_size > h.file_size) {
      Bad("section " + section.name + " lies outside the file");
    }
    sections_.push_back(section);
  }
  ReadResources(file);
}

std::int64_t PeImage::FileOffsetOf(std::uint32_t rva, std::uint32_t size) const {
  for (const Section& s : sections_) {
    if (rva >= s.virtual_address &&
        std::uint64_t{rva} + size <= std::uint64_t{s.virtual_address} + s.raw_size) {
      return std::int64_t{s.raw_offset} + (rva - s.virtual_address);
    }
  }
  return -1;
}

void PeImage::ReadResources(platform::File& file) {
  if (headers_.directory_count <= kDirResource) return;
  std::uint8_t dir[8];
  ReadAt(file, headers_.directories_offset + 8 * kDirResource, dir, sizeof dir);
  const std::uint32_t root_rva = platform::ReadLe32(dir);
  if (root_rva == 0) return;
  for (std::size_t i = 0; i < sections_.size(); ++i) {
    const Section& s = sections_[i];
    if (root_rva >= s.virtual_address && root_rva - s.virtual_address < s.raw_size) {
      resource_section_ = static_cast<int>(i);
    }
  }
  if (resource_section_ < 0) Bad("the resource directory lies outside the sections");
  const Section& rs = sections_[resource_section_];
  // Offsets in the directory are relative to its start; everything must lie in the section's
  // file data.
  const std::int64_t base = rs.raw_offset + std::int64_t{root_rva - rs.virtual_address};
  const std::int64_t limit = std::int64_t{rs.raw_size} - (root_rva - rs.virtual_address);
  auto read_dir = [&](std::uint32_t offset, std::uint32_t size, void* out) {
    if (std::int64_t{offset} + size > limit) Bad("the resource directory is damaged");
    ReadAt(file, base + offset, out, size);
  };
  auto read_name = [&](std::uint32_t offset) {
    std::uint8_t len[2];
    read_dir(offset, 2, len);
    const std::uint16_t n = platform::ReadLe16(len);
    if (n == 0) Bad("a resource has an empty name");
    std::vector<std::uint8_t> bytes(2 * std::size_t{n});
    read_dir(offset + 2, static_cast<std::uint32_t>(bytes.size()), bytes.data());
    Text name(n, u'\0');
    for (std::uint16_t i = 0; i < n; ++i)
      name[i] = static_cast<char16_t>(platform::ReadLe16(bytes.data() + 2 * i));
    return ResourceId::Name(name);
  };
  std::set<std::uint32_t> visited;
  // Walks one table; path holds the type and name found above it.
  auto walk = [&](auto&& self, std::uint32_t offset, int depth, ResourceId type,
                  ResourceId name) -> void {
    if (!visited.insert(offset).second) Bad("the resource directory has a loop");
    std::uint8_t head[16];
    read_dir(offset, 16, head);
    const std::uint32_t count =
        std::uint32_t{platform::ReadLe16(head + 12)} + platform::ReadLe16(head + 14);
    std::vector<std::uint8_t> entries(8 * std::size_t{count});
    if (count > 0) read_dir(offset + 16, 8 * count, entries.data());
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t key = platform::ReadLe32(entries.data() + 8 * i);
      const std::uint32_t target = platform::ReadLe32(entries.data() + 8 * i + 4);
      const bool subdir = (target & 0x80000000u) != 0;
      const std::uint32_t where = target & 0x7FFFFFFFu;
      if (depth < kDirectoryDepth - 1) {
        const ResourceId id = (key & 0x80000000u) ? read_name(key & 0x7FFFFFFFu)
                                                  : ResourceId::Id(static_cast<std::uint16_t>(key));
        if (!subdir) Bad("the resource directory is damaged");
        if (depth == 0)
          self(self, where, depth + 1, id, ResourceId());
        else
          self(self, where, depth + 1, type, id);
        continue;
      }
      if (subdir || (key & 0x80000000u)) Bad("the resource directory is nested too deep");
      std::uint8_t data[16];
      read_dir(where, 16, data);
      ResourceEntry e;
      e.type = type;
      e.name = name;
      e.language = static_cast<std::uint16_t>(key);
      e.rva = platform::ReadLe32(data);
      e.size = platform::ReadLe32(data + 4);
      e.code_page = platform::ReadLe32(data + 8);
      e.file_offset = FileOffsetOf(e.rva, e.size);
      if (e.file_offset < 0) {
        Bad("resource " + Describe(type) + "/" + Describe(name) + " lies outside the file");
      }
      resources_.push_back(std::move(e));
    }
  };
  walk(walk, 0, 0, ResourceId(), ResourceId());
  std::stable_sort(resources_.begin(), resources_.end(),
                   [](const ResourceEntry& a, const ResourceEntry& b) {
                     if (!(a.type == b.type)) return a.type < b.type;
                     if (!(a.name == b.name)) return a.name < b.name;
                     return a.language < b.language;
                   });
}

const ResourceEntry* PeImage::Find(const ResourceId& type, const ResourceId& name,
                                   std::optional<std::uint16_t> language) const {
  const ResourceId t = type.IsName() ? ResourceId::Name(type.name) : type;
  const ResourceId n = name.IsName() ? ResourceId::Name(name.name) : name;
  for (const ResourceEntry& e : resources_) {
    if (e.type == t && e.name == n && (!language || e.language == *language)) return &e;
  }
  return nullptr;
}

std::vector<std::uint8_t> ReadResourceBytes(platform::File& file, const ResourceEntry& entry) {
  std::vector<std::uint8_t> bytes(entry.size);
  if (entry.size > 0) ReadAt(file, entry.file_offset, bytes.data(), entry.size);
  return bytes;
}

std::optional<Text> LoadString(platform::File& file, const PeImage& image, std::uint32_t id,
                               std::uint16_t language) {
  const ResourceEntry* block = image.Find(
      ResourceId::Id(kRtString), ResourceId::Id(static_cast<std::uint16_t>(id / 16 + 1)), language);
  if (!block) return std::nullopt;
  const std::vector<std::uint8_t> bytes = ReadResourceBytes(file, *block);
  std::size_t at = 0;
  for (std::uint32_t i = 0; i < 16; ++i) {
    if (at + 2 > bytes.size()) return std::nullopt;
    const std::uint16_t n = platform::ReadLe16(bytes.data() + at);
    at += 2;
    if (at + 2 * std::size_t{n} > bytes.size()) return std::nullopt;
    if (i == id % 16) {
      if (n == 0) return std::nullopt;
      Text s(n, u'\0');
      for (std::uint16_t k = 0; k < n; ++k)
        s[k] = static_cast<char16_t>(platform::ReadLe16(bytes.data() + at + 2 * k));
      return s;
    }
    at += 2 * std::size_t{n};
  }
  return std::nullopt;
}

}  // namespace builder
