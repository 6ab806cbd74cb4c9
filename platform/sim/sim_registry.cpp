// The registry of the simulated Windows: two trees of keys in memory.
#include <algorithm>
#include <memory>
#include <vector>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_windows.h"

namespace platform {

using sim_detail::AsciiUpper;
using sim_detail::RegKey;
using sim_detail::UpToNul;

RegKey* SimWindows::KeyOf(Handle key, std::uint32_t* access) {
  if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) {
    if (access != nullptr) *access = kKeyAllAccess;
    return key == kHkeyCurrentUser ? hkcu_.get() : hklm_.get();
  }
  auto it = open_keys_.find(key);
  if (it == open_keys_.end()) return nullptr;
  if (access != nullptr) *access = it->second.access;
  return it->second.node;
}

LStatus SimWindows::OpenOrCreate(Handle root, const Text& sub_key_in, std::uint32_t access,
                                 bool create, Handle* key) {
  // As on Windows, a failed open leaves no handle behind: a caller that closes whatever it got
  // must not close a key left over from an earlier call.
  *key = 0;
  RegKey* node = KeyOf(root, nullptr);
  if (node == nullptr) return static_cast<LStatus>(kErrorInvalidHandle);
  TextView sub_key = UpToNul(sub_key_in);
  // Windows rejects a key path that begins with a backslash.
  if (!sub_key.empty() && sub_key[0] == u'\\') return static_cast<LStatus>(kErrorBadPathname);

  // Rights beyond reading are refused under HKEY_LOCAL_MACHINE without administrator rights.
  const std::uint32_t write_rights = access & ~kKeyRead & 0xFFFF;
  if (node->machine && !administrator_ && write_rights != 0) {
    return static_cast<LStatus>(kErrorAccessDenied);
  }

  std::vector<Text> parts;
  while (!sub_key.empty()) {
    auto sep = sub_key.find(u'\\');
    parts.emplace_back(sub_key.substr(0, sep));
    sub_key = sep == TextView::npos ? TextView() : sub_key.substr(sep + 1);
  }
  for (const auto& part : parts) {
    if (part.empty()) return static_cast<LStatus>(kErrorBadPathname);
    Text folded = AsciiUpper(part);
    auto it = node->children.find(folded);
    if (it == node->children.end()) {
      if (!create) return static_cast<LStatus>(kErrorFileNotFound);
      auto child = std::make_unique<RegKey>();
      child->name = part;
      child->machine = node->machine;
      it = node->children.emplace(folded, std::move(child)).first;
    }
    node = it->second.get();
  }
  Handle h = next_key_;
  next_key_ += 4;
  open_keys_[h] = OpenKey{node, access};
  *key = h;
  return kErrorSuccess;
}

LStatus SimWindows::RegCreateKeyEx(Handle root, const Text& sub_key, std::uint32_t /*options*/,
                                   std::uint32_t access, Handle* key) {
  return OpenOrCreate(root, sub_key, access, true, key);
}

LStatus SimWindows::RegOpenKeyEx(Handle root, const Text& sub_key, std::uint32_t access,
                                 Handle* key) {
  return OpenOrCreate(root, sub_key, access, false, key);
}

LStatus SimWindows::RegQueryValueEx(Handle key, const Text& name, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* size) {
  std::uint32_t access = 0;
  RegKey* node = KeyOf(key, &access);
  if (node == nullptr) return static_cast<LStatus>(kErrorInvalidHandle);
  if ((access & 0x1) == 0) return static_cast<LStatus>(kErrorAccessDenied);  // KEY_QUERY_VALUE
  auto it = node->values.find(AsciiUpper(UpToNul(name)));
  if (it == node->values.end()) return static_cast<LStatus>(kErrorFileNotFound);
  const auto& value = it->second;
  if (type != nullptr) *type = value.type;
  auto needed = static_cast<std::uint32_t>(value.data.size());
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return kErrorSuccess;
  }
  if (size == nullptr) return static_cast<LStatus>(kErrorInvalidParameter);
  if (*size < needed) {
    *size = needed;
    return static_cast<LStatus>(kErrorMoreData);
  }
  // The data is returned exactly as stored: no NUL is added to a string that lacks one.
  std::copy(value.data.begin(), value.data.end(), data);
  *size = needed;
  return kErrorSuccess;
}

