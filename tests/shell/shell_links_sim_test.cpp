// Shell folders, shortcuts and the lookup of an earlier installation over the simulated Windows,
// which can store odd registry values, refuse rights and make the link object fail.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "platform/errors.h"
#include "platform/little_endian.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"
#include "shell/shell_links.h"
#include "tests/platform/sim_test_util.h"

namespace shell {
namespace {

using platform::kHkeyCurrentUser;
using platform::kHkeyLocalMachine;
using platform::SimWindows;
namespace fs = std::filesystem;

const Text kShellFolders = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const Text kDesktop = u"C:\\Users\\me\\Desktop";
const Text kAppData = u"C:\\Users\\me\\AppData";
const Text kQuickLaunch = kAppData + u"\\Microsoft\\Internet Explorer\\Quick Launch";
const Text kCommonDesktop = u"C:\\Users\\Public\\Desktop";

platform::Bytes Sz(const Text& text) { return platform::Utf16LeBytes(text + u'\0'); }

class ShellLinksSimTest : public ::testing::Test {
 protected:
  ShellLinksSimTest() {
    os_.MapDrive(u'C', dir_.path());
    os_.MapDrive(u'D', dir_.path() / "d");
    fs::create_directories(dir_.path() / "d");
    for (const Text& folder : {kDesktop, kQuickLaunch, kCommonDesktop}) {
      fs::create_directories(*os_.HostPath(folder));
    }
    SetFolder(kHkeyCurrentUser, u"Desktop", kDesktop);
    SetFolder(kHkeyCurrentUser, u"AppData", kAppData);
    SetFolder(kHkeyCurrentUser, u"SendTo", u"C:\\Users\\me\\SendTo");
    SetFolder(kHkeyCurrentUser, u"Start Menu", u"C:\\Users\\me\\Start Menu");
    SetFolder(kHkeyCurrentUser, u"Startup", u"C:\\Users\\me\\Start Menu\\Startup");
    SetFolder(kHkeyLocalMachine, u"Common Desktop", kCommonDesktop);
  }

  void SetFolder(platform::Handle root, const Text& name, const Text& folder) {
    os_.SetRegistryValue(root, kShellFolders, name, platform::kRegSz, Sz(folder));
  }

  // A shortcut left by an earlier installation.
  void PlaceLink(const Text& folder, const Text& name, const Text& target) {
    ASSERT_TRUE(os_.WriteShortcutFile(folder + u"\\" + name, target, Text()));
  }

  void ExpectAllReleased() {
    EXPECT_EQ(os_.ShellLinks().live_objects, 0);
    EXPECT_EQ(os_.OpenKeyCount(), 0);
  }

