// setup.exe /S: the install the wizard would make with its defaults, without any window or
// message, for administrators who deploy the product unattended. It takes the wizard's rules in
// the wizard's order (the folder, its checks, then the install engine's steps) and reports the
// outcome as the process's exit code.
#pragma once

#include <optional>

#include "install/install_log.h"
#include "platform/os.h"

namespace wizard {

using platform::Text;

// Exit codes of setup.exe.
inline constexpr int kExitInstalled = 0;
inline constexpr int kExitBadSwitch = 1;
inline constexpr int kExitProductRunning = 2;
inline constexpr int kExitFolderRefused = 3;  // refused as page 3 would, or too little space
inline constexpr int kExitUnpackFailed = 4;
inline constexpr int kExitShortcutsOrEntryFailed = 5;  // the files are installed

// Installs into setup_dir (an absolute folder from /D=), else into the folder the wizard would
// propose: a folder page 3 would refuse, or whose drive has less free space than the install
// needs, is not touched. The shortcuts are those the wizard's check boxes make as they start;
// the product is never started. language: 0 Chinese, else English, as for the wizard.
int RunSilentSetup(int language, const std::optional<Text>& setup_dir, install::InstallLog& log);

}  // namespace wizard
