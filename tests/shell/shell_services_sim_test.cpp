// The helpers in situations only the simulated Windows can set up: drives of every type, a
// process without administrator rights, the system folder, the message box.
#include <gtest/gtest.h>

#include "platform/errors.h"
#include "platform/sim/sim_windows.h"
#include "shell/messages.h"
#include "shell/registry.h"
#include "shell/system_info.h"
#include "tests/platform/sim_test_util.h"

namespace shell {
namespace {

using platform::kHkeyLocalMachine;
using platform::SimWindows;

class SystemHelpersSimTest : public ::testing::Test {
 protected:
  platform::testing::TempDir dir_;
  SimWindows os_;
  platform::ScopedOs scoped_{os_};
};

TEST_F(SystemHelpersSimTest, FixedDrivesAndFreeSpace) {
  os_.MapDrive(u'C', dir_.path(), platform::kDriveFixed, 123456789);
  os_.MapDrive(u'D', dir_.path(), platform::kDriveFixed, 42);
  os_.MapDrive(u'E', {}, platform::kDriveCdrom);
  os_.MapDrive(u'F', dir_.path(), platform::kDriveRemovable, 7);
  os_.MapDrive(u'Z', dir_.path(), platform::kDriveRemote, 9);
  EXPECT_EQ(GetFixedDrives(), u"CD");

  EXPECT_EQ(GetDriveFreeSpace(u'C'), 123456789);
  EXPECT_EQ(GetDriveFreeSpace(u'c'), 123456789);
  EXPECT_EQ(GetDriveFreeSpace(u'F'), 7);
  EXPECT_EQ(GetDriveFreeSpace(u'E'), -1);  // no medium
  EXPECT_EQ(GetDriveFreeSpace(u'Q'), -1);  // no such drive
  EXPECT_EQ(GetDriveFreeSpace(u'\\'), -1);
  EXPECT_EQ(FormatByteSize(GetDriveFreeSpace(u'Q')), u"-1 Bytes");

  os_.UnmapDrive(u'C');
  os_.UnmapDrive(u'D');
  EXPECT_EQ(GetFixedDrives(), u"");
}

TEST_F(SystemHelpersSimTest, LocaleDecimalSeparator) {
  os_.SetDecimalSeparator(u",");
  EXPECT_EQ(FormatByteSize(5000000), u"4,8 MB");
  EXPECT_EQ(FormatByteSize(3221225472), u"3 GB");
}

TEST_F(SystemHelpersSimTest, MachineKeysWithoutAdministratorRights) {
  const Text key = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Product";
  os_.SetRegistryValue(kHkeyLocalMachine, key, u"DisplayName", platform::kRegSz, {'P', 0, 0, 0});
  os_.SetAdministrator(false);
  // Full access is asked for reading too, so the value reads as empty.
  EXPECT_EQ(RegReadStringValue(kHkeyLocalMachine, key, u"DisplayName"), u"");
  EXPECT_FALSE(RegWriteStringValue(kHkeyLocalMachine, key, u"DisplayName", u"x"));
  try {
    RegCreateKeyPath(kHkeyLocalMachine, u"\\" + key);
    ADD_FAILURE() << "no error";
  } catch (const platform::EOsError& e) {
    EXPECT_EQ(e.Message(), u"Failed to create key \\" + key);
    EXPECT_EQ(e.Code(), platform::kErrorAccessDenied);
  }
  EXPECT_EQ(os_.OpenKeyCount(), 0);

  os_.SetAdministrator(true);
  EXPECT_EQ(RegReadStringValue(kHkeyLocalMachine, key, u"DisplayName"), u"P");
}

TEST_F(SystemHelpersSimTest, KeysAreClosedWhenReadingRaises) {
  os_.SetRegistryValue(platform::kHkeyCurrentUser, u"Software\\T", u"n", platform::kRegDword,
                       {1, 0, 0, 0});
  EXPECT_THROW(RegReadStringValue(platform::kHkeyCurrentUser, u"Software\\T", u"n"),
               platform::EOsError);
  EXPECT_EQ(os_.OpenKeyCount(), 0);
}

TEST_F(SystemHelpersSimTest, SystemDirectory) {
  os_.SetSystemDirectory(u"C:\\WINDOWS\\system32");
  EXPECT_EQ(GetSystemDir(), u"C:\\WINDOWS\\system32\\");
  os_.SetSystemDirectory(std::nullopt);
  EXPECT_EQ(GetSystemDir(), u"");
  // A folder longer than the 260-character buffer is a failure, not a truncated or stale text.
  os_.SetSystemDirectory(u"C:\\" + Text(300, u'x'));
  EXPECT_EQ(GetSystemDir(), u"");
  os_.SetSystemDirectory(u"C:\\" + Text(256, u'x'));  // 259 characters and the NUL fit
  EXPECT_EQ(GetSystemDir(), u"C:\\" + Text(256, u'x') + u"\\");
}

TEST_F(SystemHelpersSimTest, InfoMessageUsesTheApplicationTitleForAnEmptyCaption) {
  os_.SetActiveWindow(0x777);
  SetApplicationTitle(u"Product Setup");
  ShowInfoMessage(u"Extraction failed", u"");
  ShowInfoMessage(u"Note", u"Own caption");
  SetApplicationTitle(Text());
  ASSERT_EQ(os_.MessageBoxes().size(), 2u);
  const auto& first = os_.MessageBoxes()[0];
  EXPECT_EQ(first.owner, 0x777u);
  EXPECT_EQ(first.text, u"Extraction failed");
  EXPECT_EQ(first.caption, u"Product Setup");
  EXPECT_EQ(first.flags, platform::kMbOk | platform::kMbIconInformation);
  EXPECT_EQ(os_.MessageBoxes()[1].caption, u"Own caption");
}

}  // namespace
}  // namespace shell
