// FormatByteSize: the thresholds, the halves that go to the even neighbour, and the locale's
// decimal separator.
#include <gtest/gtest.h>

#include "platform/text.h"
#include "shell/system_info.h"

namespace shell {
namespace {

TEST(FormatByteSizeTest, WorkedTable) {
  struct Case {
    std::int64_t bytes;
    const char* text;  // with "." as decimal separator
  } cases[] = {
      {INT64_MIN, "-9223372036854775808 Bytes"},
      {-1, "-1 Bytes"},
      {0, "0 Bytes"},
      {1, "1 Bytes"},
      {1023, "1023 Bytes"},
      {1024, "1 KB"},
      {1536, "2 KB"},  // 1.5 -> 2
      {2560, "2 KB"},  // 2.5 -> 2
      {3584, "4 KB"},  // 3.5 -> 4
      {1048575, "1024 KB"},
      {1048576, "1 MB"},
      {1310720, "1.2 MB"},  // 12.5 tenths -> 12
      {1572864, "1.5 MB"},
      {5000000, "4.8 MB"},
      {104857600, "100 MB"},
      {105381888, "100 MB"},  // 100.5 -> 100
      {106430464, "102 MB"},  // 101.5 -> 102
      {157286400, "150 MB"},
      {1073741823, "1024 MB"},
      {1073741824, "1 GB"},
      {3221225472, "3 GB"},
      {3758096384, "3.5 GB"},
      {161061273600, "150 GB"},
      {INT64_MAX, "8589934592 GB"},
  };
  const Text separator = platform::CurrentOs().LocaleDecimalSeparator();
  for (const auto& c : cases) {
    Text expected;
    for (char16_t ch : platform::AsciiToText(c.text)) {
      expected += ch == u'.' ? separator : Text(1, ch);
    }
    EXPECT_EQ(FormatByteSize(c.bytes), expected) << c.bytes;
  }
}

}  // namespace
}  // namespace shell
