// The uninstall record: the entry the setup writes under HKEY_LOCAL_MACHINE for Add/Remove
// Programs and management tools, and the name of the uninstaller it points to. The install engine
// writes it, the uninstaller reads and removes it, and the builder adds the uninstaller under that
// name; this is the one place each of these names is spelled.
#pragma once

#include "platform/os.h"

namespace install {

using platform::Text;

// The uninstaller's file name in the destination folder, as the uninstall entry names it.
inline constexpr char16_t kUninstallerName[] = u"Uninst.exe";

// The key of the uninstall entry below HKEY_LOCAL_MACHINE.
inline constexpr char16_t kUninstallKeyParent[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline Text UninstallKey(const Text& display_name) { return kUninstallKeyParent + display_name; }

// The entry's values.
inline constexpr char16_t kDisplayIconValue[] = u"DisplayIcon";
inline constexpr char16_t kDisplayNameValue[] = u"DisplayName";
inline constexpr char16_t kDisplayVersionValue[] = u"DisplayVersion";
inline constexpr char16_t kPublisherValue[] = u"Publisher";
inline constexpr char16_t kUrlInfoAboutValue[] = u"URLInfoAbout";
// The uninstaller's path, quoted when it holds a space; the uninstaller removes only the entries
// that name itself here.
inline constexpr char16_t kUninstallStringValue[] = u"UninstallString";
// The uninstaller's path in quotes followed by " /S", for management tools.
inline constexpr char16_t kQuietUninstallStringValue[] = u"QuietUninstallString";
// The outermost folder the setup created on the way to the destination folder (empty when that
// folder existed): the uninstaller removes the folders up to it when they are left empty.
inline constexpr char16_t kCreatedFolderValue[] = u"CreatedFolder";

}  // namespace install
