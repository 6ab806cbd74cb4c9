// Win32Os against the real system (Wine in the test stage): the contracts the portable layers rely
// on, and the ones the simulated Windows claims to copy from Windows.
#include "platform/win32/win32_os.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/host.h"
#include "platform/text.h"
#include "platform/win32/windows_api.h"

namespace platform {
namespace {

Text T(const char* ascii) { return AsciiToText(ascii); }

// Files, folders, errors and the registry are the Os contract: tests/platform/os_contract_test.cpp.

TEST(Win32OsCodePage, AnsiConversionRoundTrips) {
  Win32Os os;
  struct Case {
    std::uint32_t code_page;
    std::u16string wide;
    std::string ansi;
  };
  const Case cases[] = {
      {0, u"plain ASCII ~", "plain ASCII ~"},
      {0, std::u16string(u"a\0b", 3), std::string("a\0b", 3)},  // NUL is kept
      {1252, u"caf\u00e9 \u20ac", "caf\xe9 \x80"},
      {936, u"\u5b89\u88c5 A", "\xb0\xb2\xd7\xb0 A"},
  };
  const std::uint32_t acp = os.GetACP();
  // The test stage runs this in an English and in a Chinese environment and says which it set.
  if (const char* expected = std::getenv("STP_EXPECT_ACP")) {
    EXPECT_EQ(acp, static_cast<std::uint32_t>(std::atoi(expected)));
  }
  int checked = 0;
  for (const Case& c : cases) {
    if (c.code_page != 0 && c.code_page != acp) continue;
    SCOPED_TRACE(TextToUtf8(c.wide));
    EXPECT_EQ(os.WideToAnsi(c.wide), c.ansi);
    EXPECT_EQ(os.AnsiToWide(c.ansi), c.wide);
    ++checked;
  }
  EXPECT_GE(checked, 2);
  EXPECT_EQ(os.WideToAnsi(u""), "");
  EXPECT_EQ(os.AnsiToWide(""), u"");
  // A character the code page lacks becomes the default character.
  if (acp == 1252) {
    EXPECT_EQ(os.WideToAnsi(u"\u5b89"), "?");
  }
}

TEST(Win32OsShellLink, SavedShortcutLoadsResolvesAndGivesItsTarget) {
  Win32Os os;
  wchar_t temp[MAX_PATH];
  ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
  const Text dir = Text(reinterpret_cast<const char16_t*>(temp));
  const Text target = dir + u"stp-link-target.exe";
  const Text link_path = dir + u"stp-link.lnk";
  ASSERT_NE(os.CreateFileForWrite(target), nullptr);

  {
    std::unique_ptr<ShellLink> link;
    ASSERT_TRUE(Succeeded(os.CreateShellLink(5, kIidIUnknown, &link)));
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->QueryInterface(kIidIShellLinkW), kSOk);
    EXPECT_EQ(link->QueryInterface(kIidIPersistFile), kSOk);
    const Guid unknown_iid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(link->QueryInterface(unknown_iid), kENoInterface);
    EXPECT_TRUE(Succeeded(link->SetPath(target)));
    EXPECT_TRUE(Succeeded(link->SetWorkingDirectory(dir)));
    EXPECT_TRUE(Succeeded(link->Save(link_path, false)));
  }
  EXPECT_TRUE(os.FileExists(link_path));

  std::unique_ptr<ShellLink> link;
  ASSERT_TRUE(Succeeded(os.CreateShellLink(1, kIidIShellLinkW, &link)));
  ASSERT_TRUE(Succeeded(link->Load(link_path, 0)));
  EXPECT_TRUE(Succeeded(link->Resolve(0, 8 | 1 /* SLR_NOUPDATE | SLR_NO_UI */)));
  Text path;
  ASSERT_TRUE(Succeeded(link->GetPath(&path, MAX_PATH, 2)));
  EXPECT_EQ(TextToUtf8(path), TextToUtf8(target));
  // A buffer too small for the path never yields more characters than it holds.
  Text cut;
  link->GetPath(&cut, 5, 2);
  EXPECT_LE(cut.size(), 5u);

  // A file that is not a shortcut does not load.
  std::unique_ptr<ShellLink> other;
  ASSERT_TRUE(Succeeded(os.CreateShellLink(1, kIidIShellLinkW, &other)));
  EXPECT_FALSE(Succeeded(other->Load(target, 0)));

