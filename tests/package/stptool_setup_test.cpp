// stptool info, list, verify and extract on a setup program that carries a package: the package
// is found as the program's StpFile/SETUPPACKAGE resource and read in place.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "builder/memory_file.h"
#include "builder/pe_image.h"
#include "builder/resource_writer.h"
#include "platform/host.h"
#include "platform/little_endian.h"
#include "platform/text.h"
#include "tests/package/package_fixture.h"
#include "tests/package/stptool_fixture.h"

#ifdef STPTOOL_PATH

namespace pkgtest {
namespace {

namespace fs = std::filesystem;
using platform::WriteLe16;
using platform::WriteLe32;

// The smallest 32-bit program image the PE reader accepts: headers and one code section.
std::vector<std::uint8_t> MinimalProgram() {
  constexpr std::uint32_t kAlign = 512;
  std::vector<std::uint8_t> b(2 * kAlign, 0);
  b[0] = 'M';
  b[1] = 'Z';
  WriteLe32(&b[60], 64);          // e_lfanew
  WriteLe32(&b[64], 0x00004550);  // "PE\0\0"
  WriteLe16(&b[68], 0x14C);       // i386
  WriteLe16(&b[70], 1);           // one section
  WriteLe16(&b[84], 224);         // optional header size
  WriteLe16(&b[86], 0x0102);      // executable, 32-bit
  std::uint8_t* opt = &b[88];
  WriteLe16(opt, 0x10B);
  WriteLe32(opt + 16, 0x1000);    // entry point
  WriteLe32(opt + 28, 0x400000);  // image base
  WriteLe32(opt + 32, 0x1000);    // section alignment
  WriteLe32(opt + 36, kAlign);    // file alignment
  WriteLe32(opt + 56, 0x2000);    // size of image
  WriteLe32(opt + 60, kAlign);    // size of headers
  WriteLe16(opt + 68, 2);         // GUI
  WriteLe32(opt + 92, 16);        // data directories
  std::uint8_t* s = &b[88 + 224];
  std::copy_n(".text", 5, s);
  WriteLe32(s + 8, 0x10);
  WriteLe32(s + 12, 0x1000);
  WriteLe32(s + 16, kAlign);
  WriteLe32(s + 20, kAlign);
  WriteLe32(s + 36, 0x60000020);
  return b;
}

class StptoolSetupTest : public StptoolFixture {
 protected:
  // A program carrying product strings and, when given, a package file as its package resource.
  void MakeSetup(const fs::path& setup, const fs::path& package) {
    auto os = platform::CreateHostOs(1252);
    platform::ScopedOs scope(*os);
    builder::MemoryFile stub(MinimalProgram());
    const builder::PeImage image(stub);
    const auto strings = builder::StringTableResources(
        {{1001, u"ZephyrMain"}, {1005, u"西风笔记"}, {1011, u"2.5"}}, 2052);
    std::unique_ptr<platform::File> source;
    builder::StreamedResource streamed{
        builder::ResourceId::Name(u"StpFile"), builder::ResourceId::Name(u"SETUPPACKAGE"), 2052,
        [&](platform::File& out) {
          const std::string bytes = Slurp(package);
          out.Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        }};
    auto out = os->CreateFileForWrite(platform::HostPathToOsPath(setup.string()));
    ASSERT_TRUE(out);
    builder::WriteImageWithResources(stub, image, strings, package.empty() ? nullptr : &streamed,
                                     *out);
  }
};

TEST_F(StptoolSetupTest, CommandsReadThePackageInsideASetup) {
  Put(dir_ / "src" / "a.txt", "alpha");
  Put(dir_ / "src" / "sub" / "b.bin", Pattern(300'000, 5, false));
  ASSERT_EQ(Run("pack " + Q(dir_ / "p.stp") + " " + Q(dir_ / "src")).code, 0);
  MakeSetup(dir_ / "setup.exe", dir_ / "p.stp");

  Result r = Run("info " + Q(dir_ / "setup.exe"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("1001\tWindowClass\tZephyrMain\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1005\tDisplayNameCn\t西风笔记\n"), std::string::npos);
  EXPECT_NE(r.out.find("1004\tDisplayNameEn\t(none)\n"), std::string::npos);
  const std::string package_size = std::to_string(fs::file_size(dir_ / "p.stp"));
  EXPECT_NE(r.out.find("STPFILE\tSETUPPACKAGE\t2052\t" + package_size), std::string::npos);
  EXPECT_NE(r.out.find("STRING\t#63\t2052\t"), std::string::npos);

  r = Run("list " + Q(dir_ / "setup.exe"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, Run("list " + Q(dir_ / "p.stp")).out);

  r = Run("verify " + Q(dir_ / "setup.exe"));
  EXPECT_EQ(r.code, 0) << r.out << r.err;

  r = Run("extract " + Q(dir_ / "setup.exe") + " " + Q(dir_ / "unpacked") + " --quiet");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Slurp(dir_ / "unpacked" / "a.txt"), "alpha");
  EXPECT_EQ(Slurp(dir_ / "unpacked" / "sub" / "b.bin"), Slurp(dir_ / "src" / "sub" / "b.bin"));

  // A damaged byte inside the package, found where the package's bytes lie in the setup.
  std::string setup = Slurp(dir_ / "setup.exe");
  const size_t at = setup.find(Slurp(dir_ / "p.stp"));
  ASSERT_NE(at, std::string::npos);
  setup[at + 1000] = static_cast<char>(setup[at + 1000] ^ 0x40);
  Put(dir_ / "bad.exe", setup);
  r = Run("verify " + Q(dir_ / "bad.exe"));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out.rfind((dir_ / "bad.exe").string() + ": row 1 (sub\\b.bin): ", 0), 0u) << r.out;
}

TEST_F(StptoolSetupTest, ProgramsWithoutAPackageAreNamedInTheMessage) {
  MakeSetup(dir_ / "stub.exe", fs::path());
  for (const char* command : {"list", "verify"}) {
    const Result r = Run(std::string(command) + " " + Q(dir_ / "stub.exe"));
    EXPECT_EQ(r.code, 1) << command;
    EXPECT_NE(r.err.find((dir_ / "stub.exe").string() + " is a program without a setup package"),
              std::string::npos)
        << r.err;
  }
  EXPECT_EQ(Run("info " + Q(dir_ / "stub.exe")).code, 0);
  Put(dir_ / "MZ-but-not.exe", "MZ and then nothing a program has");
  const Result r = Run("verify " + Q(dir_ / "MZ-but-not.exe"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("MZ-but-not.exe: "), std::string::npos) << r.err;
  EXPECT_EQ(Run("info " + Q(dir_ / "src-missing")).code, 1);
}

}  // namespace
}  // namespace pkgtest

#endif  // STPTOOL_PATH
