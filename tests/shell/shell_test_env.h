// What the portable shell tests need from the platform they run on. Each build links one
// implementation that makes its Os current for the whole test program.
#pragma once

#include "platform/os.h"

namespace shell::testing {

// A new, empty folder for one test (a Windows path without a trailing backslash).
platform::Text NewScratchFolder();

// A registry key path under HKEY_CURRENT_USER that no other test uses; it does not exist yet.
platform::Text NewScratchKey();

}  // namespace shell::testing
