// The folder picker and the program launcher of the setup.
#pragma once

#include "platform/os.h"

namespace wizard {

using platform::Handle;
using platform::Text;

inline constexpr int kCsidlDrives = 0x11;  // the computer folder that lists the drives
inline constexpr std::uint32_t kBifReturnOnlyFsDirs = 0x01;
inline constexpr std::uint32_t kBifNewDialogStyle = 0x40;

// Lets the user pick a folder below the computer folder, without a preselected folder. Returns a
// file-system path, or an empty text after Cancel or for an item that has no path.
Text BrowseForFolder(Handle owner, const Text& prompt);

inline constexpr std::uint32_t kSeeMaskNoCloseProcess = 0x40;
inline constexpr int kSwShowNormal = 1;
// SHELLEXECUTEINFOW as a 32-bit program declares it.
inline constexpr std::uint32_t kShellExecuteInfoSize = 60;

// Starts a program with the shell's default verb, in the setup's own current folder. Returns the
// process handle, or 0 when it could not be started.
Handle LaunchProgram(const Text& file_name, const Text& parameters);

}  // namespace wizard
