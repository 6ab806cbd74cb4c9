#include "shell/registry.h"

#include <vector>

#include "platform/errors.h"
#include "platform/text.h"
#include "shell/registry_key.h"

namespace shell {

using platform::CurrentOs;
using platform::EOsError;

namespace {

Text WithoutLeadingBackslash(const Text& key_path) {
  return (!key_path.empty() && key_path[0] == u'\\') ? key_path.substr(1) : key_path;
}

Text Quoted(const char* prefix, const Text& name) {
  return platform::AsciiToText(prefix) + name + u"'";
}

// Opens or creates a key with full access; false when that fails.
bool CreateKey(Handle root, const Text& key_path, KeyGuard* key, platform::LStatus* status) {
  *status = CurrentOs().RegCreateKeyEx(root, WithoutLeadingBackslash(key_path),
                                       platform::kRegOptionNonVolatile, platform::kKeyAllAccess,
                                       key->out());
  if (*status != platform::kErrorSuccess) *key->out() = 0;
  return *status == platform::kErrorSuccess;
}

}  // namespace

bool RegCreateKeyPath(Handle root, const Text& key_path) {
  KeyGuard key;
  platform::LStatus status = 0;
  if (!CreateKey(root, key_path, &key, &status)) {
    throw EOsError(platform::AsciiToText("Failed to create key ") + key_path,
                   static_cast<std::uint32_t>(status));
  }
  return true;
}

bool RegWriteStringValue(Handle root, const Text& key_path, const Text& name, const Text& value) {
  KeyGuard key;
  platform::LStatus status = 0;
  if (!CreateKey(root, key_path, &key, &status)) return false;
  // REG_SZ data is the UTF-16LE text followed by one NUL character.
  std::vector<std::uint8_t> data;
  data.reserve((value.size() + 1) * 2);
  for (char16_t c : value) {
    data.push_back(static_cast<std::uint8_t>(c & 0xFF));
    data.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  data.push_back(0);
  data.push_back(0);
  status = CurrentOs().RegSetValueEx(key.get(), name, platform::kRegSz, data.data(),
                                     static_cast<std::uint32_t>(data.size()));
  if (status != platform::kErrorSuccess) {
    throw EOsError(Quoted("Failed to set data for '", name), static_cast<std::uint32_t>(status));
  }
  return true;
}

Text ReadStringValue(Handle key, const Text& name) {
  platform::Os& os = CurrentOs();
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (os.RegQueryValueEx(key, name, &type, nullptr, &size) != platform::kErrorSuccess ||
      static_cast<std::int32_t>(size) <= 0) {
    return Text();
  }
  // The buffer holds every byte the value has, so an odd size cannot overrun it, and the text is
  // taken from the bytes actually returned, so a value without a NUL ends with its data.
  std::vector<std::uint8_t> data(size);
  std::uint32_t got = size;
  platform::LStatus status = os.RegQueryValueEx(key, name, &type, data.data(), &got);
  if (status != platform::kErrorSuccess) {
    throw EOsError(Quoted("Failed to get data for '", name), static_cast<std::uint32_t>(status));
  }
  if (type != platform::kRegSz && type != platform::kRegExpandSz) {
    throw EOsError(Quoted("Invalid data type for '", name), 0);
  }
  Text text;
  size_t units = std::min<size_t>(got, data.size()) / 2;
  for (size_t i = 0; i < units; ++i) {
    char16_t c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (c == u'\0') break;
    text.push_back(c);
  }
  return text;
}

Text RegReadStringValue(Handle root, const Text& key_path, const Text& name) {
  KeyGuard key;
  // A key that cannot be opened (missing, or not writable by this user) reads as empty.
  if (CurrentOs().RegOpenKeyEx(root, WithoutLeadingBackslash(key_path), platform::kKeyAllAccess,
                               key.out()) != platform::kErrorSuccess) {
    *key.out() = 0;
    return Text();
  }
  return ReadStringValue(key.get(), name);
}

}  // namespace shell
