#include "uninstall/uninstaller.h"

#include <algorithm>
#include <memory>
#include <set>

#include "install/install_log.h"
#include "install/running_check.h"
#include "install/uninstall_record.h"
#include "params/command_line.h"
#include "params/product_params.h"
#include "params/resource_names.h"
#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/fs_util.h"
#include "platform/text.h"
#include "shell/registry.h"
#include "shell/shell_links.h"
#include "uninstall/uninstall_texts.h"

namespace uninstall {

using install::kUninstallerName;
using platform::CurrentOs;
using platform::TextView;

namespace {

// Long enough for a program that was just told to end; short enough that a copy started by
// mistake does not linger.
constexpr int kSelfDeleteTries = 100;
constexpr std::uint32_t kSelfDeleteWaitMs = 100;

// Windows compares file names without regard to case.
bool SameName(TextView a, TextView b) { return platform::EqualsIgnoringAsciiCase(a, b); }

bool StartsWithName(TextView text, TextView prefix) {
  return text.size() >= prefix.size() && SameName(text.substr(0, prefix.size()), prefix);
}

Text WithoutTrailingSeparator(Text folder) {
  while (folder.size() > 1 && folder.back() == u'\\') folder.pop_back();
  return folder;
}

// A relative path that stays below the folder it is joined to.
bool SafeRelativePath(TextView path) {
  if (path.empty() || path.front() == u'\\' || path.find(u':') != TextView::npos) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(u'\\', start);
    if (end == TextView::npos) end = path.size();
    TextView part = path.substr(start, end - start);
    if (part.empty() || part == u"." || part == u"..") return false;
    start = end + 1;
  }
  return true;
}

Text FullKeyName(const Text& key) { return u"HKEY_LOCAL_MACHINE\\" + key; }

// The folders of the listed files (and their parents) below the folder, deepest first.
std::vector<Text> FoldersDeepestFirst(const std::vector<Text>& files) {
  std::set<Text> seen;
  std::vector<Text> folders;
  for (const Text& file : files) {
    for (size_t at = file.find(u'\\'); at != Text::npos; at = file.find(u'\\', at + 1)) {
      Text folder = file.substr(0, at);
      if (seen.insert(platform::AsciiUpper(folder)).second) folders.push_back(folder);
    }
  }
  auto depth = [](const Text& path) { return std::count(path.begin(), path.end(), u'\\'); };
  std::stable_sort(folders.begin(), folders.end(),
                   [&](const Text& a, const Text& b) { return depth(a) > depth(b); });
  return folders;
}

}  // namespace

std::vector<Text> ParseInstalledFiles(std::span<const std::uint8_t> utf16le) {
  Text text;
  text.reserve(utf16le.size() / 2);
  for (size_t i = 0; i + 1 < utf16le.size(); i += 2) {
    const auto unit = static_cast<char16_t>(utf16le[i] | utf16le[i + 1] << 8);
    if (unit == u'\0') break;  // a resource compiler may end the text with a NUL
    text.push_back(unit);
  }
  std::vector<Text> files;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == Text::npos) end = text.size();
    Text line = text.substr(start, end - start);
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    if (SafeRelativePath(line)) files.push_back(std::move(line));
    start = end + 1;
  }
  return files;
}

