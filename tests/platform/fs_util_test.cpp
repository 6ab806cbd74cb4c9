// ForceDirectories and the two path rules.
#include "platform/fs_util.h"

#include <gtest/gtest.h>

#include "platform/sim/sim_windows.h"
#include "platform/text.h"

namespace platform {
namespace {

TEST(PathRulesTest, FolderPartAndLastComponent) {
  struct Case {
    const char16_t* path;
    const char16_t* folder;
    const char16_t* last;
  } cases[] = {
      {u"C:\\Program Files\\Product\\product.exe", u"C:\\Program Files\\Product\\",
       u"product.exe"},
      {u"C:\\dir\\", u"C:\\dir\\", u""},
      {u"C:file.txt", u"C:", u"file.txt"},
      {u"dir\\name.dll", u"dir\\", u"name.dll"},
      {u"unable to resolve link", u"", u"unable to resolve link"},
      {u"a/b", u"", u"a/b"},  // "/" is not a delimiter for these rules
      {u"", u"", u""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FolderPart(c.path), c.folder) << TextToUtf8(c.path);
    EXPECT_EQ(LastComponent(c.path), c.last) << TextToUtf8(c.path);
  }
}

TEST(ForceDirectoriesTest, CreatesMissingParentsAndReportsFailure) {
  SimWindows os;
  ScopedOs scoped(os);
  os.MapMemoryDrive(u'C');
  ASSERT_NE(os.CreateFileForWrite(u"C:\\file"), nullptr);

  EXPECT_TRUE(ForceDirectories(u"C:\\a\\b\\c\\"));
  EXPECT_TRUE(os.DirectoryExists(u"C:\\a\\b\\c"));
  EXPECT_TRUE(ForceDirectories(u"c:/A/b/d"));
  EXPECT_TRUE(os.DirectoryExists(u"C:\\a\\b\\d"));
  EXPECT_TRUE(ForceDirectories(u"C:\\"));
  EXPECT_TRUE(ForceDirectories(u"C:\\a\\..\\e"));
  EXPECT_TRUE(os.DirectoryExists(u"C:\\e"));
  EXPECT_FALSE(os.DirectoryExists(u"C:\\a\\e"));

  EXPECT_FALSE(ForceDirectories(u"C:\\file\\sub"));  // a file in the way
  EXPECT_FALSE(ForceDirectories(u"Q:\\x"));
  EXPECT_EQ(os.GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(ForceDirectories(u""));
}

}  // namespace
}  // namespace platform
