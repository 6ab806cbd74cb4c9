// The install engine: the work behind the wizard's Install button, apart from the form. The form
// takes the user's choices, drives these steps in order and shows what they report; an
// uninstaller can sit beside them over the same shell and package services.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/os.h"

namespace wizard {

using platform::Text;

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
};

// What the engine reports while it unpacks. Either may be empty.
struct InstallCallbacks {
  // The percentage (0 to 100) of the package's bytes unpacked so far, after each member.
  std::function<void(std::int32_t percent)> progress = nullptr;
  // Called between pieces of work (each piece of the package written out, each member
  // unpacked), where a caller with a window can let it answer the system.
  std::function<void()> between_pieces = nullptr;
};

// The main program's full path.
Text ProgramPath(const InstallPlan& plan);
// The uninstall entry's command: the uninstaller's path, in double quotes when it holds a space
// (unquoted, Windows would try C:\Program.exe first for C:\Program Files\...).
Text UninstallCommand(const Text& setup_dir);

// Step 1: true when the destination folder exists or could be created with its parents.
bool CreateSetupDir(const Text& setup_dir);

// Step 2: writes the package the setup program carries into the folder as "Setup.stp", unpacks
// it there and deletes it again. Throws platform::Exception when the package is missing, cannot be
// written or cannot be unpacked; files already unpacked stay.
void UnpackPackage(const Text& setup_dir, const InstallCallbacks& callbacks);

// Step 3: the shortcuts asked for and the uninstall entry. A convenience: the product is
// installed without them, so a failure ends this step quietly.
void AddShortcutsAndUninstallEntry(const InstallPlan& plan) noexcept;

}  // namespace wizard
