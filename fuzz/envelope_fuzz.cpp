// Fuzz target: DecryptEnvelope on arbitrary text, with and without a password, and the round trip
// through EncryptEnvelope for every cipher and digest.
//
// Byte 0 holds the options:
// - bit 0: decrypt with the password kPassword, else with none;
// - bit 1: the ANSI code page is 936, else 1252;
// - bit 2: round trip: bytes 1 and 2 pick the cipher and the digest, the rest (UTF-16LE) is a
//   plain text that must come back unchanged;
// - else bit 3: the rest is UTF-16LE text, else ANSI bytes read through the code page (the form
//   a package's manifest has).
// DecryptEnvelope promises never to throw, so any exception is a finding as well.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crypt/catalogue.h"
#include "crypt/envelope.h"
#include "platform/sim/sim_windows.h"

namespace {

using platform::Text;

constexpr char16_t kPassword[] = u"pa\u00DFword";

platform::SimWindows& Os(bool chinese) {
  static platform::SimWindows western(1252);
  static platform::SimWindows chinese_os(936);
  return chinese ? chinese_os : western;
}

Text Utf16(const std::uint8_t* data, std::size_t size) {
  Text text;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::uint8_t options = data[0];
  platform::SimWindows& os = Os((options & 2) != 0);
  platform::SetCurrentOs(&os);
  const Text password = (options & 1) != 0 ? Text(kPassword) : Text();

  if ((options & 4) != 0) {
    if (size < 3) return 0;
    const int cipher = data[1] % tvcrypt::kCipherCount;
    const int digest = data[2] % tvcrypt::kDigestCount;
    const Text plain = Utf16(data + 3, size - 3);
    const Text envelope = tvcrypt::EncryptEnvelope(plain, cipher, digest, password);
    // The manifest travels as ANSI bytes: the envelope must survive that as well.
    const Text carried = os.AnsiToWide(os.WideToAnsi(envelope));
    if (tvcrypt::DecryptEnvelope(carried, password) != plain) __builtin_trap();
    return 0;
  }

  const Text text =
      (options & 8) != 0
          ? Utf16(data + 1, size - 1)
          : os.AnsiToWide(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  (void)tvcrypt::DecryptEnvelope(text, password);
  return 0;
}
