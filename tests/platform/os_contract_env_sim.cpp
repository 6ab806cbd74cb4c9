// The simulated Windows for the Os contract suite: drive C: over a scratch host folder, or kept in
// memory.
#include <memory>

#include "platform/sim/sim_windows.h"
#include "tests/platform/os_contract_env.h"
#include "tests/platform/sim_test_util.h"

namespace platform::contract {
namespace {

constexpr std::int64_t kFree = 5LL << 30;

class SimEnv : public Env {
 public:
  explicit SimEnv(bool on_host) {
    if (on_host) {
      os_.MapDrive(u'C', host_dir_.path(), kDriveFixed, kFree, kFree * 2);
    } else {
      os_.MapMemoryDrive(u'C');
    }
    os_.CreateDirectory(folder_);
  }
  Os& os() override { return os_; }
  const Text& folder() const override { return folder_; }
  const Text& key() const override { return key_; }

 private:
  testing::TempDir host_dir_;
  SimWindows os_;
  const Text folder_ = u"C:\\stp-contract";
  const Text key_ = u"Software\\StpOsContract\\Sub";
};

}  // namespace

std::vector<std::string> Implementations() { return {"SimHostFolder", "SimMemory"}; }

std::unique_ptr<Env> OpenEnv(const std::string& implementation) {
  return std::make_unique<SimEnv>(implementation == "SimHostFolder");
}

}  // namespace platform::contract
