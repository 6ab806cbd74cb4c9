// The OS of a command-line tool running on this host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/os.h"

namespace platform {

// On Windows, the real Windows. On Linux, a simulated Windows whose drive Z: is the host's root
// folder (as Wine maps it), with the given ANSI code page (1252 by default, 936 for Chinese).
std::unique_ptr<Os> CreateHostOs(std::uint32_t code_page);

// A path given on the command line (relative or absolute, in the host's own form) as an absolute
// Windows path of the Os that CreateHostOs returns: /tmp/a b -> Z:\tmp\a b on Linux.
Text HostPathToOsPath(const std::string& host_path);

}  // namespace platform