Plan MakePlan(const Text& self_path, std::vector<Text> files,
              const std::vector<Text>& display_names) {
  Plan plan;
  plan.self_path = self_path;
  plan.folder = platform::FolderPart(self_path);
  plan.files = std::move(files);

  std::vector<Text> names;
  for (const Text& name : display_names) {
    bool known = std::any_of(names.begin(), names.end(),
                             [&](const Text& other) { return SameName(other, name); });
    if (!name.empty() && !known) names.push_back(name);
  }

  platform::Os& os = CurrentOs();
  for (shell::TShellFolderKind kind : {shell::sfDesktop, shell::sfQuickLaunch}) {
    Text shell_folder;
    try {
      shell_folder = shell::GetShellFolder(kind);
    } catch (const platform::Exception&) {
      continue;  // a "Shell Folders" value that is not text names no folder
    }
    if (shell_folder.empty()) continue;
    for (const Text& name : names) {
      Text link = shell_folder + u"\\" + shell::ShortcutFileName(name);
      if (!os.FileExists(link)) continue;
      // A shortcut of that name that points elsewhere belongs to another installation.
      if (StartsWithName(shell::StoredShortcutTarget(link), plan.folder)) {
        plan.shortcuts.push_back(link);
      }
    }
  }

  for (const Text& name : names) {
    const Text key = install::UninstallKey(name);
    Text command;
    try {
      command = shell::RegReadStringValue(platform::kHkeyLocalMachine, key,
                                          install::kUninstallStringValue);
    } catch (const platform::Exception&) {
      continue;  // not text: not an entry this program wrote
    }
    if (command.size() >= 2 && command.front() == u'"' && command.back() == u'"') {
      command = command.substr(1, command.size() - 2);
    }
    // An entry of the same name that names another Uninst.exe belongs to another installation.
    if (command.empty() || !SameName(command, self_path)) continue;
    plan.entry_keys.push_back(key);
    if (plan.created_folder.empty()) {
      try {
        plan.created_folder = shell::RegReadStringValue(platform::kHkeyLocalMachine, key,
                                                        install::kCreatedFolderValue);
      } catch (const platform::Exception&) {
        // not text: no record of created folders
      }
    }
  }
  return plan;
}

std::vector<Text> CarryOut(const Plan& plan) {
  platform::Os& os = CurrentOs();
  std::vector<Text> stayed;
  for (const Text& file : plan.files) {
    const Text path = plan.folder + file;
    if (SameName(path, plan.self_path)) continue;  // the copy in the temporary folder does that
    if (os.FileExists(path) && !os.DeleteFile(path)) stayed.push_back(path);
  }
  for (const Text& folder : FoldersDeepestFirst(plan.files)) {
    const Text path = plan.folder + folder;
    // A folder that still holds something (the user's files, a file in use) stays.
    if (os.DirectoryExists(path) && !os.RemoveDirectory(path)) stayed.push_back(path + u"\\");
  }
  for (const Text& link : plan.shortcuts) {
    if (!os.DeleteFile(link) && os.FileExists(link)) stayed.push_back(link);
  }
  for (const Text& key : plan.entry_keys) {
    const platform::LStatus status = os.RegDeleteKey(platform::kHkeyLocalMachine, key);
    if (status != platform::kErrorSuccess && status != platform::kErrorFileNotFound) {
      stayed.push_back(FullKeyName(key));
    }
  }
  // The folder goes once this program is gone, if nothing else is left in it.
  std::vector<Text> left;
  if (os.ListDirectory(plan.folder, &left)) {
    const Text self_name = platform::LastComponent(plan.self_path);
    std::erase_if(left, [&](const Text& name) { return SameName(name, self_name); });
  }
  if (!left.empty()) stayed.push_back(plan.folder);
  return stayed;
}

Text CopyToTemp(const Text& self_path) {
  platform::Os& os = CurrentOs();
  const Text temp = os.GetTempPath();
  if (temp.empty()) return Text();
  // A copy of an earlier run may still wait for the next start of Windows: take a free name.
  for (int n = 1; n < 1000; ++n) {
    Text copy = temp + u"~Uninst" + platform::AsciiToText(std::to_string(n)) + u".exe";
    if (os.CopyFile(self_path, copy, true)) {
      os.MoveFileEx(copy, nullptr, platform::kMoveFileDelayUntilReboot);
      return copy;
    }
    if (os.GetLastError() != platform::kErrorFileExists) return Text();
  }
  return Text();
}