LStatus SimWindows::RegSetValueEx(Handle key, const Text& name, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t size) {
  std::uint32_t access = 0;
  RegKey* node = KeyOf(key, &access);
  if (node == nullptr) return static_cast<LStatus>(kErrorInvalidHandle);
  if ((access & 0x2) == 0) return static_cast<LStatus>(kErrorAccessDenied);  // KEY_SET_VALUE
  if (data == nullptr && size != 0) return static_cast<LStatus>(kErrorInvalidParameter);
  Text n(UpToNul(name));
  auto& value = node->values[AsciiUpper(n)];
  value.name = n;
  value.type = type;
  value.data.assign(data, data + size);
  return kErrorSuccess;
}

LStatus SimWindows::RegCloseKey(Handle key) {
  if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) return kErrorSuccess;
  return open_keys_.erase(key) != 0 ? kErrorSuccess : static_cast<LStatus>(kErrorInvalidHandle);
}

LStatus SimWindows::RegDeleteKey(Handle root, const Text& sub_key_in) {
  TextView sub_key = UpToNul(sub_key_in);
  const auto sep = sub_key.rfind(u'\\');
  const Text parent_path(sep == TextView::npos ? TextView() : sub_key.substr(0, sep));
  const Text name(sep == TextView::npos ? sub_key : sub_key.substr(sep + 1));
  if (name.empty()) return static_cast<LStatus>(kErrorInvalidParameter);
  Handle parent = 0;
  // Deleting needs the right to change the parent key: refused under HKEY_LOCAL_MACHINE
  // without administrator rights, as a write would be.
  const LStatus opened = OpenOrCreate(root, parent_path, kKeyAllAccess, false, &parent);
  if (opened != kErrorSuccess) return opened;
  RegKey* node = open_keys_.at(parent).node;
  RegCloseKey(parent);
  auto it = node->children.find(AsciiUpper(name));
  if (it == node->children.end()) return static_cast<LStatus>(kErrorFileNotFound);
  // RegDeleteKeyW removes only a key without subkeys.
  if (!it->second->children.empty()) return static_cast<LStatus>(kErrorAccessDenied);
  deleted_keys_.push_back(std::move(it->second));
  node->children.erase(it);
  return kErrorSuccess;
}

void SimWindows::SetRegistryValue(Handle root, const Text& key_path, const Text& name,
                                  std::uint32_t type, Bytes data) {
  bool admin = administrator_;
  administrator_ = true;
  Handle key = 0;
  if (OpenOrCreate(root, key_path, kKeyAllAccess, true, &key) == kErrorSuccess) {
    RegSetValueEx(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
    RegCloseKey(key);
  }
  administrator_ = admin;
}

std::optional<SimWindows::RegValue> SimWindows::GetRegistryValue(Handle root, const Text& key_path,
                                                                 const Text& name) {
  Handle key = 0;
  if (OpenOrCreate(root, key_path, kKeyRead, false, &key) != kErrorSuccess) return std::nullopt;
  std::optional<RegValue> result;
  RegKey* node = open_keys_.at(key).node;
  auto it = node->values.find(AsciiUpper(UpToNul(name)));
  if (it != node->values.end()) result = RegValue{it->second.type, it->second.data};
  RegCloseKey(key);
  return result;
}

bool SimWindows::RegistryKeyExists(Handle root, const Text& key_path) {
  Handle key = 0;
  if (OpenOrCreate(root, key_path, kKeyRead, false, &key) != kErrorSuccess) return false;
  RegCloseKey(key);
  return true;
}

}  // namespace platform
