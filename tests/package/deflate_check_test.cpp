// The stream check of the whole-member path against both decoders: it must refuse every stream
// on which they part ways, and pass the streams that real compressors write.
#include "package/deflate_check.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <span>
#include <string>

#include "tests/package/deflate_craft.h"
#include "tests/package/package_fixture.h"

namespace pkgtest {
namespace {

bool Keeps(const std::string& stream) {
  return package::KeepsToZlibRules(
      std::span(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()));
}

TEST(DeflateCheckTest, RefusesEveryCraftedStreamTheDecodersPartWaysOn) {
  int parted = 0;
  for (const CraftedStream& c : CraftedStreams()) {
    SCOPED_TRACE(c.what);
    const Decoded fast = LibdeflateDecode(c.stream, 1 << 20);
    const Decoded zlib = ZlibDecode(c.stream, 1 << 20);
    switch (c.verdict) {
      case Verdict::kBothAccept:
        EXPECT_TRUE(fast.ok);
        EXPECT_TRUE(fast == zlib);
        EXPECT_TRUE(Keeps(c.stream));  // the fast path stays open to it
        break;
      case Verdict::kOnlyLibdeflateAccepts:
        EXPECT_TRUE(fast.ok);
        EXPECT_FALSE(zlib.ok);
        EXPECT_FALSE(Keeps(c.stream));
        ++parted;
        break;
      case Verdict::kBothRefuse:
        EXPECT_FALSE(fast.ok);
        EXPECT_FALSE(zlib.ok);
        EXPECT_FALSE(Keeps(c.stream));
        break;
    }
  }
  EXPECT_GE(parted, 14);
}

// zlib streams of every level and strategy (stored, fixed, dynamic blocks, several blocks).
TEST(DeflateCheckTest, PassesWhatZlibWrites) {
  const std::string text = Pattern(300'000, 3, true);
  const std::string noise = Pattern(100'000, 4, false);
  const std::string mixed = text.substr(0, 50'000) + noise.substr(0, 50'000) + text;
  for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
    for (int level : {0, 1, 6, 9}) {
      for (const std::string* data : {&text, &noise, &mixed}) {
        SCOPED_TRACE("strategy " + std::to_string(strategy) + ", level " + std::to_string(level));
        z_stream zs{};
        ASSERT_EQ(deflateInit2(&zs, level, Z_DEFLATED, 15, 8, strategy), Z_OK);
        std::string out(deflateBound(&zs, static_cast<uLong>(data->size())), '\0');
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data->data()));
        zs.avail_in = static_cast<uInt>(data->size());
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        ASSERT_EQ(deflate(&zs, Z_FINISH), Z_STREAM_END);
        out.resize(zs.total_out);
        deflateEnd(&zs);
        EXPECT_TRUE(Keeps(out));
        EXPECT_TRUE(Keeps(out + "bytes after the stream"));
      }
    }
  }
  EXPECT_TRUE(Keeps(Deflate("")));
}

// Cut anywhere, a stream no longer ends inside the bytes with room for its checksum.
TEST(DeflateCheckTest, RefusesEveryCutStream) {
  for (const std::string& stream :
       {Deflate(Pattern(3000, 5, true), 9), Deflate(Pattern(700, 6, false), 0),
        Deflate(Pattern(2000, 7, true), 1)}) {
    for (size_t cut = 0; cut < stream.size(); ++cut) {
      SCOPED_TRACE(cut);
      EXPECT_FALSE(Keeps(stream.substr(0, cut)));
    }
    EXPECT_TRUE(Keeps(stream));
  }
  // Headers zlib refuses: a preset dictionary, a window above 32 KiB, a method other than 8,
  // bad check bits.
  for (const char* header : {"\x78\xBB", "\x88\x98", "\x79\x18", "\x78\x9D"}) {
    SCOPED_TRACE(header);
    std::string stream = Deflate("abc");
    stream.replace(0, 2, header);
    EXPECT_FALSE(Keeps(stream));
  }
}

}  // namespace
}  // namespace pkgtest
