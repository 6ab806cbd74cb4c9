// DecryptEnvelope of a 4 KB manifest, one run per cipher (SHA-256 digest, empty password).
// 8-bit CFB costs one block encryption per byte, so the block cipher's speed dominates.
#include <benchmark/benchmark.h>

#include "crypt/envelope.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"

namespace {

platform::Text Manifest4k() {
  platform::Text text;
  for (int row = 0; text.size() < 2048; ++row) {  // 2048 UTF-16 units = 4096 bytes
    text += u"bin\\,file" + platform::Text(1, static_cast<char16_t>(u'a' + row % 26)) +
            u".dll,12345,67890|";
  }
  text.resize(2048);
  return text;
}

void BM_DecryptEnvelope(benchmark::State& state) {
  platform::SimWindows os(1252);
  platform::ScopedOs scope(os);
  const int cipher = static_cast<int>(state.range(0));
  const platform::Text plain = Manifest4k();
  const platform::Text envelope = tvcrypt::EncryptEnvelope(plain, cipher, 3, u"");
  state.SetLabel(platform::TextToUtf8(tvcrypt::CreateCipherById(cipher)->GetAlgorithm()));
  for (auto _ : state) {
    platform::Text out = tvcrypt::DecryptEnvelope(envelope, u"");
    if (out != plain) state.SkipWithError("envelope did not open to its plain text");
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(2 * plain.size()));
}
BENCHMARK(BM_DecryptEnvelope)->DenseRange(0, 8)->Unit(benchmark::kMicrosecond);

}  // namespace
