#include "platform/large_buffer.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <utility>

namespace {

// Fills every byte with a pattern of its offset and reads it back: a block shorter than asked,
// or one that overlaps another, shows as a crash or a wrong byte.
void FillAndCheck(platform::LargeBuffer& buffer) {
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    buffer.data()[i] = static_cast<std::uint8_t>(i * 7 + (i >> 12));
  }
  for (std::size_t i = 0; i < buffer.size(); ++i) {
    ASSERT_EQ(buffer.data()[i], static_cast<std::uint8_t>(i * 7 + (i >> 12))) << "offset " << i;
  }
}

TEST(LargeBufferTest, SizesOnBothSidesOfTheHugePageHoldTheirBytes) {
  // Small blocks come from the heap; from 2 MiB on they may be mapped on their own.
  for (const std::size_t size : {std::size_t{1}, std::size_t{4096}, std::size_t{2 << 20} - 1,
                                 std::size_t{2 << 20}, std::size_t{5 << 20} + 3}) {
    SCOPED_TRACE(size);
    platform::LargeBuffer buffer(size);
    ASSERT_NE(buffer.data(), nullptr);
    EXPECT_EQ(buffer.size(), size);
    FillAndCheck(buffer);
  }
}

TEST(LargeBufferTest, MovesHandTheBlockOverAndLeaveTheSourceEmpty) {
  platform::LargeBuffer a(3 << 20);
  FillAndCheck(a);
  std::uint8_t* const block = a.data();
  platform::LargeBuffer b(std::move(a));
  EXPECT_EQ(b.data(), block);
  EXPECT_EQ(b.size(), std::size_t{3 << 20});
  EXPECT_EQ(a.data(), nullptr);
  EXPECT_EQ(a.size(), 0u);
  FillAndCheck(b);

  // Assigning over a block gives the old one back and takes the new one.
  platform::LargeBuffer c(100);
  c = std::move(b);
  EXPECT_EQ(c.data(), block);
  EXPECT_EQ(b.data(), nullptr);
  c = platform::LargeBuffer();
  EXPECT_EQ(c.data(), nullptr);
  EXPECT_EQ(c.size(), 0u);
}

}  // namespace
