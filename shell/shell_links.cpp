#include "shell/shell_links.h"

#include <memory>
#include <optional>

#include "platform/errors.h"
#include "platform/fs_util.h"
#include "platform/text.h"
#include "shell/registry.h"
#include "shell/registry_key.h"

namespace shell {

using platform::CurrentOs;
using platform::EOsError;
using platform::HResult;
using platform::Succeeded;

const char16_t kUnresolvedLink[] = u"unable to resolve link";

namespace {

// The key paths keep the "MicroSoft" spelling of the product's earlier releases; the registry
// ignores case, so they name the usual keys.
constexpr char16_t kExplorerKey[] = u"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer";
constexpr char16_t kShellFoldersKey[] =
    u"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char16_t kQuickLaunchSuffix[] = u"\\Microsoft\\Internet Explorer\\Quick Launch";

constexpr std::uint32_t kClsctxInprocServer = 1;
constexpr std::uint32_t kClsctxLocalServer = 4;
constexpr std::uint32_t kStgmRead = 0;
constexpr std::uint32_t kSlrNoUpdate = 8;
constexpr std::uint32_t kSlgpUncPriority = 2;
// The size, in characters, of the buffer a shortcut's target is read into.
constexpr auto kLinkPathBuffer = static_cast<std::uint32_t>(platform::kPathLimit);

// value as exactly `digits` hexadecimal digits. (By hand rather than with printf, which would
// bring a whole formatted-output library, floating point included, into the setup program.)
Text Hex(std::uint32_t value, int digits, bool upper) {
  const char16_t* const alphabet = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  Text text(static_cast<size_t>(digits), u'0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) {
    text[static_cast<size_t>(i)] = alphabet[value & 15];
  }
  return text;
}

// The system's description of a COM failure, as a message: trailing blanks, control characters
// and full stops dropped; "OLE error xxxxxxxx" (lower-case hexadecimal) when the system has none.
Text OleErrorText(HResult hr) {
  Text text = CurrentOs().SystemErrorMessage(static_cast<std::uint32_t>(hr));
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) text.pop_back();
  if (text.empty()) text = u"OLE error " + Hex(static_cast<std::uint32_t>(hr), 8, false);
  return text;
}

[[noreturn]] void RaiseOleError(HResult hr, const Text& suffix) {
  throw EOsError(OleErrorText(hr) + suffix, static_cast<std::uint32_t>(hr));
}

// The display name with its extension (from the last "." that no "\" or ":" follows) replaced by
// ".lnk", or ".lnk" appended when it has none.
Text WithLinkExtension(const Text& name) {
  size_t at = name.find_last_of(u".\\:");
  Text base = (at != Text::npos && name[at] == u'.') ? name.substr(0, at) : name;
  return base + u".lnk";
}

// The folder part of the target of the shortcut display_name + ".lnk" in folder, or empty.
Text ProbeFolder(const Text& folder, const Text& display_name) {
  if (folder.empty()) return Text();
  Text link = folder + u"\\" + display_name + u".lnk";
  if (!CurrentOs().FileExists(link)) return Text();
  return platform::FolderPart(ResolveShortcut(link));
}

// A shell link object with its file interface, or null with the failure in *hr.
std::unique_ptr<platform::ShellLink> NewShellLink(HResult* hr) {
  std::unique_ptr<platform::ShellLink> link;
  *hr = CurrentOs().CreateShellLink(kClsctxInprocServer, platform::kIidIShellLinkW, &link);
  if (!Succeeded(*hr) || !link) return nullptr;
  *hr = link->QueryInterface(platform::kIidIPersistFile);
  if (!Succeeded(*hr)) return nullptr;
  return link;
}

// The loaded shortcut's target up to the buffer's terminating NUL, or nothing when it cannot be
// read.
std::optional<Text> LinkTarget(platform::ShellLink& link, std::uint32_t flags) {
  Text path;
  if (!Succeeded(link.GetPath(&path, kLinkPathBuffer, flags))) return std::nullopt;
  if (auto nul = path.find(u'\0'); nul != Text::npos) path.resize(nul);
  return path;
}

}  // namespace

Text ShortcutFileName(const Text& display_name) {
  return platform::LastComponent(WithLinkExtension(display_name));
}

Text GuidToString(const platform::Guid& g) {
  Text text = u"{" + Hex(g.data1, 8, true) + u"-" + Hex(g.data2, 4, true) + u"-" +
              Hex(g.data3, 4, true) + u"-";
  for (int i = 0; i < 8; ++i) {
    if (i == 2) text += u'-';
    text += Hex(g.data4[i], 2, true);
  }
  return text + u"}";
}

