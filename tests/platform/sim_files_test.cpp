// The simulated file system beyond the Os contract (os_contract_test.cpp, which runs on it too):
// path resolution, the places only a simulation makes (drives without media, unmapped drives),
// what the host folder shows, memory drives and the host OS.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "platform/host.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"
#include "tests/platform/sim_test_util.h"

namespace platform {
namespace {

using testing::ReadHostFile;
using testing::TempDir;
using testing::WriteHostFile;
namespace fs = std::filesystem;

constexpr std::int64_t kFree = 5LL << 30;

enum class DriveKind { kHostFolder, kMemory };

// The file contracts hold alike for a drive over a host folder and for one kept in memory.
class SimFilesTest : public ::testing::TestWithParam<DriveKind> {
 protected:
  SimFilesTest() {
    if (OnHost()) {
      os_.MapDrive(u'c', dir_.path(), kDriveFixed, kFree, kFree * 2);
    } else {
      os_.MapMemoryDrive(u'c');
    }
    os_.MapDrive(u'E', {}, kDriveCdrom);
    EXPECT_TRUE(os_.CreateDirectory(u"C:\\Program Files"));
    EXPECT_TRUE(os_.CreateDirectory(u"C:\\Program Files\\Product"));
    auto app = os_.CreateFileForWrite(u"C:\\Program Files\\Product\\app.exe");
    EXPECT_TRUE(app != nullptr && app->Write("MZ", 2));
  }

  bool OnHost() const { return GetParam() == DriveKind::kHostFolder; }

