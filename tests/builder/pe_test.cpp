// The PE reader and the resource writer, on small images made here.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "builder/memory_file.h"
#include "builder/pe_image.h"
#include "builder/resource_writer.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "tests/builder/minimal_image.h"

namespace builder {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The checksum as Windows computes it: word by word, folding the carry each time.
std::uint32_t ReferenceChecksum(const Bytes& file, std::uint32_t checksum_at) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < file.size(); i += 2) {
    if (i == checksum_at || i == checksum_at + 2) continue;
    std::uint32_t w = file[i];
    if (i + 1 < file.size()) w |= std::uint32_t{file[i + 1]} << 8;
    sum += w;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return sum + static_cast<std::uint32_t>(file.size());
}

Bytes Pattern(std::size_t n, std::uint32_t seed) {
  Bytes b(n);
  for (auto& x : b) {
    seed = seed * 1103515245u + 12345u;
    x = static_cast<std::uint8_t>(seed >> 16);
  }
  return b;
}

struct Built {
  MemoryFile file;
  WrittenImage written;
};

Built Build(const Bytes& stub_bytes, const std::vector<ResourceInput>& resources,
            const Bytes* streamed_bytes) {
  MemoryFile stub(stub_bytes);
  PeImage image(stub);
  Built out;
  StreamedResource streamed{
      ResourceId::Name(u"StpFile"), ResourceId::Name(u"SetupPackage"), 0,
      [&](platform::File& sink) {
        // Pieces of odd sizes, as a compressor hands them over.
        std::size_t at = 0, piece = 1;
        while (at < streamed_bytes->size()) {
          const std::size_t n = std::min(piece, streamed_bytes->size() - at);
          ASSERT_TRUE(sink.Write(streamed_bytes->data() + at, static_cast<std::uint32_t>(n)));
          at += n;
          piece = piece * 3 + 1;
        }
      }};
  out.written = WriteImageWithResources(stub, image, resources,
                                        streamed_bytes ? &streamed : nullptr, out.file);
  return out;
}

std::vector<ResourceInput> ProductResources() {
  std::vector<ResourceInput> r = StringTableResources(
      {{1001, u"WindowClass"}, {1010, u"App"}, {1012, u"12 MB"}, {1005, u"塔维"}}, 2052);
  r.push_back({ResourceId::Id(kRtRcData), ResourceId::Name(u"ImageLeft0"), 0, Pattern(777, 1)});
  r.push_back({ResourceId::Id(kRtIcon), ResourceId::Id(1), 0, Pattern(40, 2)});
  r.push_back({ResourceId::Id(kRtGroupIcon), ResourceId::Name(u"APPICON"), 0, Pattern(20, 3)});
  return r;
}

TEST(ResourceWriter, WrittenImageReadsBackWithEveryResource) {
  for (std::uint32_t alignment : {512u, 4096u}) {
    SCOPED_TRACE(alignment);
    const Bytes stub = MinimalImage(alignment);
    const Bytes package = Pattern(300001, 9);
    Built built = Build(stub, ProductResources(), &package);
    const Bytes& out = built.file.bytes();
    PeImage image(built.file);

    EXPECT_EQ(LoadString(built.file, image, 1001, 2052), u"WindowClass");
    EXPECT_EQ(LoadString(built.file, image, 1005, 2052), u"塔维");
    EXPECT_EQ(LoadString(built.file, image, 1010, 2052), u"App");
    EXPECT_EQ(LoadString(built.file, image, 1012, 2052), u"12 MB");
    EXPECT_EQ(LoadString(built.file, image, 1011, 2052), std::nullopt);
    EXPECT_EQ(LoadString(built.file, image, 1001, 1033), std::nullopt);
    // Names are found in any letter case.
    const ResourceEntry* banner =
        image.Find(ResourceId::Id(kRtRcData), ResourceId::Name(u"imageleft0"));
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(ReadResourceBytes(built.file, *banner), Pattern(777, 1));
    const ResourceEntry* pkg =
        image.Find(ResourceId::Name(u"stpfile"), ResourceId::Name(u"setuppackage"));
    ASSERT_NE(pkg, nullptr);
    EXPECT_EQ(ReadResourceBytes(built.file, *pkg), package);
    EXPECT_EQ(pkg->file_offset % 4096, 0) << "the package starts on a page of the file";
    EXPECT_EQ(pkg->file_offset, built.written.streamed_offset);
    EXPECT_EQ(pkg->rva % 4096, 0u) << "and on a page of the image";

    // The code is untouched; one new last section; nothing after it; sizes and checksum agree.
    const PeHeaders& h = image.headers();
    ASSERT_EQ(image.sections().size(), 2u);
    EXPECT_TRUE(
        std::equal(stub.begin() + h.size_of_headers, stub.end(), out.begin() + h.size_of_headers));
    const Section& rsrc = image.sections().back();
    EXPECT_EQ(rsrc.name, ".rsrc");
    EXPECT_EQ(image.resource_section(), 1);
    EXPECT_EQ(std::int64_t{rsrc.raw_offset} + rsrc.raw_size, std::int64_t(out.size()));
    EXPECT_EQ(rsrc.raw_offset % 4096, 0u)
        << "a page in the file, as in the image, whatever the file alignment";
    EXPECT_EQ(rsrc.raw_size % alignment, 0u);
    EXPECT_EQ(h.size_of_image, (rsrc.virtual_address + rsrc.virtual_size + 0xFFF) & ~0xFFFu);
    EXPECT_EQ(platform::ReadLe32(&out[h.directories_offset + 8 * kDirResource]),
              rsrc.virtual_address);
    EXPECT_EQ(platform::ReadLe32(&out[h.directories_offset + 8 * kDirSecurity]), 0u);
    EXPECT_EQ(h.checksum, ReferenceChecksum(out, h.optional_offset + kOptCheckSum));
  }
}

