// The uninstaller on the simulated Windows: what it removes, what stays, which shortcuts and
// uninstall entries it takes as its own, and the runs that must change nothing.
#include "uninstall/uninstaller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "params/product_params.h"
#include "platform/fs_util.h"
#include "platform/little_endian.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"
#include "tests/platform/sim_test_util.h"
#include "ui/headless_backend.h"

namespace {

namespace fs = std::filesystem;
using platform::Text;
using platform::TextToUtf8;

void WriteHostFile(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  platform::testing::WriteHostFile(path, content);
}

constexpr char16_t kFolder[] = u"C:\\Program Files\\Demo\\";
constexpr char16_t kSelf[] = u"C:\\Program Files\\Demo\\Uninst.exe";
constexpr char16_t kDesktop[] = u"C:\\Users\\me\\Desktop";
constexpr char16_t kAppData[] = u"C:\\Users\\me\\AppData";
constexpr char16_t kQuickLaunch[] =
    u"C:\\Users\\me\\AppData\\Microsoft\\Internet Explorer\\Quick Launch";
constexpr char16_t kShellFolders[] =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char16_t kEntryEn[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo";
constexpr char16_t kEntryCn[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\演示";

platform::Bytes Utf16Le(const Text& text) { return platform::Utf16LeBytes(text); }

platform::Bytes Sz(const Text& text) { return Utf16Le(text + u'\0'); }

// Every file and folder below a host folder, with the files' contents.
std::map<std::string, std::string> Tree(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).string();
    tree[name] = entry.is_directory() ? "<dir>" : platform::testing::ReadHostFile(entry.path());
  }
  return tree;
}

// An installed demo product: the listed files in C:\Program Files\Demo, its shortcuts on the
// desktop and in Quick Launch, its uninstall entry, and Uninst.exe running from that folder.
class UninstallerTest : public ::testing::Test {
 protected:
  UninstallerTest() : scoped_(os_) {
    os_.MapDrive(u'C', dir_.path());
    const std::uint16_t lang = params::kStringTableLanguage;
    os_.SetResString(1001, lang, u"DemoWindow");
    os_.SetResString(1002, lang, u"Demo App");
    os_.SetResString(1003, lang, u"演示程序");
    os_.SetResString(1004, lang, u"Demo");
    os_.SetResString(1005, lang, u"演示");
    os_.SetResource(u"INSTALLEDFILES", u"#10",
                    Utf16Le(u"Demo.exe\r\ndata\\sample.txt\r\ndata\\deep\\table.bin\r\n"
                            u"readme.txt\r\nUninst.exe\r\n"));
    os_.SetModuleFileName(kSelf);
    for (const char* file :
         {"Demo.exe", "data/sample.txt", "data/deep/table.bin", "readme.txt", "Uninst.exe"}) {
      WriteHostFile(Host(u"Program Files/Demo") / file, file);
    }
    fs::create_directories(Host(u"WINDOWS/Temp"));
    fs::create_directories(Host(u"Users/me/Desktop"));
    fs::create_directories(Host(u"Users/me/AppData/Microsoft/Internet Explorer/Quick Launch"));
    os_.SetRegistryValue(platform::kHkeyCurrentUser, kShellFolders, u"Desktop", platform::kRegSz,
                         Sz(kDesktop));
    os_.SetRegistryValue(platform::kHkeyCurrentUser, kShellFolders, u"AppData", platform::kRegSz,
                         Sz(kAppData));
    Shortcut(kDesktop, u"Demo.lnk", u"C:\\Program Files\\Demo\\Demo.exe");
    Shortcut(kQuickLaunch, u"Demo.lnk", u"C:\\Program Files\\Demo\\Demo.exe");
    Entry(kEntryEn, kSelf);
  }