  os.DeleteFile(link_path);
  os.DeleteFile(target);
}

TEST(Win32OsSystem, DrivesAndSystemFolder) {
  Win32Os os;
  const std::uint32_t mask = os.GetLogicalDrives();
  ASSERT_NE(mask & (1u << 2), 0u);  // C:
  EXPECT_EQ(os.GetDriveType(T("C:\\")), kDriveFixed);

  std::int64_t free_bytes = -1;
  std::int64_t total = -1;
  ASSERT_TRUE(os.GetDiskFreeSpaceEx(T("C:\\"), &free_bytes, &total));
  EXPECT_GT(free_bytes, 0);
  EXPECT_GE(total, free_bytes);

  char16_t missing = 0;
  for (int i = 25; i >= 3 && missing == 0; --i) {
    if ((mask & (1u << i)) == 0) missing = static_cast<char16_t>(u'A' + i);
  }
  ASSERT_NE(missing, 0);
  const Text missing_root = Text(1, missing) + u":\\";
  EXPECT_EQ(os.GetDriveType(missing_root), kDriveNoRootDir);
  EXPECT_FALSE(os.GetDiskFreeSpaceEx(missing_root, &free_bytes, &total));

  Text dir;
  const std::uint32_t length = os.GetSystemDirectory(&dir, MAX_PATH);
  EXPECT_EQ(length, dir.size());
  ASSERT_GT(dir.size(), 3u);
  EXPECT_NE(dir.back(), u'\\');
  EXPECT_TRUE(os.DirectoryExists(dir));
  // Too small a buffer: the size needed (with the NUL) and no text.
  Text small = T("stale");
  EXPECT_EQ(os.GetSystemDirectory(&small, 4), length + 1);
  EXPECT_TRUE(small.empty());
}

TEST(Win32OsSystem, EnvironmentVariables) {
  Win32Os os;
  ::SetEnvironmentVariableW(L"STP_TEST_VALUE", L"x\u00e9");
  EXPECT_EQ(os.GetEnvironmentVariable(T("STP_TEST_VALUE")), std::optional<Text>(u"x\u00e9"));
  EXPECT_EQ(os.GetEnvironmentVariable(T("stp_test_value")), std::optional<Text>(u"x\u00e9"));
  ::SetEnvironmentVariableW(L"STP_TEST_VALUE", nullptr);
  EXPECT_EQ(os.GetEnvironmentVariable(T("STP_TEST_VALUE")), std::nullopt);

  // Longer than the first buffer.
  const std::u16string long_value(1000, u'v');
  ::SetEnvironmentVariableW(L"STP_TEST_LONG", reinterpret_cast<const wchar_t*>(long_value.c_str()));
  EXPECT_EQ(os.GetEnvironmentVariable(T("STP_TEST_LONG")), std::optional<Text>(long_value));
  ::SetEnvironmentVariableW(L"STP_TEST_LONG", nullptr);

  EXPECT_TRUE(os.GetEnvironmentVariable(T("PROGRAMFILES")).has_value());
}

TEST(Win32OsSystem, VersionLocaleAndErrorTexts) {
  Win32Os os;
  // The test stage runs this once as Windows 7 and once with the prefix set to Windows XP.
  const char* expected = std::getenv("STP_EXPECT_WINDOWS_MAJOR");
  if (expected != nullptr) {
    EXPECT_EQ(os.WindowsMajorVersion(), static_cast<std::uint32_t>(std::atoi(expected)));
  } else {
    EXPECT_GE(os.WindowsMajorVersion(), 5u);
  }
  const Text separator = os.LocaleDecimalSeparator();
  EXPECT_FALSE(separator.empty());
  EXPECT_LE(separator.size(), 3u);

  EXPECT_FALSE(os.SystemErrorMessage(kErrorFileNotFound).empty());
  EXPECT_TRUE(os.SystemErrorMessage(0x2FFFFFFF).empty());
}

TEST(Win32OsResources, StringsByIdAndLanguage) {
  Win32Os os;
  EXPECT_EQ(os.LoadResString(1001, 2052), std::optional<Text>(u"cn-1001"));
  EXPECT_EQ(os.LoadResString(1001, 1033), std::optional<Text>(u"en-1001"));
  EXPECT_EQ(os.LoadResString(1005, 2052), std::optional<Text>(u"cn-1005"));
  EXPECT_EQ(os.LoadResString(1007, 2052), std::optional<Text>(u"cn-1007"));  // last of its block
  EXPECT_EQ(os.LoadResString(1012, 2052), std::optional<Text>(u"cn-1012"));
  EXPECT_EQ(os.LoadResString(1020, 2052), std::optional<Text>(u"cn-1020 next block"));
  // An id without text in a block that exists reads as empty; a block that does not exist in
  // the language, or at all, gives nothing.
  EXPECT_EQ(os.LoadResString(1006, 2052), std::optional<Text>(u""));
  EXPECT_EQ(os.LoadResString(1012, 1033), std::nullopt);
  // The neutral language asks for whichever language the block exists in.
  EXPECT_EQ(os.LoadResString(1012, 0), std::optional<Text>(u"cn-1012"));
  EXPECT_EQ(os.LoadResString(40000, 2052), std::nullopt);
  EXPECT_EQ(os.LoadResString(0x10000 + 1001, 2052), std::nullopt);
}

TEST(Win32OsResources, BytesByNameAndType) {
  Win32Os os;
  const auto bytes = os.FindResourceBytes(T("TestData"), T("StpFile"));
  ASSERT_TRUE(bytes.has_value());
  const std::string content(bytes->begin(), bytes->end());
  EXPECT_EQ(content, std::string("abc\0xyz", 7));
  EXPECT_TRUE(os.FindResourceBytes(T("TESTDATA"), T("STPFILE")).has_value());
  EXPECT_FALSE(os.FindResourceBytes(T("Missing"), T("StpFile")).has_value());
  EXPECT_FALSE(os.FindResourceBytes(T("TestData"), T("Other")).has_value());
}

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  return ::DefWindowProcW(window, message, w, l);
}

