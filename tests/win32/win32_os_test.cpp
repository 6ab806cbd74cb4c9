// Win32Os against the real system (Wine in the test stage): the contracts the portable layers rely
// on, and the ones the simulated Windows claims to copy from Windows.
#include "platform/win32/win32_os.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>
#include <string>

#include "platform/host.h"
#include "platform/text.h"
#include "platform/win32/windows_api.h"
#include <shlwapi.h>

namespace platform {
namespace {

Text T(const char* ascii) { return AsciiToText(ascii); }

// A folder of its own under %TEMP% for each test, removed with everything in it afterwards.
class Win32OsFiles : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    dir_ = Text(reinterpret_cast<const char16_t*>(temp)) + T("stp-win32-") +
           Utf8ToText(testing::UnitTest::GetInstance()->current_test_info()->name());
    Remove();
    ASSERT_TRUE(os_.CreateDirectory(dir_));
  }
  void TearDown() override { Remove(); }

  Text Path(const char* name) const { return dir_ + u"\\" + T(name); }

  void Remove() {
    // SHFileOperation wants a list ending in two NULs.
    Text from = dir_ + Text(2, u'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = reinterpret_cast<const wchar_t*>(from.c_str());
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    ::SHFileOperationW(&op);
  }

  Win32Os os_;
  Text dir_;
};

TEST_F(Win32OsFiles, WriteTruncateReadSeekAndSize) {
  const Text path = Path("data.bin");
  {
    auto file = os_.CreateFileForWrite(path);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Write("0123456789", 10));
    EXPECT_EQ(file->Size(), 10);
  }
  {
    // Creating it again truncates: only the new bytes remain.
    auto file = os_.CreateFileForWrite(path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(os_.GetLastError(), 0u);
    ASSERT_TRUE(file->Write("abcdef", 6));
  }
  EXPECT_TRUE(os_.FileExists(path));
  EXPECT_FALSE(os_.DirectoryExists(path));

  auto file = os_.OpenFileForRead(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Size(), 6);
  char buffer[16] = {};
  std::uint32_t got = 0;
  ASSERT_TRUE(file->Read(buffer, 4, &got));
  EXPECT_EQ(std::string(buffer, got), "abcd");

  EXPECT_EQ(file->Seek(-2, SeekOrigin::kEnd), 4);
  ASSERT_TRUE(file->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(std::string(buffer, got), "ef");
  // At the end a read succeeds with nothing.
  ASSERT_TRUE(file->Read(buffer, sizeof buffer, &got));
  EXPECT_EQ(got, 0u);

  EXPECT_EQ(file->Seek(1, SeekOrigin::kBegin), 1);
  EXPECT_EQ(file->Seek(2, SeekOrigin::kCurrent), 3);
  ASSERT_TRUE(file->Read(buffer, 1, &got));
  EXPECT_EQ(std::string(buffer, got), "d");
  EXPECT_EQ(file->Seek(-1, SeekOrigin::kBegin), -1);
  // A position past the end is allowed; reading there gives nothing.
  EXPECT_EQ(file->Seek(100, SeekOrigin::kBegin), 100);
  ASSERT_TRUE(file->Read(buffer, 1, &got));
  EXPECT_EQ(got, 0u);

  // A file open for reading may be read again, not written.
  EXPECT_FALSE(file->Write("x", 1));
}

TEST_F(Win32OsFiles, MissingFilesAndFoldersReportTheirLastError) {
  os_.SetLastError(0);
  EXPECT_EQ(os_.OpenFileForRead(Path("missing.bin")), nullptr);
  EXPECT_EQ(os_.GetLastError(), kErrorFileNotFound);

  EXPECT_EQ(os_.OpenFileForRead(Path("no-folder\\x.bin")), nullptr);
  EXPECT_EQ(os_.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(os_.CreateFileForWrite(Path("no-folder\\x.bin")), nullptr);
  EXPECT_EQ(os_.GetLastError(), kErrorPathNotFound);

  EXPECT_EQ(os_.GetFileAttributes(Path("missing.bin")), kInvalidFileAttributes);
  EXPECT_FALSE(os_.FileExists(Path("missing.bin")));
  EXPECT_FALSE(os_.DeleteFile(Path("missing.bin")));
  EXPECT_EQ(os_.GetLastError(), kErrorFileNotFound);
}

TEST_F(Win32OsFiles, FoldersAreCreatedOneLevelAtATime) {
  const Text sub = Path("sub");
  EXPECT_FALSE(os_.CreateDirectory(Path("a\\b")));  // parent missing
  EXPECT_EQ(os_.GetLastError(), kErrorPathNotFound);

  ASSERT_TRUE(os_.CreateDirectory(sub));
  EXPECT_TRUE(os_.DirectoryExists(sub));
  EXPECT_FALSE(os_.FileExists(sub));
  EXPECT_NE(os_.GetFileAttributes(sub) & kFileAttributeDirectory, 0u);
  EXPECT_FALSE(os_.CreateDirectory(sub));
  EXPECT_EQ(os_.GetLastError(), kErrorAlreadyExists);

  ASSERT_NE(os_.CreateFileForWrite(sub + u"\\f.txt"), nullptr);
  EXPECT_FALSE(os_.RemoveDirectory(sub));
  EXPECT_EQ(os_.GetLastError(), kErrorDirNotEmpty);
  ASSERT_TRUE(os_.DeleteFile(sub + u"\\f.txt"));
  EXPECT_TRUE(os_.RemoveDirectory(sub));
  EXPECT_FALSE(os_.DirectoryExists(sub));
}

TEST_F(Win32OsFiles, CopyListAndDeleteAtTheNextStart) {
  {
    auto file = os_.CreateFileForWrite(Path("a.exe"));
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->Write("abc", 3));
  }
  ASSERT_TRUE(os_.CopyFile(Path("a.exe"), Path("b.exe"), true));
  EXPECT_FALSE(os_.CopyFile(Path("a.exe"), Path("b.exe"), true));
  EXPECT_EQ(os_.GetLastError(), kErrorFileExists);
  EXPECT_TRUE(os_.CopyFile(Path("a.exe"), Path("b.exe"), false));
  EXPECT_FALSE(os_.CopyFile(Path("missing"), Path("c.exe"), false));
  ASSERT_TRUE(os_.CreateDirectory(Path("sub")));

  // Listing gives the names without "." and "..", with or without a trailing backslash.
  for (const Text& folder : {dir_, dir_ + u"\\"}) {
    std::vector<Text> names;
    ASSERT_TRUE(os_.ListDirectory(folder, &names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<Text>{T("a.exe"), T("b.exe"), T("sub")}));
  }
  std::vector<Text> names{T("stale")};
  EXPECT_FALSE(os_.ListDirectory(Path("missing"), &names));
  EXPECT_TRUE(names.empty());

  // Deletion at the next start leaves the file until then (the test runs as administrator).
  EXPECT_TRUE(os_.MoveFileEx(Path("b.exe"), nullptr, kMoveFileDelayUntilReboot));
  EXPECT_TRUE(os_.FileExists(Path("b.exe")));
}

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

// Registry calls under a key of this test's own in HKEY_CURRENT_USER.
class Win32OsRegistry : public testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() { ::SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\StpWin32OsTest"); }

  Win32Os os_;
  const Text path_ = T("Software\\StpWin32OsTest\\Sub");
};

TEST_F(Win32OsRegistry, ValuesRoundTripWithTheirTypeAndSize) {
  Handle key = 0;
  ASSERT_EQ(os_.RegCreateKeyEx(kHkeyCurrentUser, path_, kRegOptionNonVolatile, kKeyAllAccess, &key),
            kErrorSuccess);
  ASSERT_NE(key, 0u);

  const std::u16string text = u"v\u00e9";
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
  ASSERT_EQ(os_.RegSetValueEx(key, T("text"), kRegSz, bytes, 6), kErrorSuccess);
  ASSERT_EQ(os_.RegSetValueEx(key, T("empty"), kRegSz, reinterpret_cast<const std::uint8_t*>(u""), 2),
            kErrorSuccess);
  const std::uint32_t number = 0x12345678;
  ASSERT_EQ(os_.RegSetValueEx(key, T("number"), kRegDword,
                              reinterpret_cast<const std::uint8_t*>(&number), 4),
            kErrorSuccess);

  // Type and size alone, then the data; a buffer one byte short gets ERROR_MORE_DATA.
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  ASSERT_EQ(os_.RegQueryValueEx(key, T("text"), &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 6u);
  std::uint8_t data[16] = {};
  size = 5;
  EXPECT_EQ(os_.RegQueryValueEx(key, T("text"), &type, data, &size),
            static_cast<LStatus>(kErrorMoreData));
  EXPECT_EQ(size, 6u);
  size = sizeof data;
  ASSERT_EQ(os_.RegQueryValueEx(key, T("text"), &type, data, &size), kErrorSuccess);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data), 2), u"v\u00e9");