  fs::path Host(const Text& below_c) { return dir_.path() / TextToUtf8(below_c); }
  bool Exists(const Text& path) { return os_.GetFileAttributes(path) != 0xFFFFFFFFu; }
  void Shortcut(const Text& folder, const Text& name, const Text& target) {
    ASSERT_TRUE(os_.WriteShortcutFile(folder + u"\\" + name, target, platform::FolderPart(target)));
  }
  void Entry(const Text& key, const Text& uninstall_string) {
    os_.SetRegistryValue(platform::kHkeyLocalMachine, key, u"DisplayName", platform::kRegSz,
                         Sz(u"Demo"));
    os_.SetRegistryValue(platform::kHkeyLocalMachine, key, u"UninstallString", platform::kRegSz,
                         Sz(uninstall_string));
  }
  // Runs with these arguments, each given in quotes.
  int Run(std::vector<Text> arguments = {}) {
    Text command_line = u"\"" + os_.ModuleFileName() + u"\"";
    for (const Text& argument : arguments) command_line += u" \"" + argument + u"\"";
    os_.SetCommandLine(command_line);
    ui::HeadlessBackend backend;
    return uninstall::RunUninstall(backend);
  }
  const Text& LastMessage() { return os_.MessageBoxes().back().text; }

  platform::testing::TempDir dir_;
  platform::SimWindows os_;
  platform::ScopedOs scoped_;
};

TEST_F(UninstallerTest, RemovesWhatTheSetupMadeAndHandsItsOwnFileToACopy) {
  os_.QueueMessageBoxAnswer(platform::kIdYes);
  EXPECT_EQ(Run(), uninstall::kExitRemoved);

  ASSERT_EQ(os_.MessageBoxes().size(), 2u);
  EXPECT_EQ(os_.MessageBoxes()[0].text,
            u"Are you sure you want to completely remove Demo and all of its components?");
  EXPECT_EQ(os_.MessageBoxes()[0].caption, u"Uninstall - Demo");
  EXPECT_EQ(os_.MessageBoxes()[0].flags, platform::kMbYesNo | platform::kMbIconQuestion);
  EXPECT_EQ(LastMessage(), u"Demo was successfully removed from your computer.");

  // Only Uninst.exe is left: it runs.
  std::vector<Text> left;
  ASSERT_TRUE(os_.ListDirectory(kFolder, &left));
  EXPECT_EQ(left, std::vector<Text>{u"Uninst.exe"});
  EXPECT_FALSE(Exists(Text(kDesktop) + u"\\Demo.lnk"));
  EXPECT_FALSE(Exists(Text(kQuickLaunch) + u"\\Demo.lnk"));
  EXPECT_FALSE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kEntryEn));
  EXPECT_TRUE(os_.RegistryKeyExists(platform::kHkeyLocalMachine,
                                    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));

  // A copy in the temporary folder, deleted at the next start, started with the folder.
  const Text copy = u"C:\\WINDOWS\\Temp\\~Uninst1.exe";
  EXPECT_EQ(platform::testing::ReadHostFile(Host(u"WINDOWS/Temp/~Uninst1.exe")), "Uninst.exe");
  EXPECT_EQ(os_.DeletionsAtReboot(), std::vector<Text>{copy});
  ASSERT_EQ(os_.ProcessStarts().size(), 1u);
  EXPECT_EQ(os_.ProcessStarts()[0].application, copy);
  EXPECT_EQ(os_.ProcessStarts()[0].command_line, u"\"" + copy + u"\" \"C:\\Program Files\\Demo\"");
  EXPECT_EQ(os_.ProcessStarts()[0].directory, u"C:\\WINDOWS\\Temp\\");

  // The copy's run removes Uninst.exe and the folder; Program Files stays.
  os_.SetModuleFileName(copy);
  EXPECT_EQ(Run({u"C:\\Program Files\\Demo"}), uninstall::kExitRemoved);
  EXPECT_FALSE(Exists(kFolder));
  EXPECT_TRUE(Exists(u"C:\\Program Files"));
  EXPECT_EQ(os_.MessageBoxes().size(), 2u) << "the copy works silently";
}