Text GetShellFolder(TShellFolderKind kind) {
  platform::Os& os = CurrentOs();
  KeyGuard explorer;
  // Whether the Explorer key could be opened is not checked: a failure leaves no handle, the
  // subkey then cannot be opened and the folder reads as empty.
  if (os.RegCreateKeyEx(platform::kHkeyCurrentUser, kExplorerKey, platform::kRegOptionNonVolatile,
                        platform::kKeyAllAccess, explorer.out()) != platform::kErrorSuccess) {
    *explorer.out() = 0;
  }
  KeyGuard folders;
  if (explorer.get() == 0 ||
      os.RegOpenKeyEx(explorer.get(), u"Shell Folders", platform::kKeyAllAccess, folders.out()) !=
          platform::kErrorSuccess) {
    *folders.out() = 0;
  }
  auto read = [&](const char16_t* name) {
    return folders.get() == 0 ? Text() : ReadStringValue(folders.get(), name);
  };
  switch (kind) {
    case sfDesktop: return read(u"Desktop");
    case sfQuickLaunch: return read(u"AppData") + kQuickLaunchSuffix;
    case sfSendTo: return read(u"SendTo");
    case sfStartMenu: return read(u"Start Menu");
    case sfStartup: return read(u"Startup");
  }
  return Text();
}

void CreateShortcut(const Text& target_path, const Text& display_name, TShellFolderKind kind,
                    const Text& subfolder) {
  std::unique_ptr<platform::ShellLink> link;
  HResult hr = CurrentOs().CreateShellLink(kClsctxInprocServer | kClsctxLocalServer,
                                           platform::kIidIUnknown, &link);
  if (!Succeeded(hr) || !link) {
    RaiseOleError(hr, u", ClassID: " + GuidToString(platform::kClsidShellLink));
  }
  hr = link->QueryInterface(platform::kIidIShellLinkW);
  if (Succeeded(hr)) hr = link->QueryInterface(platform::kIidIPersistFile);
  if (!Succeeded(hr)) {
    throw EOsError(platform::AsciiToText("Interface not supported"),
                   static_cast<std::uint32_t>(hr));
  }
  // Only the target and its folder as working directory are set; the results are not checked,
  // as a shortcut is a convenience the installation does not depend on.
  link->SetPath(target_path);
  link->SetWorkingDirectory(platform::FolderPart(target_path));

  Text file_name = ShortcutFileName(display_name);
  Text folder = GetShellFolder(kind);
  if (folder.empty()) return;
  Text path = subfolder.empty() ? folder + u"\\" + file_name
                                : folder + u"\\" + subfolder + u"\\" + file_name;
  // No folder is created on the way: a missing subfolder means no shortcut.
  link->Save(path, false);
}

Text ResolveShortcut(const Text& link_path) {
  HResult hr = 0;
  std::unique_ptr<platform::ShellLink> link = NewShellLink(&hr);
  if (!link) RaiseOleError(hr, Text());

  Text result = kUnresolvedLink;
  if (!Succeeded(link->Load(link_path, kStgmRead))) return result;
  // SLR_NOUPDATE: the stored shortcut is never rewritten. Without SLR_NO_UI the shell may ask
  // the user, owned by the active window, while it looks for a moved target.
  if (!Succeeded(link->Resolve(CurrentOs().GetActiveWindow(), kSlrNoUpdate))) return result;
  if (std::optional<Text> path = LinkTarget(*link, kSlgpUncPriority)) {
    if (path->size() > kLinkPathBuffer) path->resize(kLinkPathBuffer);
    result = *path;
  }
  return result;
}

Text StoredShortcutTarget(const Text& link_path) {
  HResult hr = 0;
  std::unique_ptr<platform::ShellLink> link = NewShellLink(&hr);
  if (!link || !Succeeded(link->Load(link_path, kStgmRead))) return Text();
  return LinkTarget(*link, 0).value_or(Text());
}

Text FindInstalledFolder(const Text& display_name, const Text& folder_name) {
  Text first;
  Text second;
  if (folder_name == u"QuickLaunch") {
    first = RegReadStringValue(platform::kHkeyCurrentUser, kShellFoldersKey, u"AppData") +
            kQuickLaunchSuffix;
  } else {
    first = RegReadStringValue(platform::kHkeyCurrentUser, kShellFoldersKey, folder_name);
    second =
        RegReadStringValue(platform::kHkeyLocalMachine, kShellFoldersKey, u"Common " + folder_name);
  }
  // The user's own shortcut wins over the all-users one.
  Text result = ProbeFolder(first, display_name);
  if (result.empty()) result = ProbeFolder(second, display_name);
  return result;
}

}  // namespace shell