  ASSERT_EQ(os_.RegQueryValueEx(key, T("empty"), &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 2u);
  ASSERT_EQ(os_.RegQueryValueEx(key, T("number"), &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(os_.RegQueryValueEx(key, T("missing"), &type, nullptr, &size),
            static_cast<LStatus>(kErrorFileNotFound));
  EXPECT_EQ(os_.RegCloseKey(key), kErrorSuccess);

  // Opened again, the values are there.
  ASSERT_EQ(os_.RegOpenKeyEx(kHkeyCurrentUser, path_, kKeyRead, &key), kErrorSuccess);
  ASSERT_EQ(os_.RegQueryValueEx(key, T("text"), &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 6u);
  os_.RegCloseKey(key);
}

TEST_F(Win32OsRegistry, MissingKeysAndMalformedPaths) {
  Handle key = 0x1234;
  EXPECT_EQ(os_.RegOpenKeyEx(kHkeyCurrentUser, path_, kKeyAllAccess, &key),
            static_cast<LStatus>(kErrorFileNotFound));
  EXPECT_EQ(key, 0u);
  // Windows rejects a key path that begins with a backslash; the helpers above the boundary
  // strip it, and the simulated registry copies this answer.
  EXPECT_NE(os_.RegCreateKeyEx(kHkeyCurrentUser, T("\\Software\\StpWin32OsTest"),
                               kRegOptionNonVolatile, kKeyAllAccess, &key),
            kErrorSuccess);
  EXPECT_NE(os_.RegOpenKeyEx(kHkeyCurrentUser, T("\\Software"), kKeyRead, &key), kErrorSuccess);
}

TEST_F(Win32OsRegistry, DeletingAKeyWithoutSubkeysOnly) {
  Handle key = 0;
  ASSERT_EQ(os_.RegCreateKeyEx(kHkeyCurrentUser, path_, kRegOptionNonVolatile, kKeyAllAccess, &key),
            kErrorSuccess);
  os_.RegCloseKey(key);
  EXPECT_NE(os_.RegDeleteKey(kHkeyCurrentUser, T("Software\\StpWin32OsTest")), kErrorSuccess);
  EXPECT_EQ(os_.RegDeleteKey(kHkeyCurrentUser, path_), kErrorSuccess);
  EXPECT_EQ(os_.RegOpenKeyEx(kHkeyCurrentUser, path_, kKeyRead, &key),
            static_cast<LStatus>(kErrorFileNotFound));
  EXPECT_EQ(os_.RegDeleteKey(kHkeyCurrentUser, path_), static_cast<LStatus>(kErrorFileNotFound));
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