TEST_F(UninstallerTest, WhatTheUserAddedOrWhatIsInUseStaysWithItsFolders) {
  WriteHostFile(Host(u"Program Files/Demo/data/deep/notes.txt"), "mine");
  const auto in_use = os_.OpenFileForRead(u"C:\\Program Files\\Demo\\readme.txt");
  ASSERT_TRUE(in_use);
  os_.QueueMessageBoxAnswer(platform::kIdYes);
  EXPECT_EQ(Run(), uninstall::kExitIncomplete);

  EXPECT_TRUE(Exists(u"C:\\Program Files\\Demo\\data\\deep\\notes.txt"));
  EXPECT_FALSE(Exists(u"C:\\Program Files\\Demo\\data\\deep\\table.bin"));
  EXPECT_FALSE(Exists(u"C:\\Program Files\\Demo\\data\\sample.txt"));
  EXPECT_FALSE(Exists(u"C:\\Program Files\\Demo\\Demo.exe"));
  // One message names everything that stayed.
  EXPECT_EQ(LastMessage(),
            u"Demo was removed from your computer, but the following items could not be "
            u"removed. You can remove them yourself:\n\n"
            u"C:\\Program Files\\Demo\\readme.txt\n"
            u"C:\\Program Files\\Demo\\data\\deep\\\n"
            u"C:\\Program Files\\Demo\\data\\\n"
            u"C:\\Program Files\\Demo\\");
  EXPECT_EQ(os_.MessageBoxes().back().flags, platform::kMbOk | platform::kMbIconWarning);
  // Shortcuts and the entry go all the same; the copy removes Uninst.exe, the folder stays.
  EXPECT_FALSE(Exists(Text(kDesktop) + u"\\Demo.lnk"));
  EXPECT_FALSE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kEntryEn));
  os_.SetModuleFileName(u"C:\\WINDOWS\\Temp\\~Uninst1.exe");
  EXPECT_EQ(Run({u"C:\\Program Files\\Demo"}), uninstall::kExitIncomplete);
  EXPECT_FALSE(Exists(kSelf));
  EXPECT_TRUE(Exists(kFolder));
}

TEST_F(UninstallerTest, TakesOnlyShortcutsAndEntriesThatPointHere) {
  // Either display name counts; shortcuts or entries of the same name elsewhere are not ours.
  Shortcut(kDesktop, u"演示.lnk", u"C:\\Program Files\\Demo\\Demo.exe");
  Shortcut(kQuickLaunch, u"Demo.lnk", u"C:\\Other\\Demo\\Demo.exe");
  Shortcut(kDesktop, u"Another.lnk", u"C:\\Program Files\\Demo\\Demo.exe");
  Shortcut(kDesktop, u"Demo.lnk", u"C:\\Program Files\\Demo Two\\Demo.exe");
  Entry(kEntryCn, u"\"c:\\program files\\demo\\uninst.exe\"");
  Entry(kEntryEn, u"C:\\Other\\Demo\\Uninst.exe");
  os_.QueueMessageBoxAnswer(platform::kIdYes);
  EXPECT_EQ(Run(), uninstall::kExitRemoved);

  EXPECT_FALSE(Exists(Text(kDesktop) + u"\\演示.lnk"));
  EXPECT_TRUE(Exists(Text(kQuickLaunch) + u"\\Demo.lnk"));
  EXPECT_TRUE(Exists(Text(kDesktop) + u"\\Another.lnk"));
  EXPECT_TRUE(Exists(Text(kDesktop) + u"\\Demo.lnk")) << "a folder that only starts alike";
  EXPECT_FALSE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kEntryCn));
  EXPECT_TRUE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kEntryEn));
}

