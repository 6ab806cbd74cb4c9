#include "wizard/browse_and_launch.h"

namespace wizard {

Text BrowseForFolder(Handle owner, const Text& prompt) {
  Text path;
  if (!platform::CurrentOs().BrowseForFolder(owner, prompt, kCsidlDrives,
                                             kBifReturnOnlyFsDirs | kBifNewDialogStyle, &path)) {
    return Text();
  }
  // The path comes through a buffer of platform::kPathLimit characters that ends in a NUL.
  const std::size_t end = path.find(u'\0');
  if (end != Text::npos) path.resize(end);
  if (path.size() > platform::kPathLimit - 1) path.resize(platform::kPathLimit - 1);
  return path;
}

Handle LaunchProgram(const Text& file_name, const Text& parameters) {
  platform::ShellExecuteInfo info;
  info.cbSize = kShellExecuteInfoSize;
  info.fMask = kSeeMaskNoCloseProcess;
  info.hwnd = 0;
  info.lpVerb = std::nullopt;
  info.lpFile = file_name;
  info.lpParameters = parameters;
  info.lpDirectory = std::nullopt;
  info.nShow = kSwShowNormal;
  info.hInstApp = 0;
  if (!platform::CurrentOs().ShellExecuteEx(&info)) return 0;
  return info.hProcess;
}

}  // namespace wizard
