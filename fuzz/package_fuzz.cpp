// Fuzz target: ExtractPackage on arbitrary package bytes, over a simulated Windows whose drive C:
// is kept in memory and mapped afresh for every input (a copy of a prepared image), so an input
// costs no host file-system calls.
//
// The first input byte picks the mode:
// - even: the rest is the package file as it is (exercises the tail, the length field and what
//   decryption makes of random bytes);
// - odd: the rest is "manifest text" NUL "members": the text is encrypted into a real envelope,
//   so the rows reach the extraction loop (destinations, sizes, zlib, path checks).
// The drive holds the package and kMaxOutput bytes more: rows that ask for more output end in a
// failed write, the product's own error, instead of filling memory.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "crypt/catalogue.h"
#include "crypt/envelope.h"
#include "package/extract.h"
#include "platform/errors.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"

namespace {

using platform::Text;

constexpr std::int64_t kMaxOutput = 1 << 20;
// Where the system-folder rows go; it holds one file already (see MakeDrive).
const Text kSystemDir = u"C:\\Windows\\system32\\";

platform::SimWindows& TheOs() {
  static platform::SimWindows* os = [] {
    static platform::SimWindows sim;
    sim.SetCurrentDirectory(u"C:\\cwd");
    platform::SetCurrentOs(&sim);
    return &sim;
  }();
  return *os;
}

void Require(bool ok) {
  if (!ok) __builtin_trap();  // the fixture itself failed
}

// A fresh drive C: with the system folder (holding one file, so that a system row can find its
// file already there), a current directory and the package. The folders and that file are built
// once and mapped as a copy for every input.
void MakeDrive(platform::SimWindows& os, const std::string& package) {
  static const platform::SimWindows::MemoryDriveImage image = [&os] {
    os.MapMemoryDrive(u'C');
    for (const Text& folder : {Text(u"C:\\Windows"), kSystemDir, Text(u"C:\\cwd")}) {
      Require(os.CreateDirectory(folder));
    }
    Require(os.CreateFileForWrite(kSystemDir + u"exists.dll") != nullptr);
    platform::SimWindows::MemoryDriveImage saved = os.SaveMemoryDrive(u'C');
    os.UnmapDrive(u'C');
    return saved;
  }();
  Require(os.MapMemoryDrive(u'C', image, kMaxOutput + static_cast<std::int64_t>(package.size())));
  auto file = os.CreateFileForWrite(u"C:\\Setup.stp");
  Require(file != nullptr &&
          file->Write(package.data(), static_cast<std::uint32_t>(package.size())));
}

// The package bytes of the manifest envelope for text. RC4 with MD5 is the cheapest pair, and
// fixed choices make the envelope a function of the text: an input always gives the same package,
// and envelopes are kept for the texts seen lately, so that mutations of the members part of an
// input encrypt nothing. A slot's strings are replaced, not added, so the allocations of an input
// stay balanced (libFuzzer reruns an input that keeps memory, to look for a leak).
const std::string& ManifestBytes(platform::SimWindows& os, const std::string& text) {
  struct Entry {
    bool filled = false;
    std::string text;
    std::string manifest;
  };
  static std::array<Entry, 256> recent;
  Entry& entry = recent[std::hash<std::string>{}(text) % recent.size()];
  if (!entry.filled || entry.text != text) {
    tvcrypt::EnvelopeOptions fixed;
    fixed.salt = u"fuzzer";
    fixed.cipher_base = u'A';
    fixed.digest_base = u'a';
    entry.manifest = os.WideToAnsi(tvcrypt::EncryptEnvelope(
        platform::Utf8ToText(text), tvcrypt::kRc4, tvcrypt::kMd5, Text(), fixed));
    entry.text = text;
    entry.filled = true;
  }
  return entry.manifest;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  platform::SimWindows& os = TheOs();

  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    const size_t nul = bytes.find('\0');
    const std::string text = bytes.substr(0, nul);
    const std::string members = nul == std::string::npos ? std::string() : bytes.substr(nul + 1);
    const std::string& manifest = ManifestBytes(os, text);
    bytes = members + manifest;
    const auto length = static_cast<std::uint32_t>(manifest.size());
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(length >> shift);
    bytes += "\x0A\x14\x02";
  }
  MakeDrive(os, bytes);

  package::ExtractOptions options;
  options.system_dir = kSystemDir;
  try {
    package::ExtractPackage(
        u"C:\\Setup.stp", u"C:\\target\\", Text(),
        [](std::int32_t percent) {
          if (percent < 0 || percent > 100) __builtin_trap();
        },
        options);
  } catch (const platform::Exception&) {
    // Bad packages end in the product's own errors; anything else escapes and is a finding.
  }
  // Whatever the rows said, the package is still there and still whole.
  auto package = os.OpenFileForRead(u"C:\\Setup.stp");
  if (!package || package->Size() != static_cast<std::int64_t>(bytes.size())) __builtin_trap();
  package.reset();
  // Freed now rather than at the next input, so that libFuzzer sees every allocation of an input
  // released within it and does not rerun it to look for a leak.
  os.UnmapDrive(u'C');
  return 0;
}
