// Registry, windows, message boxes, shell links and the smaller services of the simulation: the
// contracts the portable code's tests rely on.
#include <gtest/gtest.h>

#include "platform/sim/sim_windows.h"
#include "platform/text.h"
#include "tests/platform/sim_test_util.h"

namespace platform {
namespace {

TEST(SimRegistryTest, DeletesKeysWithoutSubkeysOnly) {
  SimWindows os;
  os.SetRegistryValue(kHkeyLocalMachine, u"Software\\Vendor\\App", u"v", kRegSz, Bytes{0, 0});
  Handle open = 0;
  ASSERT_EQ(os.RegOpenKeyEx(kHkeyLocalMachine, u"Software\\Vendor\\App", kKeyRead, &open),
            kErrorSuccess);
  EXPECT_EQ(os.RegDeleteKey(kHkeyLocalMachine, u"Software\\Vendor"),
            static_cast<LStatus>(kErrorAccessDenied));
  os.SetAdministrator(false);
  EXPECT_EQ(os.RegDeleteKey(kHkeyLocalMachine, u"Software\\Vendor\\App"),
            static_cast<LStatus>(kErrorAccessDenied));
  os.SetAdministrator(true);
  EXPECT_EQ(os.RegDeleteKey(kHkeyLocalMachine, u"software\\VENDOR\\app"), kErrorSuccess);
  EXPECT_FALSE(os.RegistryKeyExists(kHkeyLocalMachine, u"Software\\Vendor\\App"));
  EXPECT_EQ(os.RegDeleteKey(kHkeyLocalMachine, u"Software\\Vendor\\App"),
            static_cast<LStatus>(kErrorFileNotFound));
  EXPECT_EQ(os.RegCloseKey(open), kErrorSuccess) << "a handle to a deleted key stays closable";
}

TEST(SimProcessTest, DeletionAtTheNextStartNeedsAnAdministrator) {
  SimWindows os;
  EXPECT_TRUE(os.MoveFileEx(u"C:\\t\\a.exe", nullptr, kMoveFileDelayUntilReboot));
  os.SetAdministrator(false);
  EXPECT_FALSE(os.MoveFileEx(u"C:\\t\\b.exe", nullptr, kMoveFileDelayUntilReboot));
  EXPECT_EQ(os.GetLastError(), kErrorAccessDenied);
  EXPECT_EQ(os.DeletionsAtReboot(), std::vector<Text>{u"C:\\t\\a.exe"});
}

// Keys and values as Windows keeps them are the Os contract (os_contract_test.cpp); the
// simulation also counts the keys left open, which tests of the layers above check.
TEST(SimRegistryTest, OpenKeysAreCountedUntilClosed) {
  SimWindows os;
  Handle key = 0;
  ASSERT_EQ(os.RegCreateKeyEx(kHkeyCurrentUser, u"Software\\Vendor\\App", 0, kKeyAllAccess, &key),
            kErrorSuccess);
  EXPECT_EQ(os.OpenKeyCount(), 1);
  Handle missing = 0;
  EXPECT_EQ(os.RegOpenKeyEx(kHkeyCurrentUser, u"Software\\Missing", kKeyRead, &missing),
            static_cast<LStatus>(kErrorFileNotFound));
  EXPECT_EQ(os.OpenKeyCount(), 1);
  ASSERT_EQ(os.RegCloseKey(key), kErrorSuccess);
  EXPECT_EQ(os.OpenKeyCount(), 0);
  std::uint32_t size = 0;
  EXPECT_EQ(os.RegQueryValueEx(0x1234, u"x", nullptr, nullptr, &size),
            static_cast<LStatus>(kErrorInvalidHandle));
}

TEST(SimRegistryTest, MachineKeysRefuseFullAccessWithoutAdministratorRights) {
  SimWindows os;
  os.SetRegistryValue(kHkeyLocalMachine, u"SOFTWARE\\X", u"v", kRegSz, {'1', 0, 0, 0});
  os.SetAdministrator(false);
  Handle key = 0;
  EXPECT_EQ(os.RegOpenKeyEx(kHkeyLocalMachine, u"SOFTWARE\\X", kKeyAllAccess, &key),
            static_cast<LStatus>(kErrorAccessDenied));
  EXPECT_EQ(os.RegCreateKeyEx(kHkeyLocalMachine, u"SOFTWARE\\Y", 0, kKeyAllAccess, &key),
            static_cast<LStatus>(kErrorAccessDenied));
  EXPECT_FALSE(os.RegistryKeyExists(kHkeyLocalMachine, u"SOFTWARE\\Y"));
  ASSERT_EQ(os.RegOpenKeyEx(kHkeyLocalMachine, u"SOFTWARE\\X", kKeyRead, &key), kErrorSuccess);
  // A subkey opened below a machine key is a machine key too.
  Handle sub = 0;
  EXPECT_EQ(os.RegCreateKeyEx(key, u"Sub", 0, kKeyAllAccess, &sub),
            static_cast<LStatus>(kErrorAccessDenied));
  os.RegCloseKey(key);
  // The user's own keys stay writable.
  EXPECT_EQ(os.RegCreateKeyEx(kHkeyCurrentUser, u"Software\\Y", 0, kKeyAllAccess, &key),
            kErrorSuccess);
  os.RegCloseKey(key);
}

TEST(SimWindowsTest, WindowsAndMessageBoxes) {
  SimWindows os;
  Handle main = os.AddWindow(u"TProductMain", u"Product");
  const Text cls = u"tproductmain";
  const Text title = u"Product";
  const Text other_title = u"product";
  EXPECT_EQ(os.FindWindow(&cls, &title), main);
  EXPECT_EQ(os.FindWindow(nullptr, &title), main);
  EXPECT_EQ(os.FindWindow(&cls, nullptr), main);
  EXPECT_EQ(os.FindWindow(&cls, &other_title), 0u);

  os.QueueMessageBoxAnswer(2);
  EXPECT_EQ(os.MessageBox(main, u"text", u"caption", 0x30), 2);
  EXPECT_EQ(os.MessageBox(0, u"again", u"", kMbOk), kIdOk);
  ASSERT_EQ(os.MessageBoxes().size(), 2u);
  EXPECT_EQ(os.MessageBoxes()[0].owner, main);
  EXPECT_EQ(os.MessageBoxes()[0].flags, 0x30u);
}

TEST(SimWindowsTest, ShellLinkObjectSavesAndLoadsItsOwnFormat) {
  testing::TempDir dir;
  SimWindows os;
  os.MapDrive(u'C', dir.path());
  std::unique_ptr<ShellLink> link;
  ASSERT_EQ(os.CreateShellLink(1, kIidIShellLinkW, &link), kSOk);
  EXPECT_EQ(link->QueryInterface(kIidIPersistFile), kSOk);
  EXPECT_EQ(link->QueryInterface(kClsidShellLink), kENoInterface);
  link->SetPath(u"C:\\Apps\\app.exe");
  link->SetWorkingDirectory(u"C:\\Apps\\");
  ASSERT_EQ(link->Save(u"C:\\App.lnk", false), kSOk);
  EXPECT_EQ(link->Save(u"C:\\missing\\App.lnk", false), static_cast<HResult>(0x80070003u));

  ASSERT_EQ(os.CreateShellLink(1, kIidIShellLinkW, &link), kSOk);
  ASSERT_EQ(link->Load(u"C:\\app.LNK", 0), kSOk);
  EXPECT_EQ(link->Resolve(0, 8), kSOk);
  Text path;
  EXPECT_EQ(link->GetPath(&path, 260, 2), kSOk);
  EXPECT_EQ(path, u"C:\\Apps\\app.exe");
  EXPECT_EQ(link->GetPath(&path, 4, 2), kSOk);  // room for three characters and the NUL
  EXPECT_EQ(path, u"C:\\");
  EXPECT_EQ(os.ReadShortcutFile(u"C:\\App.lnk"),
            std::make_pair(Text(u"C:\\Apps\\app.exe"), Text(u"C:\\Apps\\")));

  testing::WriteHostFile(dir.path() / "bad.lnk", "StpSimShellLink 1\nonly one line");
  EXPECT_FALSE(Succeeded(link->Load(u"C:\\bad.lnk", 0)));
  EXPECT_EQ(link->Load(u"C:\\none.lnk", 0), static_cast<HResult>(0x80070002u));
  link.reset();
  EXPECT_EQ(os.ShellLinks().live_objects, 0);

  os.FailShellLinkInterface(kIidIShellLinkW);
  EXPECT_EQ(os.CreateShellLink(1, kIidIShellLinkW, &link), kENoInterface);
  EXPECT_EQ(link, nullptr);
}

TEST(SimWindowsTest, SmallerServices) {
  SimWindows os;
  Text dir = u"unchanged";
  os.SetSystemDirectory(u"C:\\WINDOWS\\system32");
  EXPECT_EQ(os.GetSystemDirectory(&dir, 10), 20u);  // too small: the size needed, NUL included
  EXPECT_EQ(dir, u"unchanged");
  EXPECT_EQ(os.GetSystemDirectory(&dir, 20), 19u);
  EXPECT_EQ(dir, u"C:\\WINDOWS\\system32");

  os.SetEnvironmentVariable(u"ProgramFiles", u"C:\\Program Files");
  EXPECT_EQ(os.GetEnvironmentVariable(u"PROGRAMFILES"), u"C:\\Program Files");
  os.SetEnvironmentVariable(u"PROGRAMFILES", std::nullopt);
  EXPECT_EQ(os.GetEnvironmentVariable(u"ProgramFiles"), std::nullopt);

  os.SetResString(1001, 0, u"neutral");
  os.SetResString(1001, 0x0804, u"\u4E2D\u6587");
  EXPECT_EQ(os.LoadResString(1001, 0x0804), u"\u4E2D\u6587");
  EXPECT_EQ(os.LoadResString(1001, 0x0409), u"neutral");
  EXPECT_EQ(os.LoadResString(1002, 0x0409), std::nullopt);
  os.SetResource(u"SetupPackage", u"StpFile", {1, 2, 3});
  auto bytes = os.FindResourceBytes(u"SETUPPACKAGE", u"stpfile");
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(Bytes(bytes->begin(), bytes->end()), (Bytes{1, 2, 3}));
  EXPECT_FALSE(os.FindResourceBytes(u"SetupPackage", u"RCDATA").has_value());

  os.QueueBrowseResult(u"E:\\Games");
  Text picked;
  EXPECT_TRUE(os.BrowseForFolder(7, u"Pick", 0x11, 0x41, &picked));
  EXPECT_EQ(picked, u"E:\\Games");
  EXPECT_FALSE(os.BrowseForFolder(7, u"Pick", 0x11, 0x41, &picked));  // nothing queued: Cancel
  EXPECT_EQ(os.BrowseCalls().size(), 2u);

  ShellExecuteInfo info;
  info.lpFile = u"C:\\p.exe";
  EXPECT_TRUE(os.ShellExecuteEx(&info));
  EXPECT_NE(info.hProcess, 0u);
  os.SetShellExecuteResult(false);
  EXPECT_FALSE(os.ShellExecuteEx(&info));
  EXPECT_EQ(info.hProcess, 0u);
  ASSERT_EQ(os.ShellExecutes().size(), 2u);
  EXPECT_EQ(os.ShellExecutes()[0].lpFile, u"C:\\p.exe");

  os.Sleep(50);
  EXPECT_EQ(os.Sleeps(), std::vector<std::uint32_t>{50});
}

}  // namespace
}  // namespace platform
