// Locating the manifest from the tail, and the writer's layout read back by the reader.
#include "package/package_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "package/data_table.h"
#include "platform/errors.h"
#include "platform/text.h"
#include "tests/package/package_fixture.h"

namespace pkgtest {
namespace {

using package::LocateManifest;
using package::ManifestLocation;
using package::TailShape;

// "<members>MANIFEST<L LE><tail>" with a hand-made tail.
std::string Layout(const std::string& manifest, const std::string& tail, std::int32_t length) {
  std::string out = "MEMBERS" + manifest;
  for (int shift = 0; shift < 32; shift += 8) {
    out += static_cast<char>(static_cast<std::uint32_t>(length) >> shift);
  }
  return out + tail;
}

class FormatTest : public PackageTest {
 protected:
  ManifestLocation Locate(const std::string& bytes) {
    WriteFile(kPackage, bytes);
    auto file = os_.OpenFileForRead(kPackage);
    return LocateManifest(*file);
  }
  std::string ReadManifest(const std::string& bytes) {
    WriteFile(kPackage, bytes);
    auto file = os_.OpenFileForRead(kPackage);
    return package::ReadManifestBytes(*file, LocateManifest(*file));
  }
};

TEST_F(FormatTest, EachTailShapeIsToldByItsTwoMarkerBytes) {
  const std::string sep20 = "ABCDEFGHIJKLMNOPQRS!";  // last byte not 0x0A
  const std::string tag9_long = "123456789";         // byte E-2 = '8', not 0x14
  struct Case {
    std::string tail;
    int m;
  } cases[] = {
      {std::string("\x0A\x14\x02", 3), 3},
      {std::string("\x0A\x14\xFF", 3), 3},  // the last tag byte is never examined
      {sep20 + std::string("\x14\x00", 2), 22},
      {"\x0A" + tag9_long, 10},
      {sep20 + tag9_long, 29},
      // A 20-byte separator may hold 0x0A anywhere but in its last byte.
      {"\x0A\x0A\x0A" + sep20.substr(3) + tag9_long, 29},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.m);
    const std::string bytes = Layout("manifest!", c.tail, 9);
    const ManifestLocation loc = Locate(bytes);
    EXPECT_FALSE(loc.empty);
    EXPECT_EQ(loc.tail_length, c.m);
    EXPECT_EQ(loc.length, 9);
    EXPECT_EQ(loc.offset, 7);
    EXPECT_EQ(ReadManifest(bytes), "manifest!");
  }
}

TEST_F(FormatTest, WrittenTailsAreReadAsTheirOwnShape) {
  for (TailShape shape : package::kAllTailShapes) {
    const std::vector<std::uint8_t> tail = package::MakeTail(shape);
    ASSERT_EQ(static_cast<int>(tail.size()), package::TailLength(shape));
    const ManifestLocation loc = Locate(Layout("xyz", std::string(tail.begin(), tail.end()), 3));
    EXPECT_EQ(loc.tail_length, package::TailLength(shape));
    EXPECT_EQ(loc.offset, 7);
  }
}

TEST_F(FormatTest, LengthFieldAndShortFiles) {
  const std::string tail("\x0A\x14\x02", 3);
  // File size is 7 + 3 + 4 + 3 = 17 for a 3-byte manifest.
  EXPECT_FALSE(Locate(Layout("abc", tail, 3)).empty);
  EXPECT_TRUE(Locate(Layout("abc", tail, 17)).empty);          // equal to the file size
  EXPECT_TRUE(Locate(Layout("abc", tail, 0x7FFFFFFF)).empty);  // larger
  EXPECT_EQ(Locate(Layout("abc", tail, 0)).length, 0);
  // Fourteen bytes before the length field: a length of 15 starts before the file.
  EXPECT_THROW(Locate(Layout("abc", tail, 15)), platform::EReadError);
  // A negative length passes the size test but must not become a read.
  EXPECT_THROW(Locate(Layout("abc", tail, -1)), platform::EFormatError);
  EXPECT_THROW(Locate(Layout("abc", tail, INT32_MIN)), platform::EFormatError);
  // Too short for the tail bytes or the length field.
  for (const std::string& tiny : {std::string(), std::string("\x14"),
                                  std::string("\x0A\x14\x02", 3), std::string("1\x0A\x14\x02")}) {
    EXPECT_THROW(Locate(tiny), platform::EReadError) << tiny.size();
  }
}

TEST(ManifestTextTest, WriterTextParsesBackToTheSameCells) {
  std::vector<package::ManifestRow> rows = {
      {u"#first\\", u"a,b|c.txt", 10, 20, false},
      {u"", u"Grüße 文件.dll", 1, 2, true},
      {u"$System$", u"sys.dll", 3, 4, false},
  };
  const Text text = package::FormatManifestText(rows, u"Demo");
  tvdata::TDataTable table(Text(), tvdata::TColumnSet{package::kColName});
  table.Init(text);
  ASSERT_EQ(table.ItemCount(), 3);
  EXPECT_EQ(table.PropertyRow().Items(0).Text(), u"Demo");
  EXPECT_EQ(table.PropertyRow().Items(1).Value(), 3);
  for (int i = 0; i < 3; ++i) {
    tvdata::TRow& row = table.Items(i);
    EXPECT_EQ(row.Items(0).Text(), rows[i].folder);
    EXPECT_EQ(row.Items(1).Text(), rows[i].name);
    EXPECT_EQ(row.Items(2).Value(), rows[i].compressed);
    EXPECT_EQ(row.Items(3).Value(), rows[i].size);
    EXPECT_EQ(row.ItemCount() > 4 && row.Items(4).AsBool(), rows[i].flat);
  }

  table.Init(package::FormatManifestText({}, u"Empty"));
  EXPECT_EQ(table.ItemCount(), 0);
}

TEST(ManifestTextTest, RowsTheReaderCannotGetBackAreRefused) {
  struct Case {
    package::ManifestRow row;
    bool ok;
  } cases[] = {
      {{u"sub\\", u"a,b.txt", 0, 0, false}, true},
      {{u"a,b\\", u"x", 0, 0, false}, false},
      {{u"a|b\\", u"x", 0, 0, false}, false},
      {{u"", u"tab\tname", 0, 0, false}, false},
      {{u"", u"", 0, 0, false}, false},
      {{u"", u"x", -1, 0, false}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(package::CheckManifestRow(c.row).empty(), c.ok)
        << platform::TextToUtf8(c.row.folder + c.row.name);
  }
  // Whatever reaches the writer unchecked, it never writes a text that reads back as other cells
  // or rows: a separator in the folder cell, a "#" or "," in the header's name.
  const std::vector<package::ManifestRow> plain = {{u"", u"x", 0, 0, false}};
  const std::vector<package::ManifestRow> comma = {{u"a,b\\", u"x", 0, 0, false}};
  const std::vector<package::ManifestRow> bar = {{u"a|b\\", u"x", 0, 0, false}};
  EXPECT_THROW(package::FormatManifestText(comma, u"Demo"), platform::EConvertError);
  EXPECT_THROW(package::FormatManifestText(bar, u"Demo"), platform::EConvertError);
  EXPECT_THROW(package::FormatManifestText(plain, u"De#mo"), platform::EConvertError);
  EXPECT_THROW(package::FormatManifestText(plain, u"De,mo"), platform::EConvertError);
}

}  // namespace
}  // namespace pkgtest
