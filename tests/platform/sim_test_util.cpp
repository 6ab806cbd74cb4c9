#include "tests/platform/sim_test_util.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace platform::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "stp-sim-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string ReadHostFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteHostFile(const std::filesystem::path& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

}  // namespace platform::testing
