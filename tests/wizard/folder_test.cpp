// The destination page: the proposed folder, the folder-change rule, browsing.
#include "wizard/browse_and_launch.h"
#include "wizard_fixture.h"

namespace wiztest {
namespace {

class FolderTest : public WizardTest {};

TEST_F(FolderTest, ProposedFolderComesFromAnEarlierInstallationOrProgramFiles) {
  Create();
  EXPECT_EQ(State(u"editSetupDir").text, u"C:\\Program Files\\Tavrel Soft\\TavrelDemo");
  form_.reset();

  os_.SetEnvironmentVariable(u"PROGRAMFILES", std::nullopt);
  Create();
  EXPECT_EQ(State(u"editSetupDir").text, u"\\Tavrel Soft\\TavrelDemo");
  EXPECT_FALSE(State(u"lblFreeSize").visible);
  form_.reset();

  AddShortcut(kDesktop, u"D:\\Desk\\TavrelDemo.exe");
  Create();
  EXPECT_EQ(State(u"editSetupDir").text, u"D:\\Desk");
  EXPECT_EQ(State(u"lblFreeSize").text, u"Space available: 2 MB");
  form_.reset();

  AddShortcut(kQuickLaunch, u"C:\\Quick\\Demo\\TavrelDemo.exe");
  Create();
  EXPECT_EQ(State(u"editSetupDir").text, u"C:\\Quick\\Demo");
}

TEST_F(FolderTest, LookupUsesTheDisplayNameOfTheLanguage) {
  MakeFolder(kDesktop);
  ASSERT_TRUE(os_.WriteShortcutFile(kDesktop + u"\\塔维演示.lnk", u"D:\\Cn\\TavrelDemo.exe", u""));
  Create(kEnglish);
  EXPECT_EQ(State(u"editSetupDir").text, u"C:\\Program Files\\Tavrel Soft\\TavrelDemo");
  form_.reset();
  Create(kChinese);
  EXPECT_EQ(State(u"editSetupDir").text, u"D:\\Cn");
}

TEST_F(FolderTest, UnreadableShellFolderSettingFallsBackToTheDefault) {
  os_.SetRegistryValue(platform::kHkeyCurrentUser,
                       u"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                       u"AppData", platform::kRegDword, {1, 0, 0, 0});
  Create();
  EXPECT_EQ(State(u"editSetupDir").text, u"C:\\Program Files\\Tavrel Soft\\TavrelDemo");
  EXPECT_TRUE(State(u"lblFreeSize").visible);
}

TEST_F(FolderTest, TypedFolderShowsFreeSpaceOnlyForAFixedDriveRoot) {
  Create();
  GoToPage(3);
  struct Row {
    Text typed;
    const char16_t* shown;  // nullptr: hidden
  };
  const Row rows[] = {
      {u"c:\\x", u"Space available: 3.5 GB"},
      {u"D:\\Apps\\Tool", u"Space available: 2 MB"},
      {u"d:\\", u"Space available: 2 MB"},
      {u"C:x", nullptr},
      {u"C:/x", nullptr},
      {u"C:", nullptr},
      {u"\\\\server\\share", nullptr},
      {u"E:\\x", nullptr},  // removable
      {u"F:\\x", nullptr},  // no such drive
      {u"x:\\", nullptr},
      {u"", nullptr},
      {u"\u00E7:\\x", nullptr},  // only ASCII letters are upper-cased
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::TextToUtf8(row.typed));
    // From a shown label each time, so that hiding is seen.
    ASSERT_TRUE(Type(u"editSetupDir", u"C:\\reset"));
    ASSERT_TRUE(Type(u"editSetupDir", row.typed));
    EXPECT_EQ(State(u"lblFreeSize").visible, row.shown != nullptr);
    EXPECT_EQ(State(u"btnNext").enabled, row.shown != nullptr);
    if (row.shown) {
      EXPECT_EQ(State(u"lblFreeSize").text, row.shown);
    }
  }
}

TEST_F(FolderTest, BrowsedFolderAlwaysShowsItsDriveFreeSpace) {
  Create();
  GoToPage(3);
  os_.QueueBrowseResult(u"E:\\Portable");
  EXPECT_TRUE(Click(u"btnBrowse"));
  EXPECT_EQ(State(u"editSetupDir").text, u"E:\\Portable");
  EXPECT_EQ(State(u"lblFreeSize").text, u"Space available: 1 KB");
  EXPECT_TRUE(State(u"btnNext").enabled);
  ASSERT_EQ(os_.BrowseCalls().size(), 1u);
  const auto& call = os_.BrowseCalls()[0];
  EXPECT_EQ(call.owner, Form().WindowHandle());
  EXPECT_NE(call.owner, 0u);
  EXPECT_EQ(call.title, u"Select or create a new folder:");
  EXPECT_EQ(call.root_csidl, 0x11);
  EXPECT_EQ(call.flags, 0x41u);

  // A drive that cannot be queried shows the figure as it formats.
  os_.QueueBrowseResult(u"Q:\\Mapped");
  EXPECT_TRUE(Click(u"btnBrowse"));
  EXPECT_EQ(State(u"lblFreeSize").text, u"Space available: -1 Bytes");
  EXPECT_TRUE(State(u"btnNext").enabled);

  // Cancel changes nothing.
  os_.QueueBrowseResult(std::nullopt);
  EXPECT_TRUE(Click(u"btnBrowse"));
  EXPECT_EQ(State(u"editSetupDir").text, u"Q:\\Mapped");
  EXPECT_EQ(State(u"lblFreeSize").text, u"Space available: -1 Bytes");
}

TEST_F(FolderTest, MachineWithoutFixedDrivesNeverEnablesInstallByTyping) {
  os_.UnmapDrive(u'C');
  os_.UnmapDrive(u'D');
  Create();
  EXPECT_TRUE(Form().FFixedDrives.empty());
  GoToPage(3);
  EXPECT_FALSE(State(u"btnNext").enabled);
  ASSERT_TRUE(Type(u"editSetupDir", u"E:\\x"));
  EXPECT_FALSE(State(u"btnNext").enabled);
}

TEST_F(FolderTest, BrowseForFolderCutsThePathAtItsBuffer) {
  os_.QueueBrowseResult(Text(u"C:\\a") + u'\0' + u"junk");
  EXPECT_EQ(wizard::BrowseForFolder(0, u"p"), u"C:\\a");
  os_.QueueBrowseResult(std::nullopt);
  EXPECT_EQ(wizard::BrowseForFolder(0, u"p"), u"");
}

}  // namespace
}  // namespace wiztest