TEST_F(UninstallerTest, DecliningChangesNothing) {
  const auto before = Tree(dir_.path());
  os_.QueueMessageBoxAnswer(platform::kIdNo);
  EXPECT_EQ(Run(), uninstall::kExitDeclined);
  EXPECT_EQ(Tree(dir_.path()), before);
  EXPECT_TRUE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kEntryEn));
  EXPECT_EQ(os_.MessageBoxes().size(), 1u);
  EXPECT_TRUE(os_.ProcessStarts().empty());
  EXPECT_TRUE(os_.DeletionsAtReboot().empty());
}

TEST_F(UninstallerTest, TheRunningProductStopsItInTheSetupsLanguage) {
  struct Case {
    std::uint32_t code_page;
    Text title;  // of the running window
    Text text;
    Text caption;
  };
  const Case cases[] = {
      {1252, u"Demo App", u"Demo App program is running, please close it first.",
       u"Uninstall - Demo"},
      {1252, u"演示程序", u"Demo App program is running, please close it first.",
       u"Uninstall - Demo"},
      {936, u"演示程序", u"演示程序正在运行，请先退出后再进行卸载。", u"卸载 - 演示"},
  };
  const auto before = Tree(dir_.path());
  for (const Case& c : cases) {
    platform::SimWindows os;
    os.MapDrive(u'C', dir_.path());
    os.SetCodePage(c.code_page);
    os.SetModuleFileName(kSelf);
    for (std::uint32_t id = 1001; id <= 1005; ++id) {
      os.SetResString(id, params::kStringTableLanguage,
                      *os_.LoadResString(id, params::kStringTableLanguage));
    }
    os.AddWindow(u"DemoWindow", c.title);
    platform::ScopedOs scoped(os);
    EXPECT_EQ(Run(), uninstall::kExitProductRunning);
    ASSERT_EQ(os.MessageBoxes().size(), 1u) << "no question asked";
    EXPECT_EQ(os.MessageBoxes()[0].text, c.text);
    EXPECT_EQ(os.MessageBoxes()[0].caption, c.caption);
  }
  EXPECT_EQ(Tree(dir_.path()), before);
}

TEST_F(UninstallerTest, ChineseTexts) {
  os_.SetCodePage(936);
  os_.QueueMessageBoxAnswer(platform::kIdYes);
  EXPECT_EQ(Run(), uninstall::kExitRemoved);
  EXPECT_EQ(os_.MessageBoxes()[0].text, u"您确实要完全移除“演示”及其所有组件吗？");
  EXPECT_EQ(os_.MessageBoxes()[0].caption, u"卸载 - 演示");
  EXPECT_EQ(LastMessage(), u"“演示”已成功地从您的计算机中移除。");
}

TEST_F(UninstallerTest, WithoutItsCopyUninstExeAndTheFolderAreNamedAsStaying) {
  os_.SetTempPath(u"");
  os_.QueueMessageBoxAnswer(platform::kIdYes);
  EXPECT_EQ(Run(), uninstall::kExitIncomplete);
  EXPECT_NE(LastMessage().find(u"\n\nC:\\Program Files\\Demo\\Uninst.exe\n"
                               u"C:\\Program Files\\Demo\\"),
            Text::npos);
  EXPECT_TRUE(os_.ProcessStarts().empty());
}

TEST_F(UninstallerTest, TheCopyWaitsForUninstExeAndNeverRunsInsideTheFolder) {
  // Uninst.exe stays open (the first run has not ended): the copy gives up after its retries.
  const auto running = os_.OpenFileForRead(kSelf);
  os_.SetModuleFileName(u"C:\\WINDOWS\\Temp\\~Uninst1.exe");
  EXPECT_EQ(Run({u"C:\\Program Files\\Demo"}), uninstall::kExitIncomplete);
  EXPECT_TRUE(Exists(kSelf));
  EXPECT_GE(os_.Sleeps().size(), 10u);
  // Started from inside the folder it would wait for itself: it does nothing.
  os_.SetModuleFileName(u"C:\\Program Files\\Demo\\Sub\\Uninst.exe");
  EXPECT_EQ(Run({u"C:\\Program Files\\Demo\\"}), uninstall::kExitIncomplete);
  EXPECT_TRUE(Exists(kSelf));
}

