// ExtractPackage over the simulated Windows: round trips, destinations, progress, failures.
#include "package/extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <typeinfo>
#include <vector>

#include "package/package_format.h"
#include "platform/errors.h"
#include "platform/fs_util.h"
#include "platform/text.h"
#include "tests/package/deflate_craft.h"
#include "tests/package/package_fixture.h"

namespace pkgtest {
namespace {

using package::ManifestRow;
using package::PackageWriter;
using package::PackOptions;
using package::TailShape;
using platform::AsciiToText;

using Tree = std::vector<std::pair<std::string, std::string>>;

Text Num(size_t n) { return AsciiToText(std::to_string(n)); }

// A manifest row text for a member: "folder,name,C,U".
Text Row(const Text& folder, const Text& name, const std::string& member, size_t size) {
  return folder + u"," + name + u"," + Num(member.size()) + u"," + Num(size);
}

using package::MemberDecoder;

// How a case extracts: the decoder, and whether a second thread writes the decoded members.
struct Mode {
  MemberDecoder decoder;
  bool write_behind;
};

// Every case runs with both member decoders, and the whole-member one also with its writer
// thread; all must write the same bytes and raise the same errors.
class ExtractTest : public PackageTest, public testing::WithParamInterface<Mode> {
 protected:
  ExtractTest() {
    decoder_ = GetParam().decoder;
    write_behind_ = GetParam().write_behind;
  }

