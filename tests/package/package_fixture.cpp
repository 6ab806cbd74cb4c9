#include "tests/package/package_fixture.h"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "crypt/envelope.h"

namespace pkgtest {

namespace fs = std::filesystem;

std::string Deflate(const std::string& data, int level) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                level) != Z_OK) {
    throw std::runtime_error("compress2 failed");
  }
  out.resize(size);
  return out;
}

std::string Pattern(size_t size, std::uint32_t seed, bool compressible) {
  static const char* const kWords[] = {"setup ", "package ",   "member ", "zlib ",
                                       "row ",   "folder\r\n", "file ",   "tail "};
  std::string out;
  out.reserve(size + 16);
  std::uint32_t x = seed * 2654435761u + 1;
  while (out.size() < size) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    if (compressible) {
      out += kWords[x % 8];
    } else {
      out += static_cast<char>(x >> 24);
    }
  }
  out.resize(size);
  return out;
}

std::string BuildPackage(const RawPackage& raw) {
  const Text envelope =
      tvcrypt::EncryptEnvelope(raw.manifest, raw.cipher, raw.digest, raw.password);
  const std::string manifest = platform::CurrentOs().WideToAnsi(envelope);
  std::string out = raw.members + manifest;
  const auto length = static_cast<std::uint32_t>(manifest.size());
  for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>(length >> shift);
  const std::vector<std::uint8_t> tail = package::MakeTail(raw.tail);
  out.append(tail.begin(), tail.end());
  return out;
}

PackageTest::PackageTest() {
  static std::atomic<int> counter{0};
  root_ = fs::temp_directory_path() /
          ("stp-package-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  fs::remove_all(root_);
  fs::create_directories(root_ / "Windows" / "system32");
  os_.MapDrive(u'C', root_);
  os_.SetCurrentDirectory(u"C:\\cwd");
  fs::create_directories(root_ / "cwd");
  fs::create_directories(root_ / "setup");
}

PackageTest::~PackageTest() {
  std::error_code ec;
  fs::remove_all(root_, ec);
}

fs::path PackageTest::HostPath(const Text& path) {
  auto p = os_.HostPath(path);
  if (!p) throw std::runtime_error("path outside the simulated drives");
  return *p;
}

void PackageTest::WriteFile(const Text& path, const std::string& content) {
  const fs::path host = HostPath(path);
  fs::create_directories(host.parent_path());
  std::ofstream(host, std::ios::binary) << content;
}

std::string PackageTest::ReadFile(const Text& path) {
  const fs::path host = HostPath(path);
  if (!fs::is_regular_file(host)) return "<missing>";
  std::ifstream in(host, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::pair<std::string, std::string>> PackageTest::TreeOf(const Text& folder) {
  const fs::path base = HostPath(folder);
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::recursive_directory_iterator(base)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files.emplace_back(fs::relative(entry.path(), base).generic_string(),
                       std::string(std::istreambuf_iterator<char>(in), {}));
  }
  std::sort(files.begin(), files.end());
  return files;
}

void PackageTest::Extract(const Text& password) {
  package::ExtractOptions options;
  options.decoder = decoder_;
  options.write_behind = write_behind_;
  options.system_dir = kSystemDir;
  package::ExtractPackage(
      kPackage, kTarget, password, [this](std::int32_t percent) { progress_.push_back(percent); },
      options);
}

}  // namespace pkgtest
