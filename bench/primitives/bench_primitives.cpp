// Block cipher single-block encryption, ours next to Crypto++'s in the same run: 8-bit CFB costs
// one such call per byte, so this is the figure that decides how fast envelopes open.
//   cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DSTP_BENCH=ON
//   cmake --build build/bench --target bench_primitives &&
//   build/bench/bench/primitives/bench_primitives
#define CRYPTOPP_ENABLE_NAMESPACE_WEAK 1
#include <benchmark/benchmark.h>
#include <cryptopp/aes.h>
#include <cryptopp/arc4.h>
#include <cryptopp/blowfish.h>
#include <cryptopp/cast.h>
#include <cryptopp/cpu.h>
#include <cryptopp/des.h>
#include <cryptopp/idea.h>
#include <cryptopp/md5.h>
#include <cryptopp/sha.h>
#include <cryptopp/twofish.h>

#include <string>
#include <vector>

#include "crypt/primitives/blowfish.h"
#include "crypt/primitives/cast128.h"
#include "crypt/primitives/cast256.h"
#include "crypt/primitives/des.h"
#include "crypt/primitives/haval.h"
#include "crypt/primitives/idea.h"
#include "crypt/primitives/md5.h"
#include "crypt/primitives/rc4.h"
#include "crypt/primitives/rijndael.h"
#include "crypt/primitives/sha1.h"
#include "crypt/primitives/sha256.h"
#include "crypt/primitives/sha512.h"
#include "crypt/primitives/triple_des.h"
#include "crypt/primitives/twofish.h"

namespace {

using namespace tvcrypt::prim;

const uint8_t kKey[64] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xfe, 0xdc, 0xba,
                          0x98, 0x76, 0x54, 0x32, 0x10, 0x0f, 0x1e, 0x2d, 0x3c, 0x4b, 0x5a,
                          0x69, 0x78, 0x87, 0x96, 0xa5, 0xb4, 0xc3, 0xd2, 0xe1, 0xf0};

// Each iteration encrypts the previous output, as CFB does with its chaining value.
template <class C>
void Ours(benchmark::State& state, size_t keyBytes) {
  C c;
  c.SetKey(kKey, keyBytes);
  uint8_t block[C::kBlockBytes] = {};
  for (auto _ : state) {
    c.EncryptBlock(block, block);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(C::kBlockBytes));
}

template <class C>
void Theirs(benchmark::State& state, size_t keyBytes) {
  typename C::Encryption c(kKey, keyBytes);
  uint8_t block[C::BLOCKSIZE] = {};
  for (auto _ : state) {
    c.ProcessBlock(block);
    benchmark::DoNotOptimize(block);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(C::BLOCKSIZE));
}

// Registered in pairs so that the output puts each cipher's two figures next to each other.
template <class O, class T>
void Pair(const char* name, size_t keyBytes) {
  benchmark::RegisterBenchmark((std::string("Encrypt/") + name + "/ours").c_str(), Ours<O>,
                               keyBytes);
  benchmark::RegisterBenchmark((std::string("Encrypt/") + name + "/cryptopp").c_str(), Theirs<T>,
                               keyBytes);
}

// Crypto++ runs AES on the AES-NI instructions where the processor has them; setup.exe targets
// processors without them, so the table-driven path is the fair comparison. Crypto++ checks the
// flag at key set-up and on every block.
void TheirsAesTables(benchmark::State& state, size_t keyBytes) {
  CryptoPP::DetectX86Features();
  const bool had = CryptoPP::g_hasAESNI;
  CryptoPP::g_hasAESNI = false;
  Theirs<CryptoPP::AES>(state, keyBytes);
  CryptoPP::g_hasAESNI = had;
}

const bool kRegistered = [] {
  Pair<Blowfish, CryptoPP::Blowfish>("Blowfish", 20);
  Pair<Cast128, CryptoPP::CAST128>("Cast128", 16);
  Pair<Cast256, CryptoPP::CAST256>("Cast256", 32);
  Pair<Des, CryptoPP::DES>("DES", 8);
  Pair<TripleDes, CryptoPP::DES_EDE3>("TripleDES", 24);
  Pair<Rijndael, CryptoPP::AES>("Rijndael", 24);
  benchmark::RegisterBenchmark("Encrypt/Rijndael/cryptopp-tables", TheirsAesTables, size_t(24));
  Pair<Twofish, CryptoPP::Twofish>("Twofish", 24);
  Pair<Idea, CryptoPP::IDEA>("IDEA", 16);
  return true;
}();

void Rc4Ours(benchmark::State& state) {
  Rc4 rc4;
  rc4.SetKey(kKey, 20);
  std::vector<uint8_t> buf(size_t(state.range(0)));
  for (auto _ : state) {
    rc4.Process(buf.data(), buf.data(), buf.size());
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
void Rc4Theirs(benchmark::State& state) {
  CryptoPP::Weak::ARC4 rc4(kKey, 20);
  std::vector<uint8_t> buf(size_t(state.range(0)));
  for (auto _ : state) {
    rc4.ProcessData(buf.data(), buf.data(), buf.size());
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(Rc4Ours)->Arg(4096);
BENCHMARK(Rc4Theirs)->Arg(4096);

template <class H>
void DigestOurs(benchmark::State& state) {
  std::vector<uint8_t> buf(size_t(state.range(0)), 0x61);
  uint8_t d[H::kDigestBytes];
  H h;
  for (auto _ : state) {
    h.Init();
    h.Update(buf.data(), buf.size());
    h.Final(d);
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
template <class H>
void DigestTheirs(benchmark::State& state) {
  std::vector<uint8_t> buf(size_t(state.range(0)), 0x61);
  H h;
  uint8_t d[H::DIGESTSIZE];
  for (auto _ : state) {
    h.CalculateDigest(d, buf.data(), buf.size());
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(DigestOurs<Haval>)->Arg(4096);
BENCHMARK(DigestOurs<Md5>)->Arg(4096);
BENCHMARK(DigestTheirs<CryptoPP::Weak::MD5>)->Arg(4096);
BENCHMARK(DigestOurs<Sha1>)->Arg(4096);
BENCHMARK(DigestTheirs<CryptoPP::SHA1>)->Arg(4096);
BENCHMARK(DigestOurs<Sha256>)->Arg(4096);
BENCHMARK(DigestTheirs<CryptoPP::SHA256>)->Arg(4096);
BENCHMARK(DigestOurs<Sha512>)->Arg(4096);
BENCHMARK(DigestTheirs<CryptoPP::SHA512>)->Arg(4096);

}  // namespace