  // Packs host files of `tree` (written under C:\src\) with the library writer.
  void PackTree(const Tree& tree, const PackOptions& options) {
    std::unique_ptr<platform::File> out = os_.CreateFileForWrite(kPackage);
    ASSERT_TRUE(out);
    PackageWriter writer(std::move(out), options);
    for (const auto& [rel, content] : tree) {
      Text path = platform::Utf8ToText(rel);
      for (char16_t& c : path) c = c == u'/' ? u'\\' : c;
      WriteFile(u"C:\\src\\" + path, content);
      ManifestRow row;
      row.folder = platform::FolderPart(path);
      row.name = platform::LastComponent(path);
      auto source = os_.OpenFileForRead(u"C:\\src\\" + path);
      ASSERT_TRUE(source);
      writer.AddFile(row, *source);
    }
    writer.Finish();
  }
};

const Tree& MixedTree() {
  static const Tree tree = [] {
    Tree t = {
        {"empty.txt", ""},
        {"tiny.bin", "x"},
        {"big/compressible.txt", Pattern(3'000'000, 1, true)},
        {"big/noise.bin", Pattern(2'500'000, 2, false)},
        {"names/a,b c.txt", "comma"},
        {"names/Grüße 文件.dll", "non-ASCII"},
        {"deep/er/still/deeper/leaf.dat", Pattern(70'000, 3, true)},
    };
    std::sort(t.begin(), t.end());
    return t;
  }();
  return tree;
}

TEST_P(ExtractTest, MixedTreeRoundTripsByteForByte) {
  PackTree(MixedTree(), PackOptions{});
  Extract();
  EXPECT_EQ(TreeOf(kTarget), MixedTree());
  ASSERT_EQ(progress_.size(), MixedTree().size());
  EXPECT_TRUE(std::is_sorted(progress_.begin(), progress_.end()));
  EXPECT_EQ(progress_.back(), 100);
  // The package is closed afterwards: the simulated Windows refuses to delete an open file.
  EXPECT_TRUE(os_.DeleteFile(kPackage));
}

TEST_P(ExtractTest, EveryCipherAndDigestWithAPassword) {
  const Tree tree = {{"a.txt", "alpha"}, {"sub/b,c.txt", Pattern(5000, 9, true)}};
  for (int cipher = 0; cipher < 9; ++cipher) {
    for (int digest = 0; digest < 5; ++digest) {
      SCOPED_TRACE(testing::Message() << "cipher " << cipher << " digest " << digest);
      PackOptions options;
      options.cipher = cipher;
      options.digest = digest;
      options.password = u"pässword";
      PackTree(tree, options);
      std::filesystem::remove_all(HostPath(kTarget));
      Extract(u"pässword");
      EXPECT_EQ(TreeOf(kTarget), tree);
    }
  }
  // The wrong password yields a text that is no manifest: nothing is written.
  std::filesystem::remove_all(HostPath(kTarget));
  EXPECT_THROW(Extract(u"wrong"), platform::Exception);
  EXPECT_TRUE(TreeOf(kTarget).empty());
}

TEST_P(ExtractTest, EveryTailShape) {
  const std::string member = Deflate("payload");
  for (TailShape shape : package::kAllTailShapes) {
    SCOPED_TRACE(package::TailLength(shape));
    WritePackage({member, u"##" + Row(u"", u"f.txt", member, 7), shape});
    Extract();
    EXPECT_EQ(ReadFile(kTarget + u"f.txt"), "payload");
  }
}

TEST_P(ExtractTest, HeaderOnlyManifestWritesNothingAndReportsNothing) {
  for (const Text& manifest : {Text(u"#p#"), Text(u"##")}) {
    WritePackage({"", manifest});
    Extract();
    EXPECT_TRUE(progress_.empty());
    EXPECT_TRUE(TreeOf(kTarget).empty());
  }
}

TEST_P(ExtractTest, PropertyHeaderIsSkipped) {
  const std::string m = Deflate("data");
  WritePackage({m, u"#Product,7,x#" + Row(u"", u"a.txt", m, 4)});
  Extract();
  EXPECT_EQ(ReadFile(kTarget + u"a.txt"), "data");
}

TEST_P(ExtractTest, ProgressRoundsHalvesToEven) {
  // Sizes 1, 2, 2, 3 of a total of 8: 12.5, 37.5, 62.5, 100.
  std::string members;
  Text manifest;
  int n = 0;
  for (const char* content : {"a", "bb", "cc", "ddd"}) {
    const std::string m = Deflate(content);
    members += m;
    if (n) manifest += u"|";
    manifest += Row(u"", u"f" + Num(n++), m, std::string(content).size());
  }
  WritePackage({members, manifest});
  Extract();
  EXPECT_EQ(progress_, (std::vector<std::int32_t>{12, 38, 62, 100}));

  EXPECT_EQ(package::ProgressPercent(0, 0), 100);
  EXPECT_EQ(package::ProgressPercent(1, 200), 0);  // 0.5 -> 0
  EXPECT_EQ(package::ProgressPercent(3, 200), 2);  // 1.5 -> 2
  EXPECT_EQ(package::ProgressPercent(2, 3), 67);
}

TEST_P(ExtractTest, EmptyFilesReportOneHundred) {
  const std::string m = Deflate("");
  WritePackage({m + m, Row(u"", u"a", m, 0) + u"|" + Row(u"", u"b", m, 0)});
  Extract();
  EXPECT_EQ(progress_, (std::vector<std::int32_t>{100, 100}));
}

TEST_P(ExtractTest, Destinations) {
  const std::string m = Deflate("content");
  struct Case {
    Text folder_cell;
    Text name_cell;
    Text expected;  // where the file lands
  } cases[] = {
      {u"", u"plain.txt", kTarget + u"plain.txt"},
      {u"sub\\", u"s.txt", kTarget + u"sub\\s.txt"},
      {u"sub", u"joined.txt", kTarget + u"subjoined.txt"},  // joined with nothing between
      {u"", u"dir\\last.dll", kTarget + u"last.dll"},       // last component only
      {u"", u"c:drive.dll", kTarget + u"drive.dll"},
      {u"sub\\..\\in\\", u"back.txt", kTarget + u"in\\back.txt"},
      {u"$System$", u"s1.dll", kSystemDir + u"s1.dll"},
      {u"$Third$", u"s2.dll", kSystemDir + u"s2.dll"},
      {u"$third$", u"s3.dll", kSystemDir + u"s3.dll"},
      {u"$System$sub\\", u"s4.dll", kSystemDir + u"sub\\s4.dll"},
      {u"$System$", u"nested\\s5.dll", kSystemDir + u"s5.dll"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::TextToUtf8(c.folder_cell + u" | " + c.name_cell));
    WritePackage({m, Row(c.folder_cell, c.name_cell, m, 7)});
    Extract();
    EXPECT_EQ(ReadFile(c.expected), "content");
  }
}

TEST_P(ExtractTest, ResolveSystemFolderRule) {
  const Text sys = u"C:\\W\\";
  EXPECT_EQ(package::ResolveSystemFolder(u"$SYSTEM$System", sys), u"C:\\W\\System");
  EXPECT_EQ(package::ResolveSystemFolder(u"$System$$third$", sys), u"C:\\W\\$third$");
  EXPECT_EQ(package::ResolveSystemFolder(u"$third$x\\$THIRD$", sys), u"C:\\W\\x\\C:\\W\\");
  EXPECT_EQ(package::ResolveSystemFolder(u"$Other\\", sys), u"$Other\\");
}

TEST_P(ExtractTest, FlatRowsGoStraightIntoTheTarget) {
  const std::string m = Deflate("flat");
  for (const Text& folder : {Text(u"sub\\"), Text(u"$System$")}) {
    WriteFile(kSystemDir + u"f.dll", "existing");  // no skip for flat rows
    WritePackage({m, Row(folder, u"x\\f.dll", m, 4) + u",True"});
    Extract();
    EXPECT_EQ(ReadFile(kTarget + u"f.dll"), "flat");
    EXPECT_EQ(ReadFile(kSystemDir + u"f.dll"), "existing");
  }
  // Cell 4 false or "0": the folder cell counts again.
  WritePackage({m, Row(u"sub\\", u"g.dll", m, 4) + u",0"});
  Extract();
  EXPECT_EQ(ReadFile(kTarget + u"sub\\g.dll"), "flat");
}

TEST_P(ExtractTest, ExistingSystemFileIsSkippedAndItsMemberStepped) {
  const std::string first = Deflate("new system file");
  const std::string second = Deflate("second");
  const std::string third = Deflate("third!");
  WriteFile(kSystemDir + u"dir\\lib.dll", "old");  // folder + whole cell 1
  WriteFile(kSystemDir + u"last.dll", "old last");
  WritePackage({first + second + third, Row(u"$System$", u"dir\\lib.dll", first, 15) + u"|" +
                                            Row(u"", u"second.txt", second, 6) + u"|" +
                                            Row(u"$Third$", u"last.dll", third, 6)});
  Extract();
  EXPECT_EQ(ReadFile(kSystemDir + u"dir\\lib.dll"), "old");
  EXPECT_EQ(ReadFile(kSystemDir + u"lib.dll"), "<missing>");
  EXPECT_EQ(ReadFile(kTarget + u"second.txt"), "second");
  EXPECT_EQ(ReadFile(kSystemDir + u"last.dll"), "old last");
  // Only the written row reports: (15 + 6) / 27, and nothing for the skipped last row.
  EXPECT_EQ(progress_, (std::vector<std::int32_t>{78}));
}

TEST_P(ExtractTest, ExistingOrdinaryFileIsReplaced) {
  WriteFile(kTarget + u"a.txt", "a much longer old content");
  const std::string m = Deflate("new");
  WritePackage({m, Row(u"", u"a.txt", m, 3)});
  Extract();
  EXPECT_EQ(ReadFile(kTarget + u"a.txt"), "new");
}

TEST_P(ExtractTest, ShortMemberIsPaddedWithZerosAndLongOneCut) {
  const std::string m1 = Deflate("abc");
  const std::string m2 = Deflate("abcdefgh");
  const std::string m3 = "";  // no member bytes at all
  WritePackage({m1 + m2 + m3, Row(u"", u"short", m1, 6) + u"|" + Row(u"", u"cut", m2, 4) + u"|" +
                                  Row(u"", u"none", m3, 3)});
  Extract();
  EXPECT_EQ(ReadFile(kTarget + u"short"), std::string("abc\0\0\0", 6));
  EXPECT_EQ(ReadFile(kTarget + u"cut"), "abcd");
  EXPECT_EQ(ReadFile(kTarget + u"none"), std::string(3, '\0'));
}

TEST_P(ExtractTest, TruncatedStreamInputIsPadded) {
  // The member's C cuts the stream short; what it held is written, then zeros up to U.
  const std::string text = Pattern(600'000, 4, true);
  const std::string full = Deflate(text, 1);
  const std::string half = full.substr(0, full.size() / 2);
  WritePackage({half, Row(u"", u"t", half, text.size())});
  Extract();
  const std::string out = ReadFile(kTarget + u"t");
  ASSERT_EQ(out.size(), text.size());
  const size_t good = out.find_last_not_of('\0') + 1;
  EXPECT_GT(good, 0u);
  EXPECT_EQ(out.substr(0, good), text.substr(0, good));
}

// The failure table: what is raised and what is left on disk.
TEST_P(ExtractTest, FailureTable) {
  const std::string a = Deflate("first");
  const std::string b = Deflate(Pattern(800'000, 5, true));
  std::string b_bad_check = b;
  b_bad_check.back() ^= 0x55;  // Adler-32 wrong: found after every byte was written
  std::string b_bad_data = b;
  b_bad_data[1] = 0x00;  // header check fails at once
  const Text ok_row = Row(u"", u"a.txt", a, 5);

  enum Kind { kNone, kRead, kConvert, kRange, kFormat, kWrite };
  struct Case {
    const char* what;
    std::string members;
    Text manifest;
    Kind raised;
    std::string a_txt;  // content of a.txt afterwards
    std::string b_txt;  // content of b.txt afterwards
    std::function<void()> before;
  };
  const Case cases[] = {
      {"length field not less than the size", "", u"", kNone, "<missing>", "<missing>",
       [this] { WriteFile(kPackage, std::string("\xFF\xFF\xFF\x7F\x0A\x14\x02", 7)); }},
      {"member runs past the end", a + b.substr(0, b.size() / 2),
       ok_row + u"|" + Row(u"", u"b.txt", b, 800'000), kRead, "first", "", nullptr},
      {"manifest that is no table", a, u"", kRange, "<missing>", "<missing>", nullptr},
      {"row without cell 3", a, ok_row + u"|b.txt,1,2", kRange, "<missing>", "<missing>", nullptr},
      {"cell 3 not a number", a, ok_row + u"|,b.txt,1,2x", kConvert, "<missing>", "<missing>",
       nullptr},
      {"cell 2 not a number", a + b, ok_row + u"|,b.txt,lots,800000", kConvert, "first", "",
       nullptr},
      {"cell 4 not a boolean", a + b, ok_row + u"|" + Row(u"", u"b.txt", b, 800'000) + u",yes",
       kConvert, "first", "<missing>", nullptr},
      {"zlib rejects the header", a + b_bad_data,
       ok_row + u"|" + Row(u"", u"b.txt", b_bad_data, 800'000), kFormat, "first", "", nullptr},
      {"zlib rejects the checksum", a + b_bad_check,
       ok_row + u"|" + Row(u"", u"b.txt", b_bad_check, 800'000), kFormat, "first", "", nullptr},
      {"file cannot be created", a + b, ok_row + u"|" + Row(u"", u"b.txt", b, 800'000), kWrite,
       "first", "<missing>",
       [this] { std::filesystem::create_directories(HostPath(kTarget + u"b.txt")); }},
      {"folder cannot be created", a + b, ok_row + u"|" + Row(u"blocked\\", u"b.txt", b, 800'000),
       kWrite, "first", "<missing>", [this] { WriteFile(kTarget + u"blocked", "a file"); }},
      // A folder cell ending in ":" once made the folder creation recurse without end.
      {"folder ending in a colon", a + b, ok_row + u"|" + Row(u"x:", u"b.txt", b, 800'000), kWrite,
       "first", "<missing>", nullptr},
      // Sizes that would make the reader seek back or read without bound.
      {"negative cell 3", a, ok_row + u"|,b.txt,1,-5", kFormat, "<missing>", "<missing>", nullptr},
      {"negative cell 2", a + b, ok_row + u"|,b.txt,-100,800000", kFormat, "first", "", nullptr},
      {"negative cell 2 on a skipped row", a + b,
       ok_row + u"|$System$,skip.dll,-100,1|" + Row(u"", u"b.txt", b, 800'000), kFormat, "first",
       "<missing>", [this] { WriteFile(kSystemDir + u"skip.dll", "present"); }},
      {"cell 2 past the end", a + b, ok_row + u"|" + u",b.txt,2000000000,800000", kRead, "first",
       "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(HostPath(kTarget));
    if (!c.manifest.empty() || !c.members.empty()) WritePackage({c.members, c.manifest});
    if (c.before) c.before();
    try {
      Extract();
      EXPECT_EQ(c.raised, kNone);
    } catch (const platform::EReadError&) {
      EXPECT_EQ(c.raised, kRead);
    } catch (const platform::EConvertError&) {
      EXPECT_EQ(c.raised, kConvert);
    } catch (const platform::ERangeError&) {
      EXPECT_EQ(c.raised, kRange);
    } catch (const platform::EFormatError&) {
      EXPECT_EQ(c.raised, kFormat);
    } catch (const platform::EWriteError&) {
      EXPECT_EQ(c.raised, kWrite);
    }
    EXPECT_TRUE(FolderExists(kTarget));
    EXPECT_EQ(ReadFile(kTarget + u"a.txt"), c.a_txt);
    if (!std::filesystem::is_directory(HostPath(kTarget + u"b.txt"))) {
      EXPECT_EQ(ReadFile(kTarget + u"b.txt"), c.b_txt);
    }
    EXPECT_TRUE(os_.DeleteFile(kPackage)) << "package left open";
  }
}

TEST_P(ExtractTest, MissingPackageIsAReadErrorAfterTheTargetIsMade) {
  EXPECT_THROW(package::ExtractPackage(u"C:\\setup\\none.stp", u"C:\\made\\by\\it\\", Text(), {}),
               platform::EReadError);
  EXPECT_TRUE(FolderExists(u"C:\\made\\by\\it\\"));
}

TEST_P(ExtractTest, NegativeLengthFieldIsAnError) {
  WriteFile(kPackage, std::string("members\xF0\xFF\xFF\xFF\x0A\x14\x02", 14));
  EXPECT_THROW(Extract(), platform::EFormatError);
}

// System-folder rows: what lands in the system folder, what is refused before anything of the
// row is made, and that nothing ever appears outside the target and system folders.
TEST_P(ExtractTest, SystemFolderRowsStayInsideTheSystemFolder) {
  const std::string m = Deflate("dll");
  Text deep;  // 2,100 levels: far beyond what the file API takes
  for (int i = 0; i < 2100; ++i) deep += u"a\\";
  struct Case {
    Text folder;
    Text name;
    Text lands;  // empty: refused
  } cases[] = {
      {u"$System$", u"s.dll", kSystemDir + u"s.dll"},
      {u"$SYSTEM$System\\", u"s.dll", kSystemDir + u"System\\s.dll"},
      {u"$third$sub\\..\\", u"t.dll", kSystemDir + u"t.dll"},
      {u"$System$a\\b\\..\\", u"..\\up.dll", kSystemDir + u"a\\up.dll"},  // last component
      {u"$System$..\\", u"evil.txt", u""},
      {u"$System$..\\..\\", u"evil.txt", u""},
      {u"$Third$\\..\\..\\", u"evil.txt", u""},
      {u"$Third$sub/../../", u"evil.txt", u""},
      {u"$System$...\\", u"evil.txt", u""},
      {u"$System$", u"a/../../evil.txt", u""},
      // A "$" cell must begin with the token its rule looks for ("System" is case-sensitive).
      {u"$SYSTEM$\\", u"evil.txt", u""},
      {u"$system$", u"evil.txt", u""},
      {u"$x$..\\..\\", u"evil.txt", u""},
      {u"$", u"evil.txt", u""},
      {u"$Third$System\\", u"evil.txt", u""},
      {u"$x$System$", u"evil.txt", u""},
      {deep, u"deep.txt", u""},
      {u"$System$" + deep, u"deep.txt", u""},
  };
  const std::set<std::string> roots = {"App", "Windows", "Windows/system32", "cwd", "setup"};
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::TextToUtf8(c.folder.substr(0, 40) + u" | " + c.name));
    WritePackage({m, Row(c.folder, c.name, m, 3)});
    if (c.lands.empty()) {
      EXPECT_THROW(Extract(), platform::Exception);
    } else {
      Extract();
      EXPECT_EQ(ReadFile(c.lands), "dll");
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root_)) {
      const std::string rel = std::filesystem::relative(entry.path(), root_).generic_string();
      const bool allowed = roots.count(rel) != 0 || rel.starts_with("App/") ||
                           rel.starts_with("Windows/system32/") || rel.starts_with("setup/");
      EXPECT_TRUE(allowed) << rel;
    }
    std::filesystem::remove_all(root_ / "App");
    std::filesystem::remove_all(root_ / "Windows" / "system32");
    std::filesystem::create_directories(root_ / "Windows" / "system32");
  }
  EXPECT_EQ(package::SystemRowFolder(u"$third$x\\$THIRD$", u"C:\\W\\"), u"C:\\W\\x\\C:\\W\\");
  EXPECT_EQ(package::SystemRowFolder(u"$system$", u"C:\\W\\"), u"");
}

// Without a system folder, a package that has system-folder rows fails before it writes anything,
// the rows before the first such row included.
TEST_P(ExtractTest, SystemRowsWithoutASystemFolderFailBeforeAnyWrite) {
  const std::string m = Deflate("dll");
  WritePackage({m + m, Row(u"", u"first.txt", m, 3) + u"|" + Row(u"$System$", u"s.dll", m, 3)});
  package::ExtractOptions options;
  options.decoder = decoder_;
  options.write_behind = write_behind_;
  EXPECT_THROW(package::ExtractPackage(kPackage, kTarget, Text(), {}, options),
               package::ENoSystemFolder);
  EXPECT_FALSE(std::filesystem::exists(root_ / "App" / "first.txt"));
  EXPECT_FALSE(std::filesystem::exists(root_ / "Windows" / "system32" / "s.dll"));
}

// Rows whose path would climb out of the target folder are refused before anything of the row
// is made; earlier rows are written as usual.
TEST_P(ExtractTest, PathsLeavingTheTargetAreRefused) {
  const std::string a = Deflate("first");
  const std::string m = Deflate("evil");
  struct Case {
    Text folder;
    Text name;
  } cases[] = {
      {u"..\\", u"evil.txt"},
      {u"sub\\..\\..\\", u"evil.txt"},
      {u"../", u"evil.txt"},
      {u"", u"../evil.txt"},  // "/" is no separator for the last-component rule
      {u"sub\\", u"a/../../../evil.txt"},
      {u"...\\", u"evil.txt"},    // Windows drops trailing dots: "..." is ".."
      {u"sub\\", u".."},          // names a folder, not a file
      {u"", u"dir\\"},            // empty last component
      {u"..\\", u"evil.txt,-1"},  // flat rows are checked too (name only; folder ignored)
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::TextToUtf8(c.folder + u" | " + c.name));
    std::filesystem::remove_all(root_ / "App");
    const bool flat = c.name.ends_with(u",-1");
    const Text row =
        flat ? c.folder + u",x\\evil.txt," + Num(m.size()) + u",4,-1" : Row(c.folder, c.name, m, 4);
    WritePackage({a + m, Row(u"", u"a.txt", a, 5) + u"|" + row});
    if (flat) {
      Extract();  // the folder cell is ignored, so this one is fine
      EXPECT_EQ(ReadFile(kTarget + u"evil.txt"), "evil");
      continue;
    }
    EXPECT_THROW(Extract(), platform::EFormatError);
    EXPECT_EQ(ReadFile(kTarget + u"a.txt"), "first");
    EXPECT_EQ(ReadFile(u"C:\\evil.txt"), "<missing>");
    EXPECT_EQ(ReadFile(u"C:\\App\\evil.txt"), "<missing>");
    EXPECT_FALSE(FolderExists(kTarget + u"sub\\"));
  }

  EXPECT_TRUE(package::StaysInside(u"a\\..\\b\\.\\c"));
  EXPECT_FALSE(package::StaysInside(u"a\\..\\..\\b"));
  EXPECT_FALSE(package::StaysInside(u".. \\x"));
  EXPECT_TRUE(package::IsPlainFileName(u"a..b"));
  EXPECT_FALSE(package::IsPlainFileName(u"."));
}

// A row whose file path or new folder is beyond the file API's limits is refused before anything
// of it is made, on every system (Wine enforces no limit and would make the folders); paths just
// within the limits are written. kTarget "C:\\App\\" is 7 characters.
TEST_P(ExtractTest, PathsBeyondTheFileApiLimitsAreRefusedBeforeAnythingIsMade) {
  const std::string a = Deflate("first");
  const std::string m = Deflate("file");
  Text deep;  // 2,100 levels
  for (int i = 0; i < 2100; ++i) deep += u"a\\";
  const Text folder240(240, u'd');  // C:\App\ddd... is 247 characters
  struct Case {
    Text folder;
    Text name;
    bool written;
  } cases[] = {
      {u"", Text(252, u'n'), true},  // a path of 259 characters
      {u"", Text(253, u'n'), false},
      {folder240 + u"\\", u"f.txt", true},
      {folder240 + u"d\\", u"f.txt", false},                    // a folder of 248 to create
      {u"existing" + Text(233, u'e') + u"\\", u"f.txt", true},  // 248, but there already
      {u"x\\..\\" + folder240 + u"\\.\\", u"f.txt", true},      // measured once made whole
      {deep, u"deep.txt", false},
      {u"$System$" + deep, u"deep.txt", false},
  };
  std::filesystem::create_directories(HostPath(kTarget + u"existing" + Text(233, u'e')));
  for (const Case& c : cases) {
    SCOPED_TRACE(platform::TextToUtf8(c.folder.substr(0, 20) + u" | " + c.name.substr(0, 20)));
    WritePackage({a + m, Row(u"", u"a.txt", a, 5) + u"|" + Row(c.folder, c.name, m, 4)});
    if (c.written) {
      Extract();
      EXPECT_EQ(ReadFile(kTarget + c.folder + c.name), "file");
    } else {
      EXPECT_THROW(Extract(), platform::EWriteError);
      EXPECT_EQ(ReadFile(kTarget + u"a.txt"), "first");
      // Nothing but the first row's file and the folder made beforehand.
      std::vector<std::string> entries;
      for (const auto& entry : std::filesystem::directory_iterator(HostPath(kTarget))) {
        entries.push_back(entry.path().filename().string());
      }
      std::sort(entries.begin(), entries.end());
      EXPECT_EQ(entries, (std::vector<std::string>{"a.txt", "existing" + std::string(233, 'e')}));
      EXPECT_TRUE(std::filesystem::is_empty(HostPath(kSystemDir)));
    }
    std::filesystem::remove_all(HostPath(kTarget + u"x"));
    std::filesystem::remove_all(HostPath(kTarget + folder240));
    std::filesystem::remove(HostPath(kTarget + Text(252, u'n')));
  }
}

TEST_P(ExtractTest, MemberAboveTheWholeMemberLimitRoundTrips) {
  // Small compressed, large uncompressed: the whole-member decoder leaves it to zlib's stream.
  std::string huge(package::kWholeMemberLimit + 1, 'z');
  huge.back() = '!';
  const std::string m = Deflate(huge, 1);
  const std::string next = Deflate("after the huge one");
  WritePackage(
      {m + next, Row(u"", u"huge.dat", m, huge.size()) + u"|" + Row(u"", u"next.txt", next, 18)});
  Extract();
  EXPECT_TRUE(ReadFile(kTarget + u"huge.dat") == huge);
  EXPECT_EQ(ReadFile(kTarget + u"next.txt"), "after the huge one");
}

TEST_P(ExtractTest, CallerGetsControlBetweenPiecesOfAMember) {
  // 3.5 MiB in one member: at least one call per MiB written, the progress only after the file.
  const std::string content(3 * 1024 * 1024 + 512 * 1024, 'p');
  const std::string m = Deflate(content, 1);
  WritePackage({m, Row(u"", u"p.bin", m, content.size())});
  std::vector<std::string> log;
  package::ExtractOptions options;
  options.decoder = decoder_;
  options.between_pieces = [&] { log.push_back("piece"); };
  options.write_behind = write_behind_;
  package::ExtractPackage(
      kPackage, kTarget, Text(),
      [&](std::int32_t percent) { log.push_back(std::to_string(percent)); }, options);
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log.back(), "100");
  EXPECT_EQ(std::count(log.begin(), log.end(), "piece"), static_cast<long>(log.size() - 1));
  EXPECT_TRUE(ReadFile(kTarget + u"p.bin") == content);
}

INSTANTIATE_TEST_SUITE_P(Decoders, ExtractTest,
                         testing::Values(Mode{MemberDecoder::kWholeMember, true},
                                         Mode{MemberDecoder::kWholeMember, false},
                                         Mode{MemberDecoder::kStreaming, false}),
                         [](const testing::TestParamInfo<Mode>& info) {
                           if (info.param.decoder == MemberDecoder::kStreaming) return "Streaming";
                           return info.param.write_behind ? "WholeMemberWriteBehind"
                                                          : "WholeMember";
                         });

// A disk that fills up inside a member handed to the writer thread: the same error, the same
// files and bytes as when the whole member is written in place, also when the member after it is
// damaged (it is decoded while the failing write runs) and when it is a good one. (zlib's stream
// writes pieces of other lengths, so its partly written file can end elsewhere.)
TEST_F(PackageTest, FullDiskDuringAWrittenBehindMemberEndsAsWithoutTheWriter) {
  const std::string first = Pattern(1'500'000, 11, false);
  const std::string second = Pattern(2'500'000, 12, false);
  const std::string third = Pattern(600'000, 13, true);
  const std::string a = Deflate(first, 1);
  const std::string b = Deflate(second, 1);
  const std::string c = Deflate(third, 6);
  std::string c_bad = c;
  c_bad[1] = 0x00;  // rejected by zlib at once
  struct Outcome {
    std::string error;
    std::vector<std::string> files;
    bool operator==(const Outcome&) const = default;
  };
  const auto run = [&](const std::string& third_member, bool behind) {
    // Room for the first file and one MiB of the second.
    os_.MapMemoryDrive(u'D', static_cast<std::int64_t>(first.size()) + 1024 * 1024 + 100);
    WritePackage({a + b + third_member, Row(u"", u"a.bin", a, first.size()) + u"|" +
                                            Row(u"", u"b.bin", b, second.size()) + u"|" +
                                            Row(u"", u"c.txt", third_member, third.size())});
    Outcome outcome;
    package::ExtractOptions options;
    options.decoder = MemberDecoder::kWholeMember;
    options.write_behind = behind;
    try {
      package::ExtractPackage(kPackage, u"D:\\target\\", Text(), {}, options);
    } catch (const platform::Exception& e) {
      outcome.error = typeid(e).name();
    }
    for (const Text name : {u"a.bin", u"b.bin", u"c.txt"}) {
      std::string bytes = "<missing>";
      if (auto file = os_.OpenFileForRead(u"D:\\target\\" + name)) {
        bytes.assign(static_cast<size_t>(file->Size()), '\0');
        std::uint32_t got = 0;
        if (!bytes.empty())
          file->Read(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &got);
      }
      outcome.files.push_back(bytes);
    }
    return outcome;
  };
  for (const std::string* third_member : {&c, static_cast<const std::string*>(&c_bad)}) {
    SCOPED_TRACE(third_member == &c ? "good third member" : "damaged third member");
    const Outcome in_place = run(*third_member, false);
    EXPECT_EQ(in_place.error, typeid(platform::EWriteError).name());
    EXPECT_TRUE(in_place.files[0] == first);
    EXPECT_EQ(in_place.files[1].size(), 1024u * 1024u);
    EXPECT_EQ(in_place.files[2], "<missing>");
    EXPECT_TRUE(run(*third_member, true) == in_place);
  }
}

// Both decoders over the same damaged members: the written bytes and the error raised must be
// the same. The whole-member decoder hands every member it cannot answer for exactly to zlib's
// streaming inflate; these are those members: size cells below and above the stream's length,
// streams cut short (inside the data and inside the checksum), bytes after the stream, and
// flipped bytes in the header, the data and the checksum. A good member follows each damaged
// one, so the package position after the damaged member is checked too.
class DecoderAgreementTest : public PackageTest {
 protected:
  struct Outcome {
    std::string error;  // the exception's type, empty when none
    Tree tree;
    bool operator==(const Outcome&) const = default;
  };

  Outcome Run(MemberDecoder decoder, const std::string& members, const Text& manifest) {
    std::filesystem::remove_all(HostPath(kTarget));
    WritePackage({members, manifest});
    decoder_ = decoder;
    Outcome outcome;
    try {
      Extract();
    } catch (const platform::Exception& e) {
      outcome.error = typeid(e).name();
    }
    outcome.tree = TreeOf(kTarget);
    return outcome;
  }
};

TEST_F(DecoderAgreementTest, DamagedMembersWriteTheSameBytes) {
  const std::string after = Deflate("the next member");
  const Text after_row = Row(u"", u"after.txt", after, 15);
  struct Source {
    const char* what;
    std::string content;
    std::string member;
  };
  const std::string text = Pattern(200'000, 7, true);
  const std::string noise = Pattern(70'000, 8, false);
  const Source sources[] = {{"text", text, Deflate(text, 6)}, {"noise", noise, Deflate(noise, 9)}};
  int errors = 0;
  int written = 0;
  for (const Source& source : sources) {
    const std::string& m = source.member;
    std::vector<std::pair<std::string, std::string>> damaged = {
        {"intact", m},
        {"bytes after the stream", m + "trailing bytes"},
        {"cut inside the checksum", m.substr(0, m.size() - 2)},
        {"checksum missing", m.substr(0, m.size() - 4)},
        {"cut inside the data", m.substr(0, m.size() / 2)},
        {"header only", m.substr(0, 2)},
        {"one byte", m.substr(0, 1)},
    };
    for (size_t at : {size_t{0}, size_t{1}, size_t{2}, size_t{40}, m.size() / 3, m.size() - 6,
                      m.size() - 4, m.size() - 1}) {
      for (char bits : {'\x01', '\x80'}) {
        std::string flipped = m;
        flipped[at] ^= bits;
        damaged.emplace_back("byte " + std::to_string(at) + " ^ " + std::to_string(bits & 0xFF),
                             flipped);
      }
    }
    const size_t u = source.content.size();
    for (const auto& [what, member] : damaged) {
      for (size_t size : {u, u - 1, u / 2, size_t{1}, u + 1, u + 5000}) {
        SCOPED_TRACE(std::string(source.what) + ", " + what + ", size cell " +
                     std::to_string(size));
        const Text manifest = Row(u"", u"damaged.bin", member, size) + u"|" + after_row;
        const Outcome whole = Run(MemberDecoder::kWholeMember, member + after, manifest);
        const Outcome streaming = Run(MemberDecoder::kStreaming, member + after, manifest);
        EXPECT_EQ(whole.error, streaming.error);
        EXPECT_TRUE(whole.tree == streaming.tree);
        (streaming.error.empty() ? written : errors) += 1;
      }
    }
  }
  // The table reaches both outcomes.
  EXPECT_GT(errors, 10);
  EXPECT_GT(written, 10);
}

// Hand-made streams with the constructs libdeflate accepts and zlib's inflate rejects (and
// controls both accept): the whole-member decoder must leave each to zlib, so that the member
// fails as it does on the streaming path instead of being written.
TEST_F(DecoderAgreementTest, CraftedStreamsWriteTheSameBytes) {
  const std::string after = Deflate("the next member");
  const Text after_row = Row(u"", u"after.txt", after, 15);
  // Members of more than 256 KiB are checked on a thread beside libdeflate's decode: each stream
  // also comes after 300 kB of stored blocks.
  const std::string stored = Pattern(300'000, 9, false);
  std::vector<CraftedStream> streams = CraftedStreams();
  for (const CraftedStream& crafted : CraftedStreams()) {
    streams.push_back({crafted.what + ", after stored blocks",
                       AfterStoredBlocks(crafted.stream, stored), crafted.verdict});
  }
  int errors = 0;
  for (const CraftedStream& crafted : streams) {
    const size_t produced = LibdeflateDecode(crafted.stream, 1 << 20).output.size();
    // The size cell the fast path would answer with libdeflate's bytes, and a larger one.
    for (size_t size : {produced, produced + 7}) {
      SCOPED_TRACE(crafted.what + ", size cell " + std::to_string(size));
      const std::string& m = crafted.stream;
      const Text manifest = Row(u"", u"crafted.bin", m, size) + u"|" + after_row;
      const Outcome whole = Run(MemberDecoder::kWholeMember, m + after, manifest);
      const Outcome streaming = Run(MemberDecoder::kStreaming, m + after, manifest);
      EXPECT_EQ(whole.error, streaming.error);
      EXPECT_TRUE(whole.tree == streaming.tree);
      if (crafted.verdict == Verdict::kOnlyLibdeflateAccepts && size > 0) {
        EXPECT_FALSE(whole.error.empty());
        ++errors;
      }
    }
  }
  EXPECT_GE(errors, 40);
}

}  // namespace
}  // namespace pkgtest