TEST(ResourceWriter, WritingAgainReplacesAndKeepsResourcesInDirectoryOrder) {
  const Bytes package = Pattern(5000, 4);
  Built first = Build(MinimalImage(4096), ProductResources(), &package);
  std::vector<ResourceInput> more = StringTableResources({{1010, u"Other"}}, 2052);
  more.push_back(
      {ResourceId::Id(kRtRcData), ResourceId::Name(u"INSTALLEDFILES"), 0, Pattern(10, 5)});
  more.push_back({ResourceId::Id(kRtRcData), ResourceId::Id(7), 1033, Pattern(3, 6)});
  Built second = Build(first.file.bytes(), more, nullptr);
  PeImage image(second.file);

  // The previous resource section was last, so it was replaced rather than kept.
  EXPECT_EQ(image.sections().size(), 2u);
  EXPECT_EQ(LoadString(second.file, image, 1010, 2052), u"Other");
  EXPECT_EQ(LoadString(second.file, image, 1012, 2052), std::nullopt)
      << "its whole block is replaced";
  EXPECT_EQ(LoadString(second.file, image, 1001, 2052), u"WindowClass") << "another block stays";
  const ResourceEntry* pkg =
      image.Find(ResourceId::Name(u"StpFile"), ResourceId::Name(u"SetupPackage"));
  ASSERT_NE(pkg, nullptr);
  EXPECT_EQ(ReadResourceBytes(second.file, *pkg), package);
  std::vector<std::string> order;
  for (const ResourceEntry& e : image.resources()) {
    order.push_back(Describe(e.type) + "/" + Describe(e.name) + "/" + std::to_string(e.language));
  }
  const std::vector<std::string> expected = {
      "STPFILE/SETUPPACKAGE/0", "#3/#1/0",     "#6/#63/2052",  "#6/#64/2052", "#10/IMAGELEFT0/0",
      "#10/INSTALLEDFILES/0",   "#10/#7/1033", "#14/APPICON/0"};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(image.headers().checksum,
            ReferenceChecksum(second.file.bytes(), image.headers().optional_offset + kOptCheckSum));
}

TEST(ResourceWriter, ResourceSectionFollowedByAnotherIsLeftInPlace) {
  // An image whose resource section is followed by a relocation section, as the linker makes it.
  Built first = Build(MinimalImage(512), StringTableResources({{1001, u"Old"}}, 2052), nullptr);
  Bytes b = first.file.bytes();
  PeImage before(first.file);
  const Section last = before.sections().back();
  const std::uint32_t table = before.headers().section_table_offset;
  platform::WriteLe16(&b[70], 3);
  std::uint8_t* s = &b[table + 80];
  std::copy_n(".reloc", 6, s);
  platform::WriteLe32(s + 8, 8);
  platform::WriteLe32(s + 12, last.virtual_address + 0x1000);
  platform::WriteLe32(s + 16, 512);
  platform::WriteLe32(s + 20, static_cast<std::uint32_t>(b.size()));
  platform::WriteLe32(s + 36, 0x42000040);
  b.resize(b.size() + 512, 0xEE);
  platform::WriteLe32(&b[88 + 56], last.virtual_address + 0x2000);

  Built second = Build(b, StringTableResources({{1010, u"New"}}, 2052), nullptr);
  PeImage image(second.file);
  ASSERT_EQ(image.sections().size(), 4u);
  EXPECT_EQ(image.sections()[2].name, ".reloc");
  EXPECT_EQ(image.resource_section(), 3);
  EXPECT_GT(image.sections()[3].virtual_address, image.sections()[2].virtual_address);
  EXPECT_EQ(LoadString(second.file, image, 1001, 2052), u"Old");
  EXPECT_EQ(LoadString(second.file, image, 1010, 2052), u"New");
}

TEST(PeImage, DamagedImagesAreRefusedWithAReason) {
  const Bytes good = Build(MinimalImage(512), ProductResources(), nullptr).file.bytes();
  PeImage image([&] {
    MemoryFile f(good);
    return PeImage(f);
  }());
  const std::uint32_t rsrc = image.sections().back().raw_offset;
  struct Case {
    const char* what;
    std::function<void(Bytes&)> damage;
  };
  const Case cases[] = {
      {"no MZ", [](Bytes& b) { b[0] = 'X'; }},
      {"short file", [](Bytes& b) { b.resize(40); }},
      {"no PE signature", [](Bytes& b) { b[65] = 'X'; }},
      {"PE header outside the file", [](Bytes& b) { platform::WriteLe32(&b[60], 0x7FFFFFF0); }},
      {"section outside the file", [](Bytes& b) { b.resize(b.size() - 1); }},
      {"directory loop", [&](Bytes& b) { platform::WriteLe32(&b[rsrc + 16 + 4], 0x80000000u); }},
      {"entry outside the directory",
       [&](Bytes& b) { platform::WriteLe32(&b[rsrc + 16 + 4], 0x80FFFFF0u); }},
      {"resource outside the file",
       [&](Bytes& b) {
         // The first type's first name's first language's data entry.
         MemoryFile f(b);
         PeImage i(f);
         const std::uint32_t rva = i.resources().front().rva;
         for (std::size_t at = rsrc; at + 4 <= b.size(); at += 4) {
           if (platform::ReadLe32(&b[at]) == rva) {
             platform::WriteLe32(&b[at], 0x7FFF0000);
             break;
           }
         }
       }},
  };
  for (const Case& c : cases) {
    Bytes b = good;
    c.damage(b);
    MemoryFile f(b);
    EXPECT_THROW(PeImage{f}, platform::Exception) << c.what;
  }
}

}  // namespace
}  // namespace builder
