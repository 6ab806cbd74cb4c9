// Shortcuts made and read through the real shell link object, in the real shell folders (Wine in
// the test stage). The stage also reads the shortcuts that these tests leave in C:\stp-lnk with an
// independent reader (lnkinfo) and compares them with the .expect file beside each one.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "platform/errors.h"
#include "platform/text.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/windows_api.h"
#include "shell/registry.h"
#include "shell/shell_links.h"

namespace {

using platform::AsciiToText;
using platform::Text;
using platform::TextToUtf8;

Text T(const char* ascii) { return AsciiToText(ascii); }
const wchar_t* W(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

class ShellLinks : public testing::Test {
 protected:
  ShellLinks() : scoped_(os_) {}

  void SetUp() override {
    // Targets that exist, so that resolving never goes looking for a moved file.
    product_dir_ = T("C:\\Program Files\\Stp Link Test\\");
    other_dir_ = T("C:\\Stp Other\\");
    for (const Text& dir : {T("C:\\Program Files"), product_dir_, other_dir_}) {
      ::CreateDirectoryW(W(dir), nullptr);
    }
    ASSERT_NE(os_.CreateFileForWrite(product_dir_ + u"product.exe"), nullptr);
    ASSERT_NE(os_.CreateFileForWrite(other_dir_ + u"product.exe"), nullptr);
  }

  void TearDown() override {
    for (const Text& link : made_) ::DeleteFileW(W(link));
  }

  Text Folder(platform::Handle root, const char* value) {
    return shell::RegReadStringValue(root, T(kShellFolders), T(value));
  }

  // Keeps a copy of a shortcut for the stage's lnkinfo check, with what it must show.
  void KeepForLnkinfo(const Text& link, const char* name, const Text& target,
                      const Text& working_dir) {
    ::CreateDirectoryW(L"C:\\stp-lnk", nullptr);
    const Text copy = T("C:\\stp-lnk\\") + T(name) + u".lnk";
    ASSERT_TRUE(::CopyFileW(W(link), W(copy), FALSE));
    std::ofstream expect(std::string("C:\\stp-lnk\\") + name + ".expect", std::ios::binary);
    expect << TextToUtf8(target) << '\n' << TextToUtf8(working_dir) << '\n';
  }

  platform::Win32Os os_;
  platform::ScopedOs scoped_;
  Text product_dir_;
  Text other_dir_;
  std::vector<Text> made_;
};

TEST_F(ShellLinks, DesktopShortcutIsWrittenResolvedAndFound) {
  const Text desktop = shell::GetShellFolder(shell::sfDesktop);
  ASSERT_FALSE(desktop.empty());
  EXPECT_EQ(desktop, Folder(platform::kHkeyCurrentUser, "Desktop"));
  const Text target = product_dir_ + u"product.exe";

  shell::CreateShortcut(target, T("Stp Link Test"), shell::sfDesktop, Text());
  const Text link = desktop + u"\\Stp Link Test.lnk";
  made_.push_back(link);
  ASSERT_TRUE(os_.FileExists(link)) << TextToUtf8(link);

  EXPECT_EQ(TextToUtf8(shell::ResolveShortcut(link)), TextToUtf8(target));
  EXPECT_EQ(TextToUtf8(shell::FindInstalledFolder(T("Stp Link Test"), T("Desktop"))),
            TextToUtf8(product_dir_));
  KeepForLnkinfo(link, "desktop", target, product_dir_);

  // A display name with an extension: the shortcut is named without it, so the lookup, which
  // uses the whole name, does not find it.
  shell::CreateShortcut(target, T("Stp Link 2.0"), shell::sfDesktop, Text());
  made_.push_back(desktop + u"\\Stp Link 2.lnk");
  EXPECT_TRUE(os_.FileExists(desktop + u"\\Stp Link 2.lnk"));
  EXPECT_EQ(shell::FindInstalledFolder(T("Stp Link 2.0"), T("Desktop")), Text());

  // A subfolder that does not exist: nothing is written and nothing is raised.
  shell::CreateShortcut(target, T("Stp Nowhere"), shell::sfDesktop, T("No Such Folder"));
  EXPECT_FALSE(os_.FileExists(desktop + u"\\No Such Folder\\Stp Nowhere.lnk"));
  EXPECT_FALSE(os_.DirectoryExists(desktop + u"\\No Such Folder"));
}

TEST_F(ShellLinks, QuickLaunchIsLookedUpOnlyByItsExactName) {
  const Text quick_launch = shell::GetShellFolder(shell::sfQuickLaunch);
  ASSERT_FALSE(quick_launch.empty());
  // A fresh profile has no Quick Launch folder; the installer does not create it either.
  const Text ie = Folder(platform::kHkeyCurrentUser, "AppData") + u"\\Microsoft\\Internet Explorer";
  ::CreateDirectoryW(W(Folder(platform::kHkeyCurrentUser, "AppData") + u"\\Microsoft"), nullptr);
  ::CreateDirectoryW(W(ie), nullptr);
  ::CreateDirectoryW(W(quick_launch), nullptr);
  ASSERT_TRUE(os_.DirectoryExists(quick_launch)) << TextToUtf8(quick_launch);

  shell::CreateShortcut(other_dir_ + u"product.exe", T("Stp Quick"), shell::sfQuickLaunch, Text());
  const Text link = quick_launch + u"\\Stp Quick.lnk";
  made_.push_back(link);
  ASSERT_TRUE(os_.FileExists(link));
  EXPECT_EQ(TextToUtf8(shell::FindInstalledFolder(T("Stp Quick"), T("QuickLaunch"))),
            TextToUtf8(other_dir_));
  EXPECT_EQ(shell::FindInstalledFolder(T("Stp Quick"), T("quicklaunch")), Text());
  KeepForLnkinfo(link, "quicklaunch", other_dir_ + u"product.exe", other_dir_);
}

TEST_F(ShellLinks, UserShortcutWinsOverAllUsersAndUnreadableOnesAreSkipped) {
  const Text user = Folder(platform::kHkeyCurrentUser, "Desktop");
  const Text common = Folder(platform::kHkeyLocalMachine, "Common Desktop");
  ASSERT_FALSE(user.empty());
  ASSERT_FALSE(common.empty());
  ::CreateDirectoryW(W(common), nullptr);
  const Text name = T("Stp Both");
  const Text user_link = user + u"\\" + name + u".lnk";
  const Text common_link = common + u"\\" + name + u".lnk";

  // The all-users shortcut is written through the link object directly: CreateShortcut only
  // knows the per-user folders.
  {
    std::unique_ptr<platform::ShellLink> link;
    ASSERT_TRUE(platform::Succeeded(os_.CreateShellLink(1, platform::kIidIShellLinkW, &link)));
    link->SetPath(other_dir_ + u"product.exe");
    link->SetWorkingDirectory(other_dir_);
    ASSERT_TRUE(platform::Succeeded(link->Save(common_link, false)));
    made_.push_back(common_link);
  }
  EXPECT_EQ(TextToUtf8(shell::FindInstalledFolder(name, T("Desktop"))), TextToUtf8(other_dir_));

  shell::CreateShortcut(product_dir_ + u"product.exe", name, shell::sfDesktop, Text());
  made_.push_back(user_link);
  EXPECT_EQ(TextToUtf8(shell::FindInstalledFolder(name, T("Desktop"))), TextToUtf8(product_dir_));

  // A user's file of that name that is not a shortcut counts as not found.
  ASSERT_TRUE(::DeleteFileW(W(user_link)));
  {
    auto file = os_.CreateFileForWrite(user_link);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Write("not a shortcut", 14));
  }
  EXPECT_EQ(TextToUtf8(shell::ResolveShortcut(user_link)),
            TextToUtf8(Text(shell::kUnresolvedLink)));
  EXPECT_EQ(TextToUtf8(shell::FindInstalledFolder(name, T("Desktop"))), TextToUtf8(other_dir_));
}

}  // namespace
