// What the stream check of the whole-member path costs next to the decoders: every file of a
// folder is compressed in memory as the packer does (zlib, level 6), then each round times, in
// CPU seconds of this process, libdeflate's decode of every member, the check
// (KeepsToZlibRules) over every member and zlib's one-shot inflate of every member. Prints the
// fastest of the rounds for each, so that other work on the machine inflates them least.
//
// usage: package_check_cost FOLDER [ROUNDS]
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "package/deflate_check.h"

namespace {

struct Member {
  std::string stream;
  size_t size = 0;
};

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "package_check_cost: %s\n", what);
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) Die("usage: package_check_cost FOLDER [ROUNDS]");
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  std::vector<Member> members;
  size_t total_in = 0;
  size_t total_out = 0;
  size_t largest = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[1])) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Member m;
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    m.stream.resize(size);
    if (compress2(reinterpret_cast<Bytef*>(m.stream.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  6) != Z_OK) {
      Die("compress2 failed");
    }
    m.stream.resize(size);
    m.size = data.size();
    total_in += m.stream.size();
    total_out += m.size;
    largest = std::max(largest, m.size);
    members.push_back(std::move(m));
  }
  std::vector<unsigned char> out(largest);
  libdeflate_decompressor* const decompressor = libdeflate_alloc_decompressor();
  if (!decompressor) Die("libdeflate_alloc_decompressor failed");

  double best_libdeflate = 1e9, best_check = 1e9, best_zlib = 1e9;
  for (int round = 0; round < rounds; ++round) {
    double t0 = CpuSeconds();
    for (const Member& m : members) {
      size_t produced = 0;
      if (libdeflate_zlib_decompress(decompressor, m.stream.data(), m.stream.size(), out.data(),
                                     m.size, &produced) != LIBDEFLATE_SUCCESS) {
        Die("libdeflate refused a member");
      }
    }
    double t1 = CpuSeconds();
    for (const Member& m : members) {
      if (!package::KeepsToZlibRules(
              {reinterpret_cast<const std::uint8_t*>(m.stream.data()), m.stream.size()})) {
        Die("the check refused a member that zlib wrote");
      }
    }
    double t2 = CpuSeconds();
    for (const Member& m : members) {
      uLongf size = static_cast<uLongf>(m.size);
      if (uncompress(out.data(), &size, reinterpret_cast<const Bytef*>(m.stream.data()),
                     static_cast<uLong>(m.stream.size())) != Z_OK) {
        Die("zlib refused a member");
      }
    }
    double t3 = CpuSeconds();
    best_libdeflate = std::min(best_libdeflate, t1 - t0);
    best_check = std::min(best_check, t2 - t1);
    best_zlib = std::min(best_zlib, t3 - t2);
  }
  libdeflate_free_decompressor(decompressor);
  std::printf("%zu members, %.1f MB compressed, %.1f MB inflated; fastest of %d rounds, CPU s:\n",
              members.size(), total_in / 1e6, total_out / 1e6, rounds);
  std::printf(
      "libdeflate %.3f  check %.3f  zlib %.3f  (check / libdeflate %.2f, "
      "(libdeflate + check) / zlib %.2f)\n",
      best_libdeflate, best_check, best_zlib, best_check / best_libdeflate,
      (best_libdeflate + best_check) / best_zlib);
  return 0;
}
