#include "platform/fs_util.h"

#include <vector>

namespace platform {

namespace {

size_t LastDelimiter(TextView path) { return path.find_last_of(u"\\:"); }

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

}  // namespace

Text FolderPart(TextView path) {
  size_t at = LastDelimiter(path);
  return at == TextView::npos ? Text() : Text(path.substr(0, at + 1));
}

Text LastComponent(TextView path) {
  size_t at = LastDelimiter(path);
  return at == TextView::npos ? Text(path) : Text(path.substr(at + 1));
}

bool ForceDirectories(const Text& path) {
  Os& os = CurrentOs();
  TextView dir(path);
  while (!dir.empty() && IsSeparator(dir.back())) dir.remove_suffix(1);
  if (dir.empty()) {
    os.SetLastError(kErrorPathNotFound);
    return false;
  }
  // A bare drive ("C:") is its root folder.
  if (dir.size() == 2 && dir[1] == u':') return os.DirectoryExists(Text(dir) + u'\\');
  Text folder(dir);
  if (os.DirectoryExists(folder)) return true;

  size_t cut = dir.find_last_of(u"\\/:");
  if (cut != TextView::npos) {
    // The parent keeps the ":" of a drive ("C:" for "C:\x"); separators are dropped.
    TextView parent = dir.substr(0, dir[cut] == u':' ? cut + 1 : cut);
    while (!parent.empty() && IsSeparator(parent.back())) parent.remove_suffix(1);
    // A UNC share or a rooted path ends the climb where nothing is left to create; so does a
    // name ending in ":" that is no drive ("a:"), whose parent would be itself.
    if (!parent.empty() && parent.size() < dir.size() && !ForceDirectories(Text(parent))) {
      return false;
    }
  }
  if (os.CreateDirectory(folder)) return true;
  // Created meanwhile, or a name such as "x\.." that denotes an existing folder.
  std::uint32_t error = os.GetLastError();
  if (error == kErrorAlreadyExists && os.DirectoryExists(folder)) return true;
  os.SetLastError(error);
  return false;
}

size_t FullPathLength(TextView path) {
  size_t root = 0;  // "X:\" of a drive, "\" or "\\" of a rooted or UNC path
  if (path.size() >= 2 && path[1] == u':') {
    root = 3;
    path.remove_prefix(2);
  } else if (!path.empty() && IsSeparator(path[0])) {
    root = path.size() >= 2 && IsSeparator(path[1]) ? 2 : 1;
  }
  std::vector<size_t> parts;  // lengths of the components kept
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsSeparator(path[end])) ++end;
    const TextView part = path.substr(start, end - start);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part.size());
    }
    start = end + 1;
  }
  size_t length = root;
  for (size_t part : parts) length += part + 1;
  return parts.empty() ? length : length - 1;
}

}  // namespace platform