  TempDir dir_;
  SimWindows os_;
};

TEST_P(SimFilesTest, ResolvesPathsLikeWindows) {
  const char16_t* same_file[] = {
      u"C:\\Program Files\\Product\\app.exe",
      u"c:/program files/PRODUCT/APP.EXE",
      u"C:\\Program Files\\Other\\..\\Product\\.\\app.exe",
      u"C:\\..\\..\\Program Files\\Product\\app.exe",
      u"C:\\\\Program Files\\\\Product\\app.exe\\",
  };
  for (const char16_t* p : same_file) {
    EXPECT_TRUE(os_.FileExists(p)) << TextToUtf8(p);
  }
  // Text after a NUL is not part of the path.
  EXPECT_TRUE(os_.FileExists(Text(u"C:\\Program Files\\Product\\app.exe\0.txt", 38)));
  EXPECT_TRUE(os_.DirectoryExists(u"C:"));
  EXPECT_TRUE(os_.DirectoryExists(u"c:\\"));

  // A new entry under a folder named in another case lands in the existing folder.
  ASSERT_NE(os_.CreateFileForWrite(u"C:\\PROGRAM FILES\\product\\New.txt"), nullptr);
  EXPECT_TRUE(os_.FileExists(u"C:\\Program Files\\Product\\New.txt"));
  if (OnHost()) {
    EXPECT_TRUE(fs::exists(dir_.path() / "Program Files" / "Product" / "New.txt"));
  }

  os_.SetCurrentDirectory(u"C:\\Program Files");
  EXPECT_TRUE(os_.FileExists(u"Product\\app.exe"));
  EXPECT_TRUE(os_.FileExists(u"\\Program Files\\Product\\app.exe"));
}

// Missing files and folders, and names Windows refuses, are the Os contract
// (os_contract_test.cpp); here the places only the simulation can make.
TEST_P(SimFilesTest, FailedLookupsSetWindowsErrorCodes) {
  struct Case {
    const char16_t* path;
    std::uint32_t error;
  } cases[] = {
      {u"D:\\app.exe", kErrorPathNotFound},  // unmapped drive
      {u"E:\\setup.exe", kErrorNotReady},    // no medium
      // Wine answers 3 here, having looked for the folder "a" first.
      {u"C:\\a\\b:c", kErrorInvalidName},
      {u"relative.txt", kErrorPathNotFound},  // no current directory
      {u"\\\\server\\share\\x", kErrorBadNetPath},
  };
  for (const auto& c : cases) {
    os_.SetLastError(0);
    EXPECT_EQ(os_.GetFileAttributes(c.path), kInvalidFileAttributes) << TextToUtf8(c.path);
    EXPECT_EQ(os_.GetLastError(), c.error) << TextToUtf8(c.path);
    EXPECT_EQ(os_.OpenFileForRead(c.path), nullptr);
    EXPECT_EQ(os_.GetLastError(), c.error) << TextToUtf8(c.path);
  }
}

// The Win32 file API without the "\\?\" prefix: full paths below 260 characters (folders to
// create below 248), names of at most 255.
TEST_P(SimFilesTest, PathAndNameLengthLimits) {
  const Text name_255(255, u'n');
  EXPECT_NE(os_.CreateFileForWrite(u"C:\\" + name_255), nullptr);  // 258 characters
  EXPECT_EQ(os_.CreateFileForWrite(u"C:\\" + name_255 + u"n"), nullptr);
  EXPECT_EQ(os_.GetLastError(), kErrorInvalidName);

  Text deep = u"C:";  // 122 levels of "\d": 246 characters
  for (int i = 0; i < 122; ++i) {
    deep += u"\\d";
    ASSERT_TRUE(os_.CreateDirectory(deep));
  }
  EXPECT_FALSE(os_.CreateDirectory(deep + u"\\e"));  // 248 characters
  EXPECT_EQ(os_.GetLastError(), kErrorFilenameExcedRange);
  const Text file_259 = deep + u"\\" + Text(12, u'f');
  const Text file_260 = file_259 + u"f";
  EXPECT_NE(os_.CreateFileForWrite(file_259), nullptr);
  EXPECT_EQ(os_.CreateFileForWrite(file_260), nullptr);
  EXPECT_EQ(os_.GetLastError(), kErrorPathNotFound);
  EXPECT_EQ(os_.GetFileAttributes(file_260), kInvalidFileAttributes);
  EXPECT_EQ(os_.GetLastError(), kErrorPathNotFound);

  // The limit is on the full path: ".." is applied first, and the current directory counts.
  Text climbing = u"C:";
  for (int i = 0; i < 100; ++i) climbing += u"\\x\\..";
  EXPECT_TRUE(os_.FileExists(climbing + u"\\" + name_255));
  os_.SetCurrentDirectory(deep);
  EXPECT_TRUE(os_.FileExists(Text(12, u'f')));
  EXPECT_FALSE(os_.FileExists(Text(13, u'f')));
  EXPECT_EQ(os_.GetLastError(), kErrorPathNotFound);
}

// Creating and removing folders is the Os contract (os_contract_test.cpp); here the drive's root
// and what the host folder shows.
TEST_P(SimFilesTest, FoldersReachTheHostFolderAndTheRootExists) {
  EXPECT_FALSE(os_.CreateDirectory(u"C:\\"));
  EXPECT_EQ(os_.GetLastError(), kErrorAlreadyExists);
  ASSERT_TRUE(os_.CreateDirectory(u"C:\\a"));
  if (OnHost()) {
    EXPECT_TRUE(fs::is_directory(dir_.path() / "a"));
  }
  ASSERT_TRUE(os_.RemoveDirectory(u"C:\\A"));
  EXPECT_FALSE(os_.DirectoryExists(u"C:\\a"));
  if (OnHost()) {
    EXPECT_FALSE(fs::exists(dir_.path() / "a"));
  }
}

// Reading, writing, seeking and truncating are the Os contract (os_contract_test.cpp); here only
// what the host folder shows of them.
TEST_P(SimFilesTest, RecreatingAFileEmptiesItsHostFile) {
  if (!OnHost()) GTEST_SKIP() << "a memory drive has no host file";
  const Text path = u"C:\\data.bin";
  ASSERT_TRUE(os_.CreateFileForWrite(path)->Write("hello world", 11));
  EXPECT_EQ(ReadHostFile(dir_.path() / "data.bin"), "hello world");
  ASSERT_NE(os_.CreateFileForWrite(path), nullptr);
  EXPECT_EQ(ReadHostFile(dir_.path() / "data.bin"), "");
}

TEST_P(SimFilesTest, AttributesAndDirectorySymbolicLinks) {
  // The attributes of files, folders and roots are the Os contract (os_contract_test.cpp).
  if (!OnHost()) GTEST_SKIP() << "a memory drive has no symbolic links";
  fs::create_directory_symlink(dir_.path() / "Program Files", dir_.path() / "link");
  const Text link = u"C:\\link";
  EXPECT_EQ(os_.GetFileAttributes(link), kFileAttributeDirectory | kFileAttributeReparsePoint);
  EXPECT_FALSE(os_.DeleteFile(link));
  EXPECT_EQ(os_.GetLastError(), kErrorAccessDenied);
  EXPECT_TRUE(os_.RemoveDirectory(link));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir_.path() / "link")));
  EXPECT_TRUE(fs::exists(dir_.path() / "Program Files" / "Product" / "app.exe"));
}

