// The registry helpers against the platform's registry (simulated natively, real on Windows).
#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/text.h"
#include "shell/registry.h"
#include "tests/shell/shell_test_env.h"

namespace shell {
namespace {

using platform::Bytes;
using platform::CurrentOs;
using platform::Handle;
using platform::kHkeyCurrentUser;

Bytes Utf16Bytes(std::u16string_view text) { return platform::Utf16LeBytes(text); }

// Stores a value with raw data, as another program might have left it.
void SetRaw(const Text& key_path, const Text& name, std::uint32_t type, const Bytes& data) {
  Handle key = 0;
  ASSERT_EQ(
      CurrentOs().RegCreateKeyEx(kHkeyCurrentUser, key_path, 0, platform::kKeyAllAccess, &key),
      platform::kErrorSuccess);
  ASSERT_EQ(CurrentOs().RegSetValueEx(key, name, type, data.data(),
                                      static_cast<std::uint32_t>(data.size())),
            platform::kErrorSuccess);
  CurrentOs().RegCloseKey(key);
}

// The type and data stored for a value, read directly through the boundary.
std::pair<std::uint32_t, Bytes> GetRaw(const Text& key_path, const Text& name) {
  Handle key = 0;
  if (CurrentOs().RegOpenKeyEx(kHkeyCurrentUser, key_path, platform::kKeyRead, &key) != 0) {
    return {0, {}};
  }
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  Bytes data;
  if (CurrentOs().RegQueryValueEx(key, name, &type, nullptr, &size) == 0) {
    data.resize(size);
    CurrentOs().RegQueryValueEx(key, name, &type, data.data(), &size);
  }
  CurrentOs().RegCloseKey(key);
  return {type, data};
}

TEST(RegistryHelpersTest, WriteCreatesTheKeyAndStoresRegSz) {
  const Text key = testing::NewScratchKey();
  ASSERT_TRUE(RegWriteStringValue(kHkeyCurrentUser, key, u"DisplayName", u"Product \u4E2D"));
  EXPECT_EQ(RegReadStringValue(kHkeyCurrentUser, key, u"DisplayName"), u"Product \u4E2D");
  auto [type, data] = GetRaw(key, u"DisplayName");
  EXPECT_EQ(type, platform::kRegSz);
  EXPECT_EQ(data, Utf16Bytes(std::u16string_view(u"Product \u4E2D\0", 10)));

  // An empty text is one NUL: two bytes.
  ASSERT_TRUE(RegWriteStringValue(kHkeyCurrentUser, key, u"Empty", u""));
  EXPECT_EQ(GetRaw(key, u"Empty"), std::make_pair(platform::kRegSz, Bytes{0, 0}));
  EXPECT_EQ(RegReadStringValue(kHkeyCurrentUser, key, u"Empty"), u"");
}

TEST(RegistryHelpersTest, LeadingBackslashNamesTheSameKey) {
  const Text key = testing::NewScratchKey();
  EXPECT_TRUE(RegCreateKeyPath(kHkeyCurrentUser, u"\\" + key + u"\\Sub"));
  ASSERT_TRUE(RegWriteStringValue(kHkeyCurrentUser, u"\\" + key + u"\\Sub", u"v", u"x"));
  EXPECT_EQ(RegReadStringValue(kHkeyCurrentUser, key + u"\\Sub", u"v"), u"x");
  EXPECT_EQ(RegReadStringValue(kHkeyCurrentUser, u"\\" + key + u"\\sub", u"V"), u"x");
}

TEST(RegistryHelpersTest, ReadingRules) {
  const Text key = testing::NewScratchKey();
  struct Case {
    const char16_t* name;
    std::uint32_t type;
    Bytes data;
    const char16_t* expected;
  } cases[] = {
      {u"plain", platform::kRegSz, Utf16Bytes(std::u16string_view(u"abc\0", 4)), u"abc"},
      {u"inner NUL", platform::kRegSz, Utf16Bytes(std::u16string_view(u"ab\0cd\0", 6)), u"ab"},
      {u"expand", platform::kRegExpandSz,
       Utf16Bytes(std::u16string_view(u"%ProgramFiles%\\x\0", 17)), u"%ProgramFiles%\\x"},
      // Data without a terminating NUL, or of odd size, ends with its data.
      {u"no NUL", platform::kRegSz, Utf16Bytes(u"abc"), u"abc"},
      {u"odd size", platform::kRegSz, Bytes{'a', 0, 'b', 0, 'c'}, u"ab"},
      {u"one byte", platform::kRegSz, Bytes{'a'}, u""},
      {u"zero size", platform::kRegSz, Bytes{}, u""},
  };
  for (const auto& c : cases) {
    SetRaw(key, c.name, c.type, c.data);
    EXPECT_EQ(RegReadStringValue(kHkeyCurrentUser, key, c.name), c.expected)
        << platform::TextToUtf8(c.name);
  }
  EXPECT_EQ(RegReadStringValue(kHkeyCurrentUser, key, u"missing"), u"");
  EXPECT_EQ(RegReadStringValue(kHkeyCurrentUser, key + u"\\missing", u"plain"), u"");
}

TEST(RegistryHelpersTest, ValuesThatAreNotTextRaise) {
  const Text key = testing::NewScratchKey();
  SetRaw(key, u"Count", platform::kRegDword, Bytes{1, 0, 0, 0});
  SetRaw(key, u"Blob", platform::kRegBinary, Utf16Bytes(std::u16string_view(u"abc\0", 4)));
  for (const char16_t* name : {u"Count", u"Blob"}) {
    try {
      RegReadStringValue(kHkeyCurrentUser, key, name);
      ADD_FAILURE() << "no error for " << platform::TextToUtf8(name);
    } catch (const platform::EOsError& e) {
      EXPECT_EQ(e.Message(), u"Invalid data type for '" + Text(name) + u"'");
    }
  }
}

}  // namespace
}  // namespace shell
