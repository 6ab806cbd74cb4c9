// Fuzz target: ExtractPackage on arbitrary package bytes, over a simulated Windows whose drive C:
// is a scratch folder.
//
// The first input byte picks the mode:
// - even: the rest is the package file as it is (exercises the tail, the length field and what
//   decryption makes of random bytes);
// - odd: the rest is "manifest text" NUL "members": the text is encrypted into a real envelope,
//   so the rows reach the extraction loop (destinations, sizes, zlib, path checks).
// Inputs whose rows ask for more than 1 MiB of output are skipped to keep the disk quiet.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "crypt/envelope.h"
#include "package/data_table.h"
#include "package/extract.h"
#include "package/package_format.h"
#include "platform/errors.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
using platform::Text;

constexpr std::int64_t kMaxOutput = 1 << 20;

struct World {
  fs::path root;
  platform::SimWindows os;
  World() {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    root = base / ("stp-package-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(root / "Windows" / "system32");
    os.MapDrive(u'C', root);
    os.SetSystemDirectory(u"C:\\Windows\\system32");
    fs::create_directories(root / "cwd");
    os.SetCurrentDirectory(u"C:\\cwd");
    platform::SetCurrentOs(&os);
  }
  ~World() {
    platform::SetCurrentOs(nullptr);
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};

World& TheWorld() {
  static World world;
  return world;
}

void ResetDrive(const fs::path& root) {
  for (const auto& entry : fs::directory_iterator(root)) fs::remove_all(entry.path());
  fs::create_directories(root / "Windows" / "system32");
  fs::create_directories(root / "cwd");
}

// False when the rows of the manifest ExtractPackage will read ask for more than kMaxOutput bytes.
bool OutputIsSmall(platform::Os& os, const Text& path) {
  try {
    auto file = os.OpenFileForRead(path);
    if (!file) return true;
    const package::ManifestLocation loc = package::LocateManifest(*file);
    if (loc.empty) return true;
    const Text plain =
        tvcrypt::DecryptEnvelope(os.AnsiToWide(package::ReadManifestBytes(*file, loc)), Text());
    tvdata::TDataTable table(Text(), tvdata::TColumnSet{package::kColName});
    table.Init(plain);
    std::int64_t total = 0;
    for (int i = 0; i < table.ItemCount(); ++i) {
      if (table.Items(i).ItemCount() <= package::kColSize) return true;
      total += table.Items(i).Items(package::kColSize).Value();
    }
    return total <= kMaxOutput;
  } catch (const platform::Exception&) {
    return true;  // ExtractPackage fails the same way before writing anything large
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  World& world = TheWorld();
  ResetDrive(world.root);

  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    const size_t nul = bytes.find('\0');
    const std::string text = bytes.substr(0, nul);
    const std::string members = nul == std::string::npos ? std::string() : bytes.substr(nul + 1);
    // RC4 with MD5: the cheapest pair, so the fuzzer spends its time in the extractor.
    const Text envelope = tvcrypt::EncryptEnvelope(platform::Utf8ToText(text), 6, 1, Text());
    const std::string manifest = world.os.WideToAnsi(envelope);
    bytes = members + manifest;
    const auto length = static_cast<std::uint32_t>(manifest.size());
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(length >> shift);
    bytes += "\x0A\x14\x02";
  }
  std::ofstream(world.root / "Setup.stp", std::ios::binary) << bytes;

  const Text package_path = u"C:\\Setup.stp";
  if (!OutputIsSmall(world.os, package_path)) return 0;
  try {
    package::ExtractPackage(package_path, u"C:\\target\\", Text(), [](std::int32_t percent) {
      if (percent < 0 || percent > 100) __builtin_trap();
    });
  } catch (const platform::Exception&) {
    // Bad packages end in the product's own errors; anything else escapes and is a finding.
  }
  return 0;
}
