// The install engine: the work behind the wizard's Install button and the unattended install,
// apart from any window. The wizard's form takes the user's choices, drives these steps in order
// and shows what they report; the silent mode drives the same steps with the wizard's defaults.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/os.h"

namespace install {

using platform::Text;
class InstallLog;

// What an installation writes where; the form fills it from its fields and controls.
struct InstallPlan {
  Text setup_dir;     // the destination folder, with its trailing backslash
  Text exe_name;      // the main program's name without ".exe"
  Text display_name;  // the product's name in the shortcuts and the uninstall entry
  Text version;
  Text publisher;
  Text url_info_about;
  bool desktop_shortcut = false;
  bool quick_launch_shortcut = false;
  // The outermost folder the install created on the way to setup_dir (without its trailing
  // backslash), empty when setup_dir existed: the uninstaller removes the folders from setup_dir
  // up to this one when they are left empty, and no folder that was there before.
  Text created_folder;
};

// What the engine reports while it unpacks. Either may be empty.
struct InstallCallbacks {
  // The percentage (0 to 100) of the package's bytes unpacked so far, after each member.
  std::function<void(std::int32_t percent)> progress = nullptr;
  // Called between pieces of work (each piece of the package written out, each member
  // unpacked), where a caller with a window can let it answer the system.
  std::function<void()> between_pieces = nullptr;
  // Receives each file written and what was done with the package file. May be null.
  InstallLog* log = nullptr;
};

// The main program's full path.
Text ProgramPath(const InstallPlan& plan);
// The uninstall entry's command: the uninstaller's path, in double quotes when it holds a space
// (unquoted, Windows would try C:\Program.exe first for C:\Program Files\...).
Text UninstallCommand(const Text& setup_dir);

// Step 1: true when the destination folder exists or could be created with its parents.
// *created (when given) receives the outermost folder this call created, without its trailing
// backslash, or an empty text when the folder existed.
bool CreateSetupDir(const Text& setup_dir, Text* created = nullptr);

// The bytes an install into a folder takes at its peak: the package file written out of the
// program and every file unpacked from it. Throws platform::Exception when the package the
// program carries is missing or its manifest cannot be read.
std::int64_t RequiredBytes();

// Step 2: writes the package the setup program carries into the folder as "Setup.stp", unpacks
// it there and deletes it again. Throws platform::Exception when the package is missing, cannot be
// written or cannot be unpacked; files already unpacked stay.
void UnpackPackage(const Text& setup_dir, const InstallCallbacks& callbacks);

// Step 3: the shortcuts asked for and the uninstall entry. A convenience: the product is
// installed without them, so a failure ends this step quietly, leaving what was made before it.
// Returns false when the step did not complete; log (may be null) gets each shortcut and value.
bool AddShortcutsAndUninstallEntry(const InstallPlan& plan, InstallLog* log = nullptr) noexcept;

// What the uninstall entry names the uninstaller by: its path in quotes, then " /S", which removes
// the product without a question or a message.
Text QuietUninstallString(const Text& setup_dir);

}  // namespace install