Text SelfRemovalCommandLine(const Text& copy_path, const Text& folder, const Text& created_folder) {
  // Without trailing backslashes: "C:\X\" would read as C:\X" (an escaped quote) to a program
  // that splits its command line by the C runtime's rules.
  Text line = u"\"" + copy_path + u"\" \"" + WithoutTrailingSeparator(folder) + u"\"";
  if (!created_folder.empty()) line += u" \"" + WithoutTrailingSeparator(created_folder) + u"\"";
  return line;
}

int FinishSelfRemoval(const Text& folder_in, const Text& created_folder) {
  platform::Os& os = CurrentOs();
  const Text folder = WithoutTrailingSeparator(folder_in);
  // Only ever started from outside the folder; run from inside, it would wait for itself.
  if (folder.empty() || StartsWithName(os.ModuleFileName(), folder + u"\\")) {
    return kExitIncomplete;
  }
  const Text uninstaller = folder + u"\\" + kUninstallerName;
  bool deleted = false;
  for (int i = 0; i < kSelfDeleteTries && !deleted; ++i) {
    deleted = os.DeleteFile(uninstaller) || !os.FileExists(uninstaller);
    if (!deleted) os.Sleep(kSelfDeleteWaitMs);
  }
  os.RemoveDirectory(folder);  // only when empty
  const bool removed = deleted && !os.DirectoryExists(folder);
  // Installed in the folder the setup proposes, the product leaves its publisher's folder (the
  // parameter [publisher] Folder) behind: it goes as well when nothing else is in it.
  const Text parent = WithoutTrailingSeparator(platform::FolderPart(folder));
  if (removed &&
      SameName(platform::LastComponent(parent), params::LoadProductParams().PublisherFolder)) {
    os.RemoveDirectory(parent);  // only when empty
  }
  // The folders the setup made on the way to the folder, and only those: the record must name
  // the folder or one of the folders above it.
  const Text outermost = WithoutTrailingSeparator(created_folder);
  if (removed && !outermost.empty() && StartsWithName(folder + u"\\", outermost + u"\\")) {
    for (Text at = parent; at.size() >= outermost.size() && StartsWithName(at, outermost);
         at = WithoutTrailingSeparator(platform::FolderPart(at))) {
      // A folder that is not empty stays, and so do the folders above it.
      if (os.DirectoryExists(at) && !os.RemoveDirectory(at)) break;
    }
  }
  return removed ? kExitRemoved : kExitIncomplete;
}