TEST_F(UninstallerTest, ThePublishersFolderGoesWithTheLastProductInIt) {
  // The folder the setup proposes: Program Files\<publisher's folder>\<program>, the default
  // one when the product names none, else its own.
  const Text default_folder = params::FindParam(params::kIdPublisherFolder)->default_value;
  for (const Text& folder : {default_folder, Text(u"Zephyr Works")}) {
    SCOPED_TRACE(platform::TextToUtf8(folder));
    if (folder != default_folder)
      os_.SetResString(params::kIdPublisherFolder, params::kStringTableLanguage, folder);
    const Text publisher = u"C:\\Program Files\\" + folder;
    const Text copy = u"C:\\WINDOWS\\Temp\\~Uninst1.exe";
    os_.SetModuleFileName(copy);
    const fs::path host_publisher = Host(u"Program Files/" + folder);
    for (const char* other : {"", "Other/Other.exe"}) {
      WriteHostFile(host_publisher / "Demo/Uninst.exe", "Uninst.exe");
      if (*other) WriteHostFile(host_publisher / other, other);
      EXPECT_EQ(Run({publisher + u"\\Demo"}), uninstall::kExitRemoved) << other;
      EXPECT_FALSE(Exists(publisher + u"\\Demo")) << other;
      EXPECT_EQ(Exists(publisher), *other != 0) << "another product keeps it: " << other;
    }
  }
  // Any other parent folder stays, even when empty: the default publisher's folder too once the
  // product names its own.
  for (const Text& parent : {Text(u"Games"), u"Program Files\\" + default_folder}) {
    Text host_parent = parent;
    std::replace(host_parent.begin(), host_parent.end(), u'\\', u'/');
    WriteHostFile(Host(host_parent + u"/Demo/Uninst.exe"), "Uninst.exe");
    EXPECT_EQ(Run({u"C:\\" + parent + u"\\Demo"}), uninstall::kExitRemoved);
    EXPECT_TRUE(Exists(u"C:\\" + parent)) << platform::TextToUtf8(parent);
  }
}

