// Host paths held as UTF-8 text, the form the command line and the messages use, and the
// std::filesystem paths that open them: the same bytes on every host.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace builder {

inline std::filesystem::path HostPath(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

inline std::string Utf8Of(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

}  // namespace builder
