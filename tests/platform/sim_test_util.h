// A scratch host folder per test, removed afterwards, and short-hand for UTF-16 literals.
#pragma once

#include <filesystem>
#include <string>

#include "platform/os.h"

namespace platform::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Bytes of a host file, or "<missing>".
std::string ReadHostFile(const std::filesystem::path& path);
void WriteHostFile(const std::filesystem::path& path, const std::string& content);

}  // namespace platform::testing