TEST_F(UninstallerTest, SilentlyRemovesWithoutAQuestionOrAMessageAndLogs) {
  EXPECT_EQ(Run({u"/S", u"/LOG=C:\\u.log"}), uninstall::kExitRemoved);
  EXPECT_TRUE(os_.MessageBoxes().empty());
  EXPECT_FALSE(Exists(u"C:\\Program Files\\Demo\\Demo.exe"));
  EXPECT_FALSE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kEntryEn));
  ASSERT_EQ(os_.ProcessStarts().size(), 1u) << "the copy still removes Uninst.exe";
  const std::string log = platform::testing::ReadHostFile(Host(u"u.log"));
  EXPECT_EQ(log.substr(0, 3), "\xEF\xBB\xBF");
  for (const char* line : {"File: C:\\Program Files\\Demo\\data\\deep\\table.bin\r\n",
                           "Uninstall entry: HKEY_LOCAL_MACHINE\\"
                           "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Demo\r\n",
                           "Result: removed\r\nExit code: 0\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }

  // The running product: exit code 2, no message, nothing removed.
  WriteHostFile(Host(u"Program Files/Demo/Demo.exe"), "Demo.exe");
  os_.AddWindow(u"DemoWindow", u"Demo App");
  const auto before = Tree(dir_.path());
  EXPECT_EQ(Run({u"/s"}), uninstall::kExitProductRunning);
  EXPECT_TRUE(os_.MessageBoxes().empty());
  EXPECT_EQ(Tree(dir_.path()), before);
}

TEST_F(UninstallerTest, TheFoldersTheSetupCreatedGoWhenEmptyAndNoOther) {
  // The setup was told C:\Tools\New\Demo and made C:\Tools\New and the folder.
  os_.SetRegistryValue(platform::kHkeyLocalMachine, kEntryEn, u"CreatedFolder", platform::kRegSz,
                       Sz(u"C:\\Program Files\\Demo"));
  os_.QueueMessageBoxAnswer(platform::kIdYes);
  EXPECT_EQ(Run(), uninstall::kExitRemoved);
  ASSERT_EQ(os_.ProcessStarts().size(), 1u);
  EXPECT_EQ(os_.ProcessStarts()[0].command_line,
            u"\"C:\\WINDOWS\\Temp\\~Uninst1.exe\" \"C:\\Program Files\\Demo\" "
            u"\"C:\\Program Files\\Demo\"");

  os_.SetModuleFileName(u"C:\\WINDOWS\\Temp\\~Uninst1.exe");
  struct Case {
    Text created;      // as recorded
    const char* kept;  // below C:, what else the machine holds
    bool tools_stays;
    bool new_stays;
  };
  const Case cases[] = {
      {u"C:\\Tools\\New", "", true, false},
      {u"C:\\Tools", "", false, false},
      {u"C:\\Tools", "Tools/New/mine.txt", true, true},  // not empty: it and its parents stay
      {u"C:\\Tools\\New\\Demo", "", true, true},         // only the folder itself was made
      {u"C:\\Other", "", true, true},                    // not above the folder: ignored
      {u"C:\\Tools\\Ne", "", true, true},                // a name that only starts alike
      {u"", "", true, true},
  };
  for (const Case& c : cases) {
    WriteHostFile(Host(u"Tools/New/Demo/Uninst.exe"), "Uninst.exe");
    if (*c.kept) WriteHostFile(Host(platform::Utf8ToText(c.kept)), "mine");
    std::vector<Text> arguments = {u"C:\\Tools\\New\\Demo"};
    if (!c.created.empty()) arguments.push_back(c.created);
    const std::string what = TextToUtf8(c.created) + " " + c.kept;
    EXPECT_EQ(Run(arguments), uninstall::kExitRemoved) << what;
    EXPECT_FALSE(Exists(u"C:\\Tools\\New\\Demo")) << what;
    EXPECT_EQ(Exists(u"C:\\Tools\\New"), c.new_stays) << what;
    EXPECT_EQ(Exists(u"C:\\Tools"), c.tools_stays) << what;
    fs::remove_all(Host(u"Tools"));
  }
}

TEST(InstalledFilesTest, LinesBelowTheFolderOnly) {
  const auto parse = [](const Text& text) { return uninstall::ParseInstalledFiles(Utf16Le(text)); };
  EXPECT_EQ(parse(u"a.exe\r\nsub\\b.dll\r\n"), (std::vector<Text>{u"a.exe", u"sub\\b.dll"}));
  EXPECT_EQ(parse(u"a.exe\nb.exe"), (std::vector<Text>{u"a.exe", u"b.exe"}));
  EXPECT_EQ(parse(u"a.exe\r\n\r\nb.exe\r\n"), (std::vector<Text>{u"a.exe", u"b.exe"}));
  EXPECT_EQ(parse(u"a.exe\r\n\0junk"), (std::vector<Text>{u"a.exe"})) << "ends at a NUL";
  // Nothing that could reach outside the folder.
  EXPECT_EQ(parse(u"..\\x.dll\r\nsub\\..\\..\\y\r\nC:\\Windows\\z.dll\r\n\\root.dll\r\n"
                  u"d:rel.dll\r\nsub\\\\double\r\n.\\dot\r\nok.txt\r\n"),
            (std::vector<Text>{u"ok.txt"}));
  EXPECT_TRUE(uninstall::ParseInstalledFiles(platform::Bytes{0x41}).empty()) << "half a unit";
}

}  // namespace
