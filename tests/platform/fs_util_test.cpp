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
      {u"C:\\Program Files\\Product\\product.exe", u"C:\\Program Files\\Product\\", u"product.exe"},
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

TEST(PathRulesTest, FullPathLengthIsWhatTheFileApiLimits) {
  struct Case {
    const char16_t* path;
    size_t length;
  } cases[] = {
      {u"C:\\", 3},
      {u"C:", 3},
      {u"C:\\a\\.\\b\\..\\", 4},  // C:\a
      {u"C:/a//b/", 6},
      {u"C:\\..\\..\\a", 4},  // ".." stops at the root
      {u"\\\\server\\share\\x", 16},
      {u"\\a", 2},
      {u"rel\\x", 5},  // measured without the current folder
  };
  for (const auto& c : cases) EXPECT_EQ(FullPathLength(c.path), c.length) << TextToUtf8(c.path);

  // The simulated Windows applies its limits to the same length, however the path is written.
  SimWindows os;
  ScopedOs scoped(os);
  os.MapMemoryDrive(u'C');
  char16_t letter = u'a';
  for (const Text prefix : {u"C:\\", u"C:\\x\\..\\.\\"}) {
    const Text folder = prefix + Text(kFolderPathLimit - 4, letter++);
    EXPECT_EQ(FullPathLength(folder), kFolderPathLimit - 1);
    EXPECT_TRUE(os.CreateDirectory(folder));
    EXPECT_EQ(FullPathLength(folder + u"m"), kFolderPathLimit);
    EXPECT_FALSE(os.CreateDirectory(folder + u"m"));
    EXPECT_EQ(os.GetLastError(), kErrorFilenameExcedRange);
    EXPECT_EQ(FullPathLength(folder + u"\\" + Text(12, u'f')), kPathLimit);
    EXPECT_EQ(os.CreateFileForWrite(folder + u"\\" + Text(12, u'f')), nullptr);
    EXPECT_EQ(os.GetLastError(), kErrorPathNotFound);
    EXPECT_NE(os.CreateFileForWrite(folder + u"\\" + Text(11, u'f')), nullptr);
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
