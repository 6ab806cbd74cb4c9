// PackageWriter: members compressed at every level read back through both decoders, the same
// bytes whatever the number of jobs, the bound between whole members and zlib's stream, and a
// disk that fills up.
#include <gtest/gtest.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "package/extract.h"
#include "package/package_format.h"
#include "platform/errors.h"
#include "platform/fs_util.h"
#include "platform/text.h"
#include "tests/package/package_fixture.h"

namespace pkgtest {
namespace {

using package::ManifestRow;
using package::MemberCompressor;
using package::MemberDecoder;
using package::PackOptions;

using Tree = std::vector<std::pair<std::string, std::string>>;

// A member's bytes as zlib's compress2 or libdeflate make them at a level.
std::string ZlibStream(const std::string& data, int level) { return Deflate(data, level); }

std::string LibdeflateStream(const std::string& data, int level) {
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  std::string out(libdeflate_zlib_compress_bound(c, data.size()), '\0');
  out.resize(libdeflate_zlib_compress(c, data.data(), data.size(), out.data(), out.size()));
  libdeflate_free_compressor(c);
  return out;
}

// A file of `size` bytes that zlib compresses fast (long runs), with some bytes that differ.
std::string Runs(size_t size) {
  std::string s(size, 'r');
  for (size_t i = 0; i < size; i += 100'003) s[i] = static_cast<char>('a' + i % 23);
  if (size > 0) s.back() = '!';
  return s;
}

class WriterTest : public PackageTest {
 protected:
  // Packs `tree` (written under C:\src\ first) into kPackage; the rows as written.
  std::vector<ManifestRow> PackTree(const Tree& tree, const PackOptions& options) {
    for (const auto& [rel, content] : tree) WriteFile(u"C:\\src\\" + Path(rel), content);
    return PackFiles(tree, options, kPackage);
  }

  // Packs the files of `tree` already under C:\src\ into `package`.
  std::vector<ManifestRow> PackFiles(const Tree& tree, const PackOptions& options,
                                     const Text& package) {
    package::PackageWriter writer(os_.CreateFileForWrite(package), options);
    for (const auto& [rel, content] : tree) {
      ManifestRow row;
      row.folder = platform::FolderPart(Path(rel));
      row.name = platform::LastComponent(Path(rel));
      auto source = os_.OpenFileForRead(u"C:\\src\\" + Path(rel));
      EXPECT_TRUE(source);
      if (!source) return {};
      writer.AddFile(row, *source);
    }
    writer.Finish();
    return writer.Rows();
  }

  // The first member's bytes in kPackage.
  std::string FirstMember(const std::vector<ManifestRow>& rows) {
    return ReadFile(kPackage).substr(0, static_cast<size_t>(rows.at(0).compressed));
  }

  static Text Path(const std::string& rel) {
    Text path = platform::Utf8ToText(rel);
    for (char16_t& c : path) c = c == u'/' ? u'\\' : c;
    return path;
  }

  static PackOptions Fixed(int level, int jobs) {
    PackOptions options;
    options.level = level;
    options.jobs = jobs;
    options.envelope.salt = u"abcdef";
    options.envelope.cipher_base = u'A';
    options.envelope.digest_base = u'B';
    options.envelope.iv = u"0123456789abcdef";
    return options;
  }
};

// Every libdeflate level and every zlib level, each package read by both decoders. The noise file
// does not compress: its member must be stored blocks, 5 bytes over its size per block (zlib ends
// one every 16 Ki symbols) and 6 for the stream; literals coded with Huffman codes take more.
TEST_F(WriterTest, EveryLevelRoundTripsThroughBothDecoders) {
  const Tree tree = {
      {"empty.txt", ""},
      {"one.txt", "x"},
      {"sub/text.txt", Pattern(200'000, 1, true)},
      {"sub/noise.bin", Pattern(150'000, 2, false)},
      {"runs.dat", Runs(300'000)},
  };
  struct Case {
    MemberCompressor compressor;
    int max_level;
  };
  for (const Case c : {Case{MemberCompressor::kLibdeflate, 12}, Case{MemberCompressor::kZlib, 9}}) {
    for (int level = 0; level <= c.max_level; ++level) {
      SCOPED_TRACE(testing::Message()
                   << (c.compressor == MemberCompressor::kZlib ? "zlib " : "libdeflate ") << level);
      PackOptions options;
      options.compressor = c.compressor;
      options.level = level;
      const std::vector<ManifestRow> rows = PackTree(tree, options);
      ASSERT_EQ(rows.size(), tree.size());
      const ManifestRow& noise = rows[3];
      ASSERT_EQ(noise.name, u"noise.bin");
      EXPECT_LE(noise.compressed, noise.size + 5 * (noise.size / 16384 + 2) + 6);
      for (const MemberDecoder decoder : {MemberDecoder::kWholeMember, MemberDecoder::kStreaming}) {
        std::filesystem::remove_all(HostPath(kTarget));
        decoder_ = decoder;
        Extract();
        Tree sorted = tree;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(TreeOf(kTarget), sorted);
      }
    }
  }
}

// Many small files around two large ones: the queue of members in flight fills, drains for the
// member that is compressed as a stream, and fills again. Every number of jobs writes the same
// bytes, which extract to the tree.
TEST_F(WriterTest, SameBytesWhateverTheJobs) {
  Tree tree;
  for (int i = 0; i < 60; ++i) {
    tree.push_back(
        {"a/" + std::to_string(100 + i) + ".txt", Pattern(1000 + 3000 * (i % 7), i, i % 3 != 0)});
  }
  tree.push_back({"b/stream.dat", Runs(package::kWholeMemberLimit + 1)});
  tree.push_back({"c/whole.bin", Pattern(3'000'000, 99, false)});
  for (int i = 0; i < 20; ++i)
    tree.push_back({"d/" + std::to_string(100 + i) + ".txt", Pattern(50'000, 200 + i, true)});
  for (const auto& [rel, content] : tree) WriteFile(u"C:\\src\\" + Path(rel), content);

  std::string first;
  for (const int jobs : {1, 2, 4, 7}) {
    SCOPED_TRACE(testing::Message() << jobs << " jobs");
    std::vector<std::int64_t> progress;
    PackOptions options = Fixed(package::kDefaultPackLevel, jobs);
    options.on_progress = [&progress](std::int64_t done) { progress.push_back(done); };
    const std::vector<ManifestRow> rows = PackFiles(tree, options, kPackage);
    ASSERT_EQ(rows.size(), tree.size());
    for (size_t i = 0; i < tree.size(); ++i) {
      EXPECT_EQ(rows[i].folder + rows[i].name, Path(tree[i].first));
      EXPECT_EQ(static_cast<size_t>(rows[i].size), tree[i].second.size());
    }
    // One report per member, and more within the member compressed as a stream; never back.
    EXPECT_GT(progress.size(), tree.size());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    const std::string bytes = ReadFile(kPackage);
    if (first.empty()) {
      first = bytes;
      Extract();
      Tree sorted = tree;
      std::sort(sorted.begin(), sorted.end());
      EXPECT_TRUE(TreeOf(kTarget) == sorted);
    } else {
      EXPECT_TRUE(bytes == first);
    }
  }
}

// Up to kWholeMemberLimit bytes a member is libdeflate's stream of the whole file; one byte more
// and it is zlib's, at the same level up to 9. Both decoders read each back.
TEST_F(WriterTest, MembersAboveTheLimitAreZlibsStream) {
  const std::string at_limit = Runs(package::kWholeMemberLimit);
  const std::string above = Runs(package::kWholeMemberLimit + 1);
  struct Case {
    const std::string* content;
    int level;
    std::string expected;
  };
  const Case cases[] = {
      {&at_limit, 7, LibdeflateStream(at_limit, 7)},
      {&above, 7, ZlibStream(above, 7)},
      {&above, 12, ZlibStream(above, 9)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.content->size() << " bytes, level " << c.level);
    const std::vector<ManifestRow> rows = PackTree({{"big.dat", *c.content}}, Fixed(c.level, 2));
    EXPECT_TRUE(FirstMember(rows) == c.expected);
    for (const MemberDecoder decoder : {MemberDecoder::kWholeMember, MemberDecoder::kStreaming}) {
      decoder_ = decoder;
      Extract();
      EXPECT_TRUE(ReadFile(kTarget + u"big.dat") == *c.content);
    }
  }
  // zlib for every member when asked, small ones too.
  PackOptions zlib = Fixed(6, 2);
  zlib.compressor = MemberCompressor::kZlib;
  const std::string text = Pattern(100'000, 5, true);
  EXPECT_EQ(FirstMember(PackTree({{"t.txt", text}}, zlib)), ZlibStream(text, 6));
}

TEST_F(WriterTest, LevelsOutsideTheCompressorsRangeAreRefused) {
  for (const auto& [compressor, level] :
       {std::pair{MemberCompressor::kLibdeflate, 13}, std::pair{MemberCompressor::kLibdeflate, -1},
        std::pair{MemberCompressor::kZlib, 10}}) {
    PackOptions options;
    options.compressor = compressor;
    options.level = level;
    EXPECT_THROW(package::PackageWriter(os_.CreateFileForWrite(kPackage), options),
                 platform::EFormatError);
  }
}

// A disk that fills up while members are in flight: the write error reaches the caller (from
// AddFile or Finish) and the writer goes away without waiting for ever, whatever the jobs.
TEST_F(WriterTest, FullDiskIsAWriteErrorWhateverTheJobs) {
  Tree tree;
  for (int i = 0; i < 30; ++i)
    tree.push_back({std::to_string(100 + i) + ".bin", Pattern(100'000, i, false)});
  for (const auto& [rel, content] : tree) WriteFile(u"C:\\src\\" + Path(rel), content);
  struct Case {
    MemberCompressor compressor;
    int jobs;
  };
  for (const Case c : {Case{MemberCompressor::kLibdeflate, 1},
                       Case{MemberCompressor::kLibdeflate, 4}, Case{MemberCompressor::kZlib, 1}}) {
    SCOPED_TRACE(testing::Message() << c.jobs << " jobs");
    os_.MapMemoryDrive(u'D', 1'000'000);
    PackOptions options = Fixed(c.compressor == MemberCompressor::kZlib ? 9 : 7, c.jobs);
    options.compressor = c.compressor;
    std::string error;
    try {
      PackFiles(tree, options, u"D:\\p.stp");
    } catch (const platform::Exception& e) {
      error = typeid(e).name();
    }
    EXPECT_EQ(error, typeid(platform::EWriteError).name());
  }
}

}  // namespace
}  // namespace pkgtest