TEST(Win32OsWindows, FindWindowByClassAndTitle) {
  Win32Os os;
  WNDCLASSW wc{};
  wc.lpfnWndProc = TestWindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"StpWin32TestWindow";
  ASSERT_NE(::RegisterClassW(&wc), 0);
  HWND window = ::CreateWindowW(L"StpWin32TestWindow", L"Stp Test Title", WS_OVERLAPPED, 0, 0, 10,
                                10, nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  const Handle handle = reinterpret_cast<Handle>(window);
  const Text cls = T("StpWin32TestWindow");
  const Text title = T("Stp Test Title");
  const Text other = T("Other Title");
  EXPECT_EQ(os.FindWindow(&cls, &title), handle);
  EXPECT_EQ(os.FindWindow(&cls, nullptr), handle);
  EXPECT_EQ(os.FindWindow(nullptr, &title), handle);
  EXPECT_EQ(os.FindWindow(&cls, &other), 0u);
  ::DestroyWindow(window);
  EXPECT_EQ(os.FindWindow(&cls, &title), 0u);
  ::UnregisterClassW(L"StpWin32TestWindow", wc.hInstance);
}

TEST(Win32OsShell, ShellExecuteExStartsAProcessWithItsParameters) {
  Win32Os os;
  Text system_dir;
  ASSERT_GT(os.GetSystemDirectory(&system_dir, MAX_PATH), 0u);
  ShellExecuteInfo info;
  info.cbSize = sizeof(SHELLEXECUTEINFOW);
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = system_dir + u"\\cmd.exe";
  info.lpParameters = T("/c exit 7");
  info.nShow = SW_HIDE;
  ASSERT_TRUE(os.ShellExecuteEx(&info));
  ASSERT_NE(info.hProcess, 0u);
  HANDLE process = reinterpret_cast<HANDLE>(info.hProcess);
  ASSERT_EQ(::WaitForSingleObject(process, 30000), WAIT_OBJECT_0);
  DWORD code = 0;
  ASSERT_TRUE(::GetExitCodeProcess(process, &code));
  EXPECT_EQ(code, 7u);
  ::CloseHandle(process);

  ShellExecuteInfo missing;
  missing.cbSize = sizeof(SHELLEXECUTEINFOW);
  missing.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  missing.lpFile = T("C:\\no-such-folder\\no-such-program.exe");
  EXPECT_FALSE(os.ShellExecuteEx(&missing));
  EXPECT_EQ(missing.hProcess, 0u);
}

TEST(Win32OsProcess, OwnPathTemporaryFolderAndStartingAProgram) {
  Win32Os os;
  const Text self = os.ModuleFileName();
  ASSERT_GT(self.size(), 4u);
  EXPECT_EQ(self.substr(1, 2), T(":\\"));
  EXPECT_TRUE(os.FileExists(self));
  const Text temp = os.GetTempPath();
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(temp.back(), u'\\');
  EXPECT_TRUE(os.DirectoryExists(temp));

  // cmd writes a file into its current folder: the folder it was started in.
  Text system_dir;
  ASSERT_GT(os.GetSystemDirectory(&system_dir, MAX_PATH), 0u);
  const Text cmd = system_dir + u"\\cmd.exe";
  const Text marker = temp + T("stp-create-process.txt");
  os.DeleteFile(marker);
  ASSERT_TRUE(os.CreateProcess(cmd, u"\"" + cmd + u"\" /c echo x> stp-create-process.txt", temp));
  for (int i = 0; i < 300 && !os.FileExists(marker); ++i) ::Sleep(100);
  EXPECT_TRUE(os.FileExists(marker));
  for (int i = 0; i < 50 && !os.DeleteFile(marker); ++i) ::Sleep(100);
  EXPECT_FALSE(os.CreateProcess(T("C:\\no-such-folder\\x.exe"), T("x.exe"), temp));
}

TEST(Win32Host, RelativePathsBecomeAbsolute) {
  wchar_t current[MAX_PATH];
  ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, current), 0u);
  Text expected = Text(reinterpret_cast<const char16_t*>(current));
  if (expected.back() != u'\\') expected += u'\\';
  EXPECT_EQ(TextToUtf8(HostPathToOsPath("sub/\xe5\xae\x89.stp")),
            TextToUtf8(expected + u"sub\\\u5b89.stp"));
  EXPECT_EQ(TextToUtf8(HostPathToOsPath("C:\\a\\..\\b")), "C:\\b");
  EXPECT_NE(CreateHostOs(1252), nullptr);
}

}  // namespace
}  // namespace platform
