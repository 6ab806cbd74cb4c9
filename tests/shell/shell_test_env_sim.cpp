// The portable shell tests natively: a simulated Windows with a scratch drive C:.
#include <gtest/gtest.h>

#include <string>

#include "platform/sim/sim_windows.h"
#include "platform/text.h"
#include "tests/platform/sim_test_util.h"
#include "tests/shell/shell_test_env.h"

namespace shell::testing {
namespace {

class SimEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    dir_ = std::make_unique<platform::testing::TempDir>();
    os_ = std::make_unique<platform::SimWindows>();
    os_->MapDrive(u'C', dir_->path());
    platform::SetCurrentOs(os_.get());
  }
  void TearDown() override {
    platform::SetCurrentOs(nullptr);
    os_.reset();
    dir_.reset();
  }

 private:
  std::unique_ptr<platform::testing::TempDir> dir_;
  std::unique_ptr<platform::SimWindows> os_;
};

[[maybe_unused]] ::testing::Environment* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new SimEnvironment);  // gtest takes ownership

int g_counter = 0;

}  // namespace

platform::Text NewScratchFolder() {
  platform::Text folder = platform::AsciiToText("C:\\scratch" + std::to_string(++g_counter));
  platform::CurrentOs().CreateDirectory(folder);
  return folder;
}

platform::Text NewScratchKey() {
  return platform::AsciiToText("Software\\StpShellTest\\key" + std::to_string(++g_counter));
}

}  // namespace shell::testing
