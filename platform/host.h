// The OS of a command-line tool running on this host.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/os.h"

namespace platform {

// On Windows, the real Windows. On Linux, a simulated Windows whose drive Z: is the host's root
// folder (as Wine maps it), with the given ANSI code page (1252 by default, 936 for Chinese).
std::unique_ptr<Os> CreateHostOs(std::uint32_t code_page);

// A path given on the command line (relative or absolute, in the host's own form) as an absolute
// Windows path of the Os that CreateHostOs returns: /tmp/a b -> Z:\tmp\a b on Linux.
Text HostPathToOsPath(const std::string& host_path);

// A message for the user with every Os path in it written the way the user writes paths on this
// host: on Linux each simulated "Z:\dir\file" becomes "/dir/file" (a path runs to the end of the
// message or of its line, or up to " (" or ": " that follow it); on Windows the message as it is.
std::string HostPathsInMessage(const std::string& message);

// The running program's own file as a host path in UTF-8; empty when it cannot be found.
std::string HostExecutablePath();

// The process's arguments after the program name, as UTF-8. Windows passes main() its arguments
// in the ANSI code page, which loses every character the code page lacks, so there they are read
// from the UTF-16 command line instead; elsewhere they are argv as given.
#ifdef _WIN32
std::vector<std::string> CommandLineArguments(int argc, char** argv);
#else
inline std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}
#endif

}  // namespace platform
