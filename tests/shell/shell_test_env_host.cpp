// The portable shell tests on Windows: the real Windows, scratch folders under %TEMP% and
// scratch registry keys under HKEY_CURRENT_USER\Software\StpShellTest, named per run.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/host.h"
#include "platform/text.h"
#include "tests/shell/shell_test_env.h"

namespace shell::testing {
namespace {

class HostEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    os_ = platform::CreateHostOs(0);
    platform::SetCurrentOs(os_.get());
  }
  void TearDown() override {
    platform::SetCurrentOs(nullptr);
    os_.reset();
  }

 private:
  std::unique_ptr<platform::Os> os_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new HostEnvironment);  // gtest takes ownership

int g_counter = 0;

// Distinguishes this run from earlier ones, whose keys and folders may still exist.
std::string RunTag() {
  static const std::string tag = std::to_string(
      std::chrono::system_clock::now().time_since_epoch() / std::chrono::milliseconds(1));
  return tag;
}

}  // namespace

platform::Text NewScratchFolder() {
  platform::Os& os = platform::CurrentOs();
  platform::Text base = os.GetEnvironmentVariable(u"TEMP").value_or(u"C:\\");
  if (!base.empty() && base.back() == u'\\') base.pop_back();
  platform::Text folder =
      base + platform::AsciiToText("\\stp-shell-" + RunTag() + "-" + std::to_string(++g_counter));
  os.CreateDirectory(folder);
  return folder;
}

platform::Text NewScratchKey() {
  return platform::AsciiToText("Software\\StpShellTest\\run" + RunTag() + "\\key" +
                               std::to_string(++g_counter));
}

}  // namespace shell::testing
