// Uninst.exe: removes what the product's setup installed, and nothing else.
//
// The program is the same for every product. What it knows of its product comes from its own
// resources: the product strings (ids 1001-1012, as the setup reads them) and INSTALLEDFILES, the
// files the package put into the destination folder, one path per line relative to that folder
// (UTF-16LE, CRLF). The destination folder is the folder Uninst.exe runs from.
//
// A run, in the setup's language:
// 1. the product runs (its main window exists): say so and stop;
// 2. ask; No stops with nothing changed;
// 3. delete the listed files, then the folders that became empty, deepest first: what the user
//    added, or what is in use, stays with its folders;
// 4. delete the desktop and Quick Launch shortcuts named after either display name that point
//    into this folder, and the uninstall entries of either display name whose UninstallString is
//    this program;
// 5. one closing message, naming what stayed;
// 6. a program cannot delete its own file while it runs: a copy in the temporary folder is started
//    with the folder as its argument, deletes Uninst.exe and the folder once it is empty, and is
//    itself deleted when Windows next starts. It then removes the folders the setup created above
//    the folder (recorded in the uninstall entry), deepest first, while they are empty.
//
// Switches (params/command_line.h): /S answers the question with yes and shows no message; /LOG
// writes a log of the run; /? shows the usage.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/os.h"
#include "ui/controls.h"

namespace uninstall {

using platform::Text;

inline constexpr int kExitRemoved = 0;
inline constexpr int kExitDeclined = 1;  // also: a switch that cannot be used
inline constexpr int kExitProductRunning = 2;
inline constexpr int kExitIncomplete = 3;

// The lines of INSTALLEDFILES. Lines end in CRLF (a bare LF is accepted); empty lines are
// skipped. A line that could name something outside the folder (a drive, a leading "\", a ".."
// component) is dropped: the list only ever names files below the folder.
std::vector<Text> ParseInstalledFiles(std::span<const std::uint8_t> utf16le);

// What a run removes, found before anything is touched (a shortcut's target is read while it
// still exists).
struct Plan {
  Text folder;                   // the destination folder, with a trailing backslash
  Text self_path;                // this program
  std::vector<Text> files;       // INSTALLEDFILES, relative to the folder
  std::vector<Text> shortcuts;   // shortcut files that point into the folder
  std::vector<Text> entry_keys;  // uninstall keys under HKLM that name this program
  Text created_folder;           // the outermost folder the setup created, from the entry
};
Plan MakePlan(const Text& self_path, std::vector<Text> files,
              const std::vector<Text>& display_names);

// Carries a plan out, except for this program's own file and the folder itself. Returns what
// stayed: files and shortcuts by path, folders with a trailing backslash, registry keys by their
// full name; the folder itself when anything but this program is left in it.
std::vector<Text> CarryOut(const Plan& plan);

// Copies this program into the temporary folder and has the copy deleted at the next start of
// Windows. The copy's path, or empty when that failed.
Text CopyToTemp(const Text& self_path);
// The copy's command line: the copy, the folder and, when there is one, the outermost folder the
// setup created (both without their trailing backslash), each quoted.
Text SelfRemovalCommandLine(const Text& copy_path, const Text& folder, const Text& created_folder);

// The second run, from the temporary folder: waits until the first run has ended and deleted
// Uninst.exe can be, deletes it and then the folder if it is empty, then its parents up to
// created_folder (when that is the folder or one above it) while they are empty.
int FinishSelfRemoval(const Text& folder, const Text& created_folder = Text());

// The whole program against the current Os, its command line included. Returns the process exit
// code.
int RunUninstall(ui::Backend& backend);

}  // namespace uninstall