TEST_P(SimFilesTest, DrivesHaveTypesAndFreeSpace) {
  if (!OnHost()) GTEST_SKIP() << "a memory drive's space is its capacity (MemoryDriveTest)";
  EXPECT_EQ(os_.GetLogicalDrives(), (1u << 2) | (1u << 4));
  EXPECT_EQ(os_.GetDriveType(u"C:\\"), kDriveFixed);
  EXPECT_EQ(os_.GetDriveType(u"e:\\"), kDriveCdrom);
  EXPECT_EQ(os_.GetDriveType(u"D:\\"), kDriveNoRootDir);
  EXPECT_EQ(os_.GetDriveType(u"C:\\Program Files"), kDriveNoRootDir);

  std::int64_t free_bytes = 0;
  std::int64_t total = 0;
  ASSERT_TRUE(os_.GetDiskFreeSpaceEx(u"c:\\", &free_bytes, &total));
  EXPECT_EQ(free_bytes, kFree);
  EXPECT_EQ(total, kFree * 2);
  EXPECT_FALSE(os_.GetDiskFreeSpaceEx(u"E:\\", &free_bytes, &total));
  EXPECT_EQ(os_.GetLastError(), kErrorNotReady);
  EXPECT_FALSE(os_.GetDiskFreeSpaceEx(u"D:\\", &free_bytes, &total));
  EXPECT_EQ(os_.GetLastError(), kErrorPathNotFound);
}

INSTANTIATE_TEST_SUITE_P(Drives, SimFilesTest,
                         ::testing::Values(DriveKind::kHostFolder, DriveKind::kMemory),
                         [](const auto& info) {
                           return info.param == DriveKind::kHostFolder ? "HostFolder" : "Memory";
                         });

TEST(MemoryDriveTest, CapacityLimitsWritesAndIsTheFreeSpace) {
  SimWindows os;
  os.MapMemoryDrive(u'R', 10, kDriveRemovable);
  EXPECT_EQ(os.GetDriveType(u"R:\\"), kDriveRemovable);
  EXPECT_FALSE(os.HostPath(u"R:\\x").has_value());
  {
    auto f = os.CreateFileForWrite(u"R:\\a.bin");
    ASSERT_NE(f, nullptr);
    ASSERT_TRUE(f->Write("123456", 6));
    EXPECT_FALSE(f->Write("12345", 5));
    EXPECT_EQ(os.GetLastError(), kErrorDiskFull);
    // A write past the end fills the gap with zeros and is charged for it.
    EXPECT_EQ(f->Seek(8, SeekOrigin::kBegin), 8);
    ASSERT_TRUE(f->Write("z", 1));
    EXPECT_EQ(f->Size(), 9);
  }
  std::int64_t free_bytes = 0;
  std::int64_t total = 0;
  ASSERT_TRUE(os.GetDiskFreeSpaceEx(u"R:\\", &free_bytes, &total));
  EXPECT_EQ(free_bytes, 1);
  EXPECT_EQ(total, 10);
  {
    auto f = os.OpenFileForRead(u"r:\\A.BIN");
    ASSERT_NE(f, nullptr);
    char buf[9];
    std::uint32_t n = 0;
    ASSERT_TRUE(f->Read(buf, 9, &n));
    EXPECT_EQ(std::string(buf, n), std::string("123456\0\0z", 9));
  }
  // Emptying and deleting give the space back.
  ASSERT_NE(os.CreateFileForWrite(u"R:\\a.bin"), nullptr);
  ASSERT_TRUE(os.GetDiskFreeSpaceEx(u"R:\\", &free_bytes, nullptr));
  EXPECT_EQ(free_bytes, 10);
  ASSERT_TRUE(os.CreateFileForWrite(u"R:\\b.bin")->Write("1234567890", 10));
  EXPECT_TRUE(os.DeleteFile(u"R:\\b.bin"));
  ASSERT_TRUE(os.GetDiskFreeSpaceEx(u"R:\\", &free_bytes, nullptr));
  EXPECT_EQ(free_bytes, 10);
  EXPECT_FALSE(os.GetDiskFreeSpaceEx(u"R:\\a.bin", &free_bytes, nullptr));
  EXPECT_EQ(os.GetLastError(), kErrorPathNotFound);
}

