// The least work an extractor must do: read each member with plain POSIX reads, inflate it with
// zlib through fixed buffers and write the output with plain writes. It finds the member sizes
// with the package library (a few kilobytes of manifest) and then leaves the library alone, so
// `stptool extract` can be timed against it.
//
// usage: package_baseline PACKAGE OUTDIR
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "package/data_table.h"
#include "package/package_format.h"
#include "platform/host.h"
#include "platform/text.h"

namespace {

constexpr size_t kChunk = 256 * 1024;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "package_baseline: %s\n", what.c_str());
  std::exit(1);
}

struct Member {
  std::string path;  // relative output path
  long long compressed;
  long long size;
};

std::vector<Member> ReadRows(const std::string& package_path) {
  auto os = platform::CreateHostOs(1252);
  platform::ScopedOs scope(*os);
  auto file = os->OpenFileForRead(platform::HostPathToOsPath(package_path));
  if (!file) Die("cannot open " + package_path);
  const package::ManifestLocation loc = package::LocateManifest(*file);
  const std::unique_ptr<tvdata::TDataTable> manifest =
      package::ManifestTable(package::ReadManifestText(*file, loc, platform::Text()));
  tvdata::TDataTable& table = *manifest;
  std::vector<Member> members;
  for (int i = 0; i < table.ItemCount(); ++i) {
    tvdata::TRow& row = table.Items(i);
    std::string rel = platform::TextToUtf8(row.Items(0).Text() + row.Items(1).Text());
    for (char& c : rel) c = c == '\\' ? '/' : c;
    members.push_back({rel, row.Items(2).Value(), row.Items(3).Value()});
  }
  return members;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) Die("usage: package_baseline PACKAGE OUTDIR");
  const std::vector<Member> members = ReadRows(argv[1]);
  const std::filesystem::path out_dir = argv[2];

  const int in = ::open(argv[1], O_RDONLY);
  if (in < 0) Die("cannot open the package");
  std::vector<unsigned char> in_buf(kChunk), out_buf(kChunk);
  for (const Member& m : members) {
    const std::filesystem::path path = out_dir / m.path;
    std::filesystem::create_directories(path.parent_path());
    const int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) Die("cannot create " + path.string());
    z_stream zs{};
    if (inflateInit(&zs) != Z_OK) Die("inflateInit");
    long long in_left = m.compressed;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
      if (zs.avail_in == 0) {
        if (in_left == 0) break;
        const ssize_t got =
            ::read(in, in_buf.data(), in_left < (long long)kChunk ? in_left : kChunk);
        if (got <= 0) Die("short package");
        in_left -= got;
        zs.next_in = in_buf.data();
        zs.avail_in = static_cast<uInt>(got);
      }
      zs.next_out = out_buf.data();
      zs.avail_out = kChunk;
      rc = inflate(&zs, Z_NO_FLUSH);
      if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR) Die("corrupt member");
      const size_t produced = kChunk - zs.avail_out;
      if (produced && ::write(out, out_buf.data(), produced) != static_cast<ssize_t>(produced)) {
        Die("write failed");
      }
    }
    inflateEnd(&zs);
    ::close(out);
  }
  ::close(in);
  return 0;
}