  platform::testing::TempDir dir_;
  SimWindows os_;
  platform::ScopedOs scoped_{os_};
};

TEST_F(ShellLinksSimTest, ShellFoldersComeFromTheRegistry) {
  struct Case {
    int kind;
    Text folder;
  } cases[] = {
      {sfDesktop, kDesktop},
      {sfQuickLaunch, kQuickLaunch},
      {sfSendTo, u"C:\\Users\\me\\SendTo"},
      {sfStartMenu, u"C:\\Users\\me\\Start Menu"},
      {sfStartup, u"C:\\Users\\me\\Start Menu\\Startup"},
      {5, u""},
      {255, u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetShellFolder(static_cast<TShellFolderKind>(c.kind)), c.folder) << c.kind;
  }
  ExpectAllReleased();
}

TEST_F(ShellLinksSimTest, ShellFolderWithoutRegistryEntries) {
  SimWindows empty;
  platform::ScopedOs scoped(empty);
  EXPECT_EQ(GetShellFolder(sfDesktop), u"");
  // Quick Launch is a suffix on AppData, so it is never empty.
  EXPECT_EQ(GetShellFolder(sfQuickLaunch), u"\\Microsoft\\Internet Explorer\\Quick Launch");
  // The per-user Explorer key is created on the way; that is the only lasting effect.
  EXPECT_TRUE(empty.RegistryKeyExists(kHkeyCurrentUser,
                                      u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"));
  EXPECT_FALSE(empty.RegistryKeyExists(kHkeyCurrentUser, kShellFolders));
  EXPECT_EQ(empty.OpenKeyCount(), 0);
}

TEST_F(ShellLinksSimTest, FolderValueThatIsNotTextRaises) {
  os_.SetRegistryValue(kHkeyCurrentUser, kShellFolders, u"Desktop", platform::kRegDword,
                       {1, 0, 0, 0});
  EXPECT_THROW(GetShellFolder(sfDesktop), platform::EOsError);
  EXPECT_THROW(CreateShortcut(u"C:\\p.exe", u"P", sfDesktop, u""), platform::EOsError);
  EXPECT_THROW(FindInstalledFolder(u"P", u"Desktop"), platform::EOsError);
  ExpectAllReleased();
}

TEST_F(ShellLinksSimTest, CreateShortcutNamesAndPlacesTheFile) {
  fs::create_directories(*os_.HostPath(kDesktop + u"\\Sub"));
  struct Case {
    Text display_name;
    int kind;
    Text subfolder;
    Text written;  // empty: nothing is written
  } cases[] = {
      {u"Product", sfDesktop, u"", kDesktop + u"\\Product.lnk"},
      {u"Product 2.0", sfDesktop, u"", kDesktop + u"\\Product 2.lnk"},
      {u"Tools\\Product", sfDesktop, u"", kDesktop + u"\\Product.lnk"},
      {u"a.b\\Tool", sfDesktop, u"", kDesktop + u"\\Tool.lnk"},
      {u"Product", sfQuickLaunch, u"", kQuickLaunch + u"\\Product.lnk"},
      {u"Product", sfDesktop, u"Sub", kDesktop + u"\\Sub\\Product.lnk"},
      {u"Product", sfDesktop, u"Missing", u""},
      {u"Product", 5, u"", u""},
      {u"Product", sfStartMenu, u"", u""},  // the folder does not exist
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(platform::TextToUtf8(c.display_name + u" / " + c.subfolder));
    fs::remove(*os_.HostPath(kDesktop + u"\\Product.lnk"));
    size_t creates = os_.ShellLinks().creates.size();
    EXPECT_NO_THROW(CreateShortcut(u"D:\\Apps\\Tool\\tool.exe", c.display_name,
                                   static_cast<TShellFolderKind>(c.kind), c.subfolder));
    // The link object is created even when no folder results.
    ASSERT_EQ(os_.ShellLinks().creates.size(), creates + 1);
    EXPECT_EQ(os_.ShellLinks().creates.back().context, 5u);
    EXPECT_EQ(os_.ShellLinks().creates.back().iid, platform::kIidIUnknown);
    if (c.written.empty()) {
      EXPECT_FALSE(os_.FileExists(kDesktop + u"\\Product.lnk"));
      continue;
    }
    auto link = os_.ReadShortcutFile(c.written);
    ASSERT_TRUE(link.has_value());
    EXPECT_EQ(link->first, u"D:\\Apps\\Tool\\tool.exe");
    EXPECT_EQ(link->second, u"D:\\Apps\\Tool\\");
    EXPECT_FALSE(os_.ShellLinks().saves.back().remember);
  }
  EXPECT_FALSE(fs::exists(*os_.HostPath(kDesktop + u"\\Missing")));
  ExpectAllReleased();
}

TEST_F(ShellLinksSimTest, CreateShortcutComFailures) {
  struct Case {
    platform::HResult hr;
    const char16_t* message;
  } cases[] = {
      {static_cast<platform::HResult>(0x80040154u),
       u"Class not registered, ClassID: {00021401-0000-0000-C000-000000000046}"},
      {static_cast<platform::HResult>(0x800401F0u),
       u"OLE error 800401f0, ClassID: {00021401-0000-0000-C000-000000000046}"},
  };
  for (const auto& c : cases) {
    os_.FailCreateShellLink(c.hr);
    try {
      CreateShortcut(u"C:\\p.exe", u"P", sfDesktop, u"");
      ADD_FAILURE() << "no error";
    } catch (const platform::EOsError& e) {
      EXPECT_EQ(e.Message(), c.message);
      EXPECT_EQ(e.Code(), static_cast<std::uint32_t>(c.hr));
    }
  }

  SimWindows os;
  platform::ScopedOs scoped(os);
  os.FailShellLinkInterface(platform::kIidIPersistFile);
  try {
    CreateShortcut(u"C:\\p.exe", u"P", sfDesktop, u"");
    ADD_FAILURE() << "no error";
  } catch (const platform::EOsError& e) {
    EXPECT_EQ(e.Message(), u"Interface not supported");
  }
  EXPECT_EQ(os.ShellLinks().live_objects, 0);
  EXPECT_TRUE(os.ShellLinks().saves.empty());
}

TEST_F(ShellLinksSimTest, ResolveShortcutReadsTheTargetWithoutUpdating) {
  os_.SetActiveWindow(0x1234);
  PlaceLink(kDesktop, u"Product.lnk", u"C:\\Program Files\\Product\\product.exe");
  EXPECT_EQ(ResolveShortcut(kDesktop + u"\\Product.lnk"),
            u"C:\\Program Files\\Product\\product.exe");
  const auto& log = os_.ShellLinks();
  ASSERT_EQ(log.creates.size(), 1u);
  EXPECT_EQ(log.creates[0].context, 1u);
  EXPECT_EQ(log.creates[0].iid, platform::kIidIShellLinkW);
  ASSERT_EQ(log.loads.size(), 1u);
  EXPECT_EQ(log.loads[0].mode, 0u);
  ASSERT_EQ(log.resolves.size(), 1u);
  EXPECT_EQ(log.resolves[0].window, 0x1234u);
  EXPECT_EQ(log.resolves[0].flags, 8u);  // SLR_NOUPDATE alone
  ASSERT_EQ(log.get_paths.size(), 1u);
  EXPECT_EQ(log.get_paths[0].buffer_chars, 260u);
  EXPECT_EQ(log.get_paths[0].flags, 2u);  // SLGP_UNCPRIORITY
  EXPECT_TRUE(log.saves.empty());
  ExpectAllReleased();
}

TEST_F(ShellLinksSimTest, UnreadableShortcutsResolveToTheFixedText) {
  platform::testing::WriteHostFile(*os_.HostPath(kDesktop + u"\\NotALink.lnk"), "plain text");
  PlaceLink(kDesktop, u"Moved.lnk", u"C:\\gone\\app.exe");
  EXPECT_EQ(ResolveShortcut(kDesktop + u"\\NotALink.lnk"), kUnresolvedLink);
  EXPECT_EQ(ResolveShortcut(kDesktop + u"\\Missing.lnk"), kUnresolvedLink);
  os_.FailShellLinkResolve(platform::kEFail);
  EXPECT_EQ(ResolveShortcut(kDesktop + u"\\Moved.lnk"), kUnresolvedLink);
  EXPECT_EQ(platform::TextToUtf8(kUnresolvedLink), "unable to resolve link");
  ExpectAllReleased();
}

TEST_F(ShellLinksSimTest, ResolveShortcutComFailuresRaiseWithoutClassId) {
  os_.FailCreateShellLink(static_cast<platform::HResult>(0x80040154u));
  try {
    ResolveShortcut(u"C:\\x.lnk");
    ADD_FAILURE() << "no error";
  } catch (const platform::EOsError& e) {
    EXPECT_EQ(e.Message(), u"Class not registered");
  }
  SimWindows os;
  platform::ScopedOs scoped(os);
  os.FailShellLinkInterface(platform::kIidIPersistFile);
  try {
    ResolveShortcut(u"C:\\x.lnk");
    ADD_FAILURE() << "no error";
  } catch (const platform::EOsError& e) {
    EXPECT_EQ(e.Message(), u"No such interface supported");
    EXPECT_EQ(e.Code(), static_cast<std::uint32_t>(platform::kENoInterface));
  }
  EXPECT_EQ(os.ShellLinks().live_objects, 0);
}

// The uninstaller's reading: where the shortcut points, never resolved (no search for a moved
// target, no dialog), and an empty text instead of an error for whatever cannot be read.
TEST_F(ShellLinksSimTest, StoredShortcutTargetIsReadWithoutResolving) {
  PlaceLink(kDesktop, u"Moved.lnk", u"C:\\gone\\app.exe");
  os_.FailShellLinkResolve(platform::kEFail);
  EXPECT_EQ(StoredShortcutTarget(kDesktop + u"\\Moved.lnk"), u"C:\\gone\\app.exe");
  const auto& log = os_.ShellLinks();
  EXPECT_TRUE(log.resolves.empty());
  ASSERT_EQ(log.get_paths.size(), 1u);
  EXPECT_EQ(log.get_paths[0].buffer_chars, 260u);
  EXPECT_EQ(log.get_paths[0].flags, 0u);
  EXPECT_TRUE(log.saves.empty());

  platform::testing::WriteHostFile(*os_.HostPath(kDesktop + u"\\NotALink.lnk"), "plain text");
  EXPECT_EQ(StoredShortcutTarget(kDesktop + u"\\NotALink.lnk"), u"");
  EXPECT_EQ(StoredShortcutTarget(kDesktop + u"\\Missing.lnk"), u"");
  ExpectAllReleased();

  // A link object that cannot be made or lacks its file interface reads as no target.
  struct Case {
    const char* what;
    std::function<void(SimWindows&)> fail;
  };
  const Case cases[] = {
      {"no link object",
       [](SimWindows& os) { os.FailCreateShellLink(static_cast<platform::HResult>(0x80040154u)); }},
      {"no file interface",
       [](SimWindows& os) { os.FailShellLinkInterface(platform::kIidIPersistFile); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SimWindows os;
    os.MapDrive(u'C', dir_.path());
    platform::ScopedOs scoped(os);
    c.fail(os);
    EXPECT_EQ(StoredShortcutTarget(kDesktop + u"\\Moved.lnk"), u"");
    EXPECT_EQ(os.ShellLinks().live_objects, 0);
  }
}

TEST_F(ShellLinksSimTest, FindInstalledFolderPrefersTheUsersShortcut) {
  const Text target = u"C:\\Program Files\\Product\\product.exe";
  PlaceLink(kCommonDesktop, u"Product.lnk", u"D:\\Common\\product.exe");
  EXPECT_EQ(FindInstalledFolder(u"Product", u"Desktop"), u"D:\\Common\\");
  PlaceLink(kDesktop, u"Product.lnk", target);
  EXPECT_EQ(FindInstalledFolder(u"Product", u"Desktop"), u"C:\\Program Files\\Product\\");

  // Without administrator rights the all-users folder reads as empty and is not probed.
  fs::remove(*os_.HostPath(kDesktop + u"\\Product.lnk"));
  os_.SetAdministrator(false);
  EXPECT_EQ(FindInstalledFolder(u"Product", u"Desktop"), u"");
  os_.SetAdministrator(true);

  // A user shortcut that cannot be read counts as not found.
  platform::testing::WriteHostFile(*os_.HostPath(kDesktop + u"\\Product.lnk"), "garbage");
  EXPECT_EQ(FindInstalledFolder(u"Product", u"Desktop"), u"D:\\Common\\");
  ExpectAllReleased();
}

TEST_F(ShellLinksSimTest, FindInstalledFolderInQuickLaunch) {
  PlaceLink(kQuickLaunch, u"Product.lnk", u"C:\\Program Files\\Product\\product.exe");
  PlaceLink(kCommonDesktop, u"Product.lnk", u"D:\\Common\\product.exe");
  EXPECT_EQ(FindInstalledFolder(u"Product", u"QuickLaunch"), u"C:\\Program Files\\Product\\");
  // The comparison is exact: "quicklaunch" is a Shell Folders value name like any other, here a
  // missing one, so only the all-users "Common quicklaunch" (also missing) would be probed.
  EXPECT_EQ(FindInstalledFolder(u"Product", u"quicklaunch"), u"");
  // Quick Launch has no all-users folder.
  fs::remove(*os_.HostPath(kQuickLaunch + u"\\Product.lnk"));
  EXPECT_EQ(FindInstalledFolder(u"Product", u"QuickLaunch"), u"");
  ExpectAllReleased();
}

TEST_F(ShellLinksSimTest, FindInstalledFolderUsesTheWholeDisplayName) {
  CreateShortcut(u"C:\\Apps\\Product\\product.exe", u"Product 2.0", sfDesktop, u"");
  EXPECT_TRUE(os_.FileExists(kDesktop + u"\\Product 2.lnk"));
  EXPECT_EQ(FindInstalledFolder(u"Product 2.0", u"Desktop"), u"");
  PlaceLink(kDesktop, u"Product 2.0.lnk", u"C:\\Apps\\Product\\product.exe");
  EXPECT_EQ(FindInstalledFolder(u"Product 2.0", u"Desktop"), u"C:\\Apps\\Product\\");

  // A folder of that name is not a shortcut and is not opened.
  fs::create_directories(*os_.HostPath(kDesktop + u"\\Tool.lnk"));
  size_t loads = os_.ShellLinks().loads.size();
  EXPECT_EQ(FindInstalledFolder(u"Tool", u"Desktop"), u"");
  EXPECT_EQ(os_.ShellLinks().loads.size(), loads);
  ExpectAllReleased();
}

}  // namespace
}  // namespace shell