TEST(MemoryDriveTest, OpenFilesOutliveTheDriveAndRemappingEmptiesIt) {
  SimWindows os;
  os.MapMemoryDrive(u'R');
  ASSERT_TRUE(os.CreateFileForWrite(u"R:\\keep.txt")->Write("kept", 4));
  auto open = os.OpenFileForRead(u"R:\\keep.txt");
  ASSERT_NE(open, nullptr);
  os.UnmapDrive(u'R');
  char buf[4];
  std::uint32_t n = 0;
  ASSERT_TRUE(open->Read(buf, 4, &n));
  EXPECT_EQ(std::string(buf, n), "kept");
  os.MapMemoryDrive(u'R');
  EXPECT_FALSE(os.FileExists(u"R:\\keep.txt"));
  EXPECT_EQ(os.GetLastError(), kErrorFileNotFound);
}

// A saved image maps as a copy: what a test case changes stays out of the image and out of the
// next copy; names keep their letter case and the copied files count against the capacity.
TEST(MemoryDriveTest, ImagesMapAsIndependentCopies) {
  SimWindows os;
  os.MapMemoryDrive(u'R', 100);
  ASSERT_TRUE(os.CreateDirectory(u"R:\\Windows"));
  ASSERT_TRUE(os.CreateDirectory(u"R:\\Windows\\System32"));
  ASSERT_TRUE(os.CreateFileForWrite(u"R:\\Windows\\System32\\Kept.dll")->Write("0123456789", 10));
  const SimWindows::MemoryDriveImage image = os.SaveMemoryDrive(u'r');
  ASSERT_TRUE(image);
  EXPECT_FALSE(os.SaveMemoryDrive(u'Q'));
  os.UnmapDrive(u'R');

  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(os.MapMemoryDrive(u'C', image, 15));
    std::vector<Text> names;
    ASSERT_TRUE(os.ListDirectory(u"c:\\windows\\system32", &names));
    EXPECT_EQ(names, std::vector<Text>{u"Kept.dll"});
    std::int64_t free_bytes = 0;
    ASSERT_TRUE(os.GetDiskFreeSpaceEx(u"C:\\", &free_bytes, nullptr));
    EXPECT_EQ(free_bytes, 5);
    // Changes to the copy: a file added up to the capacity, one emptied, a folder removed.
    ASSERT_TRUE(os.CreateFileForWrite(u"C:\\new.txt")->Write("12345", 5));
    EXPECT_FALSE(os.CreateFileForWrite(u"C:\\more.txt")->Write("1", 1));
    ASSERT_NE(os.CreateFileForWrite(u"C:\\Windows\\System32\\KEPT.DLL"), nullptr);
    EXPECT_TRUE(os.DeleteFile(u"C:\\Windows\\System32\\Kept.dll"));
    EXPECT_TRUE(os.RemoveDirectory(u"C:\\Windows\\System32"));
    os.UnmapDrive(u'C');
  }
  ASSERT_TRUE(os.MapMemoryDrive(u'C', image, 15));
  auto kept = os.OpenFileForRead(u"C:\\Windows\\System32\\kept.dll");
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(kept->Size(), 10);
  EXPECT_FALSE(os.FileExists(u"C:\\new.txt"));
  // No room for the image's own files: nothing is mapped.
  EXPECT_FALSE(os.MapMemoryDrive(u'D', image, 9));
  EXPECT_FALSE(os.DirectoryExists(u"D:\\Windows"));
}

TEST(HostOsTest, HostPathsMapToDriveZ) {
  EXPECT_EQ(HostPathToOsPath("/"), u"Z:\\");
  EXPECT_EQ(HostPathToOsPath("/tmp/a b"), u"Z:\\tmp\\a b");
  EXPECT_EQ(HostPathToOsPath("/tmp/x/../y/"), u"Z:\\tmp\\y");
  EXPECT_EQ(HostPathToOsPath("rel"), HostPathToOsPath((fs::current_path() / "rel").string()));

  TempDir dir;
  WriteHostFile(dir.path() / "f.txt", "x");
  auto os = CreateHostOs(936);
  EXPECT_EQ(os->GetACP(), 936u);
  EXPECT_TRUE(os->FileExists(HostPathToOsPath((dir.path() / "f.txt").string())));
  EXPECT_EQ(os->GetDriveType(u"Z:\\"), kDriveFixed);
}

}  // namespace
}  // namespace platform
