// Shell folders and shortcuts: where the per-user shell folders are, writing and reading .lnk
// files through the shell's link object, and finding an earlier installation by its shortcut.
//
// Folder paths come from the registry's "Shell Folders" values, not from the shell. Every call
// opens and closes its own registry keys and creates and releases its own link object. COM must be
// initialised on the calling thread (single-threaded apartment). Nothing here catches: registry
// errors (a "Shell Folders" value that is not text) and COM failures reach the caller as
// platform::EOsError.
#pragma once

#include <cstdint>

#include "platform/os.h"

namespace shell {

using platform::Text;

// The shell folders that receive shortcuts. Values outside the list name no folder.
enum TShellFolderKind : std::uint8_t {
  sfDesktop = 0,      // "Desktop"
  sfQuickLaunch = 1,  // "AppData" + "\Microsoft\Internet Explorer\Quick Launch"
  sfSendTo = 2,       // "SendTo"
  sfStartMenu = 3,    // "Start Menu"
  sfStartup = 4,      // "Startup"
};

// The folder of a kind as stored (no trailing backslash), or empty.
Text GetShellFolder(TShellFolderKind kind);

// Writes a shortcut to target_path named after display_name (its extension replaced by ".lnk",
// then its last component) into the kind's folder, or into subfolder below it. The working
// directory is the target's folder. Writes nothing, silently, when the kind has no folder or the
// subfolder does not exist.
void CreateShortcut(const Text& target_path, const Text& display_name, TShellFolderKind kind,
                    const Text& subfolder);

// The file name CreateShortcut gives the shortcut of display_name: its extension replaced by
// ".lnk", then its last component ("Product 2.0" -> "Product 2.lnk").
Text ShortcutFileName(const Text& display_name);

// The text ResolveShortcut returns for a shortcut it cannot read; it has no folder part.
extern const char16_t kUnresolvedLink[];

// The target path of a shortcut, or kUnresolvedLink. Never rewrites the shortcut file.
Text ResolveShortcut(const Text& link_path);

// The target path stored in a shortcut, read without resolving it (resolving may search the disk
// for a moved target and show the shell's dialog, where what matters is where the shortcut
// points), or an empty text when the link object or the shortcut cannot be read. Never throws.
Text StoredShortcutTarget(const Text& link_path);

// The folder (with a trailing backslash) of the target of the shortcut named display_name + ".lnk"
// in a shell folder, or empty. folder_name "QuickLaunch" (exactly) is the user's Quick Launch
// folder; any other name is a "Shell Folders" value, looked for in the user's folders first and
// then, as "Common " + name, in the all-users folders.
Text FindInstalledFolder(const Text& display_name, const Text& folder_name);

// A COM identifier in registry format: {00021401-0000-0000-C000-000000000046}.
Text GuidToString(const platform::Guid& guid);

}  // namespace shell
