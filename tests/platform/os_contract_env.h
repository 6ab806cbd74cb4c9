// What the Os contract suite needs from each implementation it runs on. The native build tests the
// simulated Windows on both kinds of drive (os_contract_env_sim.cpp), the Windows build the Win32
// implementation against the real system (tests/win32/os_contract_env_win32.cpp).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/os.h"

namespace platform::contract {

// One implementation set up for one test: an empty folder of the test's own, and a registry key
// under HKEY_CURRENT_USER that does not exist yet. Both are gone after the environment is.
class Env {
 public:
  virtual ~Env() = default;
  virtual Os& os() = 0;
  // A Windows path without a trailing backslash.
  virtual const Text& folder() const = 0;
  // A key path two levels below HKEY_CURRENT_USER\Software; its parent does not exist either.
  virtual const Text& key() const = 0;
};

// The names of the implementations this build tests (letters and digits only: they become part
// of the test names).
std::vector<std::string> Implementations();

std::unique_ptr<Env> OpenEnv(const std::string& implementation);

}  // namespace platform::contract