int RunUninstall(ui::Backend& backend) {
  platform::Os& os = CurrentOs();
  const Text command_line = os.GetCommandLine();
  const params::CommandLine switches = params::ParseArguments(params::ArgumentsOf(command_line));
  // The copy in the temporary folder is started with the folder (and the outermost folder the
  // setup created); it shows nothing. Other arguments are ignored.
  if (!switches.others.empty() && params::IsAbsoluteFolder(switches.others[0])) {
    return FinishSelfRemoval(switches.others[0],
                             switches.others.size() > 1 ? switches.others[1] : Text());
  }

  const std::uint32_t code_page = os.GetACP();
  const int language = params::LanguageFromCodePage(code_page);
  params::SetLanguage(language);
  const params::ProductParams product = params::LoadProductParams();
  const Text display_name =
      params::IsChinese(language) ? product.DisplayNameCn : product.DisplayNameEn;
  const UninstallTexts texts = UninstallTextsFor(language, display_name);
  const bool silent = switches.silent;

  install::InstallLog log;
  install::OpenRequestedLog(log, switches.log_file, product.ExeBaseName, u"-uninstall.log");
  log.Line({u"Command line: ", command_line});
  log.Line({u"Language: ", params::IsChinese(language) ? u"Chinese" : u"English", u" (code page ",
            install::NumberText(code_page), u")"});
  const auto finish = [&log](const Text& result, int code) {
    log.Line({u"Result: ", result});
    log.Line({u"Exit code: ", install::NumberText(code)});
    return code;
  };
  // A box the user must answer, unless the run is silent.
  const auto tell = [&](const Text& text, std::uint32_t flags) {
    if (!silent) os.MessageBox(0, text, texts.Caption, flags);
  };

  if (!switches.bad_switch.empty()) {
    log.Line({u"Bad switch: ", switches.bad_switch});
    tell(params::BadSwitchMessage(language, switches.bad_switch, UninstallUsage(language)),
         platform::kMbOk);
    return finish(u"nothing removed", kExitDeclined);
  }
  if (switches.help) {
    os.MessageBox(0, UninstallUsage(language), texts.Caption, platform::kMbOk);
    return finish(u"usage shown", kExitRemoved);
  }

  install::ProductWindow window = install::LoadProductWindow();
  window.RunningTitle = install::FindRunningTitle(window);
  if (!window.RunningTitle.empty()) {
    log.Line({u"The product is running: ", window.RunningTitle});
    tell(UninstallRunningMessage(language, window.RunningTitle, window.WindowTitle),
         platform::kMbOk | platform::kMbIconWarning);
    return finish(u"nothing removed", kExitProductRunning);
  }

  ui::Application app(backend);
  app.Initialize();  // COM, for the shell link object
  app.SetTitle(texts.Caption);
  app.SetIcon(params::kAppIconName);

  if (!silent &&
      os.MessageBox(0, texts.MsgConfirm, texts.Caption,
                    platform::kMbYesNo | platform::kMbIconQuestion) != platform::kIdYes) {
    return finish(u"declined", kExitDeclined);
  }

  std::vector<Text> files;
  if (auto bytes = os.FindResourceBytes(params::kInstalledFilesName,
                                        params::ResourceTypeNumber(params::kRtRcData))) {
    files = ParseInstalledFiles(*bytes);
  }
  const Text self_path = os.ModuleFileName();
  const Plan plan =
      MakePlan(self_path, std::move(files), {product.DisplayNameEn, product.DisplayNameCn});
  log.Line({u"Folder: ", plan.folder});
  for (const Text& file : plan.files) log.Line({u"File: ", plan.folder, file});
  for (const Text& link : plan.shortcuts) log.Line({u"Shortcut: ", link});
  for (const Text& key : plan.entry_keys) log.Line({u"Uninstall entry: ", FullKeyName(key)});
  if (!plan.created_folder.empty()) {
    log.Line({u"Folders created by the setup from: ", plan.created_folder});
  }
  std::vector<Text> stayed = CarryOut(plan);

  // Only the program named in the uninstall entry is removed by the copy.
  const bool removes_itself = SameName(platform::LastComponent(self_path), kUninstallerName);
  const Text copy = removes_itself ? CopyToTemp(self_path) : Text();
  if (copy.empty()) {
    stayed.insert(stayed.begin(), self_path);
    if (stayed.back() != plan.folder) stayed.push_back(plan.folder);
  }
  for (const Text& item : stayed) log.Line({u"Stayed: ", item});

  if (stayed.empty()) {
    tell(texts.MsgComplete, platform::kMbOk | platform::kMbIconInformation);
  } else {
    Text text = texts.MsgIncomplete + u"\n";
    for (const Text& item : stayed) text += u"\n" + item;
    tell(text, platform::kMbOk | platform::kMbIconWarning);
  }

  // Started only now, so that its wait for this program to end does not run out while the user
  // reads the message; in the temporary folder, as Windows keeps a process's current folder
  // from being removed.
  if (!copy.empty()) {
    log.Line({u"Removal of Uninst.exe and the folder handed to ", copy});
    if (!os.CreateProcess(copy, SelfRemovalCommandLine(copy, plan.folder, plan.created_folder),
                          platform::FolderPart(copy))) {
      return finish(u"the copy that removes Uninst.exe could not be started", kExitIncomplete);
    }
  }
  return stayed.empty() ? finish(u"removed", kExitRemoved)
                        : finish(u"removed, but some items stayed", kExitIncomplete);
}

}  // namespace uninstall
