// A simulated machine for the wizard: drives C and D fixed, E removable, the product's strings and
// pictures as resources, the shell folders of one user, and the form on the headless backend.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"
#include "ui/controls.h"
#include "ui/headless_backend.h"
#include "wizard/setup_form.h"

namespace wiztest {

using platform::Text;

inline constexpr int kEnglish = 2;
inline constexpr int kChinese = 0;

// Free space of the drives, chosen so that each formats differently.
inline constexpr std::int64_t kFreeC = 3758096384;  // "3.5 GB"
inline constexpr std::int64_t kFreeD = 2097152;     // "2 MB"
inline constexpr std::int64_t kFreeE = 1024;        // "1 KB"

inline const Text kDesktop = u"C:\\Users\\me\\Desktop";
inline const Text kAppData = u"C:\\Users\\me\\AppData";
inline const Text kQuickLaunch = kAppData + u"\\Microsoft\\Internet Explorer\\Quick Launch";

class WizardTest : public ::testing::Test {
 protected:
  WizardTest();
  ~WizardTest() override;

  // Creates the form as the entry routine does and shows it.
  void Create(int language = kEnglish);
  wizard::TForm1& Form() { return *form_; }
  const ui::HeadlessBackend::ControlState& State(const Text& name) { return ui_.State(name); }

  // A user's click followed by the idle pass that comes once the queue is empty.
  bool Click(const Text& name);
  bool Type(const Text& name, const Text& text);
  // Clicks Next until the wizard shows that page.
  void GoToPage(int step);

  // A package with two files (one in a subfolder) as the setup resource; damaged, its first
  // member does not inflate.
  void SetPackageResource(bool damaged = false);
  // Files under a folder of the simulated machine: relative path -> content.
  std::vector<std::pair<std::string, std::string>> TreeOf(const Text& folder);
  std::string ReadFile(const Text& path);
  void WriteFile(const Text& path, const std::string& content);
  void MakeFolder(const Text& path);
  // A shortcut as an earlier installation left it.
  void AddShortcut(const Text& folder, const Text& target);

  std::filesystem::path root_;
  platform::SimWindows os_;
  platform::ScopedOs scoped_{os_};
  ui::HeadlessBackend ui_;
  ui::Application app_{ui_};
  std::unique_ptr<wizard::TForm1> form_;
  std::vector<std::string> escaped_;  // exceptions that left an event handler
};

// The bytes of a bitmap resource: a BITMAPINFOHEADER and the pixels, no file header.
platform::Bytes BitmapResource(int bit_count, std::uint32_t colors_used = 0);

}  // namespace wiztest
