// The registry, drive and system-folder helpers over the real Windows (Wine in the test stage).
#include <gtest/gtest.h>

#include <string>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/windows_api.h"
#include "shell/registry.h"
#include "shell/system_info.h"

// After windows_api.h, which includes <windows.h> as this code needs it.
// clang-format off
#include <shlwapi.h>
// clang-format on

namespace {

using platform::AsciiToText;
using platform::Text;
using platform::TextToUtf8;

Text T(const char* ascii) { return AsciiToText(ascii); }

class ShellOnWindows : public testing::Test {
 protected:
  ShellOnWindows() : scoped_(os_) {}
  platform::Win32Os os_;
  platform::ScopedOs scoped_;
};

class RegistryHelpers : public ShellOnWindows {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() { ::SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\StpShellTest"); }

  // The raw value as Windows stores it: type and bytes.
  static bool RawValue(const wchar_t* name, DWORD* type, std::string* data) {
    HKEY key;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\StpShellTest\\App", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    char buffer[256];
    DWORD size = sizeof buffer;
    const LONG status =
        ::RegQueryValueExW(key, name, nullptr, type, reinterpret_cast<BYTE*>(buffer), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
    data->assign(buffer, size);
    return true;
  }

  static void SetRaw(const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\StpShellTest\\App", 0, nullptr, 0,
                                KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(::RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    ::RegCloseKey(key);
  }

  const Text key_ = T("Software\\StpShellTest\\App");
};

TEST_F(RegistryHelpers, WrittenTextIsStoredAsRegSzAndReadBack) {
  // No RegCreateKeyPath first: the write creates the key.
  ASSERT_TRUE(shell::RegWriteStringValue(platform::kHkeyCurrentUser, key_, T("Name"),
                                         u"Caf\u00e9 \u5b89\u88c5"));
  DWORD type = 0;
  std::string data;
  ASSERT_TRUE(RawValue(L"Name", &type, &data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(data.size(), (7u + 1u) * 2u);  // the text and one NUL
  EXPECT_EQ(TextToUtf8(shell::RegReadStringValue(platform::kHkeyCurrentUser, key_, T("Name"))),
            "Caf\xc3\xa9 \xe5\xae\x89\xe8\xa3\x85");

  ASSERT_TRUE(shell::RegWriteStringValue(platform::kHkeyCurrentUser, key_, T("Empty"), Text()));
  ASSERT_TRUE(RawValue(L"Empty", &type, &data));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(data, std::string(2, '\0'));
  EXPECT_EQ(shell::RegReadStringValue(platform::kHkeyCurrentUser, key_, T("Empty")), Text());

  // A leading backslash names the same key, for writing and for reading.
  const Text with_slash = u"\\" + key_;
  ASSERT_TRUE(
      shell::RegWriteStringValue(platform::kHkeyCurrentUser, with_slash, T("Other"), T("second")));
  EXPECT_EQ(shell::RegReadStringValue(platform::kHkeyCurrentUser, key_, T("Other")), T("second"));
  EXPECT_EQ(shell::RegReadStringValue(platform::kHkeyCurrentUser, with_slash, T("Name")).size(),
            7u);
  EXPECT_TRUE(shell::RegCreateKeyPath(platform::kHkeyCurrentUser, u"\\" + key_ + u"\\Child"));
  HKEY child;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\StpShellTest\\App\\Child", 0, KEY_READ,
                            &child),
            ERROR_SUCCESS);
  ::RegCloseKey(child);
}

TEST_F(RegistryHelpers, ReadingFollowsTheValueType) {
  const wchar_t expand[] = L"%SystemRoot%\\Fonts";
  SetRaw(L"Expand", REG_EXPAND_SZ, expand, sizeof expand);
  const DWORD number = 42;
  SetRaw(L"Number", REG_DWORD, &number, sizeof number);
  const wchar_t two_texts[] = L"first\0second";
  SetRaw(L"Multi", REG_SZ, two_texts, sizeof two_texts);

  // Returned as stored, without expanding the reference.
  EXPECT_EQ(shell::RegReadStringValue(platform::kHkeyCurrentUser, key_, T("Expand")),
            T("%SystemRoot%\\Fonts"));
  EXPECT_EQ(shell::RegReadStringValue(platform::kHkeyCurrentUser, key_, T("Multi")), T("first"));
  EXPECT_EQ(shell::RegReadStringValue(platform::kHkeyCurrentUser, key_, T("Missing")), Text());
  EXPECT_EQ(shell::RegReadStringValue(platform::kHkeyCurrentUser, T("Software\\StpShellTest\\No"),
                                      T("Name")),
            Text());
  try {
    shell::RegReadStringValue(platform::kHkeyCurrentUser, key_, T("Number"));
    ADD_FAILURE() << "a REG_DWORD value read as text";
  } catch (const platform::Exception& e) {
    EXPECT_STREQ(e.what(), "Invalid data type for 'Number'");
  }
}

TEST_F(ShellOnWindows, FixedDrivesAndFreeSpace) {
  const std::string drives = TextToUtf8(shell::GetFixedDrives());
  EXPECT_NE(drives.find('C'), std::string::npos) << drives;
  for (std::size_t i = 0; i < drives.size(); ++i) {
    EXPECT_TRUE(drives[i] >= 'A' && drives[i] <= 'Z') << drives;
    if (i > 0) {
      EXPECT_LT(drives[i - 1], drives[i]) << drives;
    }
  }

  // Other programs may write to the disk between the two calls, so allow a little drift.
  const std::int64_t upper = shell::GetDriveFreeSpace(u'C');
  const std::int64_t lower = shell::GetDriveFreeSpace(u'c');
  ASSERT_GT(upper, 0);
  EXPECT_NEAR(static_cast<double>(lower), static_cast<double>(upper), 64.0 * 1024 * 1024);

  const DWORD mask = ::GetLogicalDrives();
  for (int i = 25; i >= 0; --i) {
    if ((mask & (1u << i)) == 0) {
      EXPECT_EQ(shell::GetDriveFreeSpace(static_cast<char16_t>(u'A' + i)), -1);
      break;
    }
  }
  EXPECT_EQ(shell::GetDriveFreeSpace(u'1'), -1);
}

TEST_F(ShellOnWindows, SystemDirHasExactlyOneTrailingBackslash) {
  wchar_t buffer[MAX_PATH];
  const UINT length = ::GetSystemDirectoryW(buffer, MAX_PATH);
  ASSERT_GT(length, 0u);
  const Text expected = Text(reinterpret_cast<const char16_t*>(buffer), length) + u"\\";
  const Text dir = shell::GetSystemDir();
  EXPECT_EQ(TextToUtf8(dir), TextToUtf8(expected));
  ASSERT_GE(dir.size(), 2u);
  EXPECT_NE(dir[dir.size() - 2], u'\\');
}

TEST_F(ShellOnWindows, ByteSizeUsesTheLocaleDecimalSeparator) {
  wchar_t separator[8] = {};
  ASSERT_GT(::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8), 0);
  const Text expected = u"1" + Text(reinterpret_cast<const char16_t*>(separator)) + u"5 MB";
  EXPECT_EQ(TextToUtf8(shell::FormatByteSize(1572864)), TextToUtf8(expected));
  EXPECT_EQ(shell::FormatByteSize(-1), T("-1 Bytes"));
}

}  // namespace
