// The stptool commands pack, list and extract, run as a user runs them.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/package/package_fixture.h"
#include "tests/package/stptool_fixture.h"

#ifdef STPTOOL_PATH

namespace pkgtest {
namespace {

namespace fs = std::filesystem;

using Result = StptoolFixture::Result;

class StptoolTest : public StptoolFixture {};

TEST_F(StptoolTest, PackThenExtractReproducesTheTree) {
  const std::pair<std::string, std::string> files[] = {
      {"empty", ""},
      {"readme, first.txt", "hello"},
      {"bin/Grüße.dll", Pattern(300'000, 7, false)},
      {"bin/data/deep.txt", Pattern(200'000, 8, true)},
  };
  for (const auto& [rel, content] : files) Put(dir_ / "src" / rel, content);

  Result r = Run("pack " + Q(dir_ / "p.stp") + " " + Q(dir_ / "src") +
                 " --cipher Twofish --digest 4 --password secret --tail 29 --level 6");
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* decoder : {"", " --decoder zlib"}) {
    SCOPED_TRACE(decoder);
    fs::remove_all(dir_ / "out dir");
    r = Run("extract " + Q(dir_ / "p.stp") + " " + Q(dir_ / "out dir") + " --password secret" +
            decoder);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("100%"), std::string::npos);
    for (const auto& [rel, content] : files) {
      EXPECT_EQ(Slurp(dir_ / "out dir" / rel), content) << rel;
    }
  }

  r = Run("list " + Q(dir_ / "p.stp") + " --password secret");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out.rfind("properties\tPackage\t4\n", 0), 0u) << r.out;
  EXPECT_NE(r.out.find("folder\tname\tcompressed\tsize\tflat\n"), std::string::npos);
  EXPECT_NE(r.out.find("\treadme, first.txt\t"), std::string::npos);
  EXPECT_NE(r.out.find("bin\\data\\\tdeep.txt\t"), std::string::npos);
  EXPECT_NE(r.out.find("\t200000\t0\n"), std::string::npos);
}

TEST_F(StptoolTest, RowsFileMakesFlatAndSystemRows) {
  Put(dir_ / "payload" / "a.txt", "A");
  Put(dir_ / "payload" / "b.txt", "B");
  Put(dir_ / "rows.tsv",
      "sub\\\tkept\\a.txt\tpayload/a.txt\n"
      "ignored\\\tb.txt\tpayload/b.txt\tflat\n"
      "$System$\tsys.dll\tpayload/a.txt\n");
  Result r = Run("pack " + Q(dir_ / "p.stp") + " --rows " + Q(dir_ / "rows.tsv"));
  ASSERT_EQ(r.code, 0) << r.err;
  r = Run("list " + Q(dir_ / "p.stp"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("sub\\\tkept\\a.txt\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ignored\\\tb.txt\t"), std::string::npos);
  EXPECT_NE(r.out.find("\t1\t1\n"), std::string::npos);  // the flat row
  EXPECT_NE(r.out.find("$System$\tsys.dll\t"), std::string::npos);

  // Without --system-dir nothing is written and the message says what to give.
  r = Run("extract " + Q(dir_ / "p.stp") + " " + Q(dir_ / "target") + " --quiet");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("--system-dir"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "target" / "b.txt"));
  r = Run("extract " + Q(dir_ / "p.stp") + " " + Q(dir_ / "target") + " --quiet --system-dir " +
          Q(dir_ / "sys"));
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Slurp(dir_ / "target" / "sub" / "a.txt"), "A");
  EXPECT_EQ(Slurp(dir_ / "target" / "b.txt"), "B");
  EXPECT_EQ(Slurp(dir_ / "sys" / "sys.dll"), "A");

  // A system row that climbs out of the system folder is refused.
  Put(dir_ / "evil.tsv", "$System$..\\\tevil.txt\tpayload/a.txt\n");
  ASSERT_EQ(Run("pack " + Q(dir_ / "evil.stp") + " --rows " + Q(dir_ / "evil.tsv")).code, 0);
  r = Run("extract " + Q(dir_ / "evil.stp") + " " + Q(dir_ / "target") + " --quiet --system-dir " +
          Q(dir_ / "sys"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("leaves the system folder"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir_ / "evil.txt"));
}

TEST_F(StptoolTest, FailuresExitWithOneAndAMessage) {
  Put(dir_ / "junk.stp", "not a package at all");
  Result r = Run("extract " + Q(dir_ / "junk.stp") + " " + Q(dir_ / "t") + " --quiet");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("stptool extract: "), std::string::npos);

  r = Run("list " + Q(dir_ / "missing.stp"));
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("Cannot open"), std::string::npos);

  r = Run("pack " + Q(dir_ / "p.stp") + " " + Q(dir_) + " --cipher Enigma");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("unknown cipher"), std::string::npos);

  // Compression options out of range, and a level zlib does not have.
  for (const char* options : {"--level 13", "--level 10 --zlib", "--jobs 0", "--jobs x"}) {
    r = Run("pack " + Q(dir_ / "p.stp") + " " + Q(dir_) + " " + options);
    EXPECT_EQ(r.code, 2) << options;
    EXPECT_NE(r.err.find("bad --"), std::string::npos) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "p.stp"));

  r = Run("extract --help");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("usage: stptool extract"), std::string::npos);
  EXPECT_NE(r.out.find("--system-dir DIR"), std::string::npos);
}

// A disk that fills up while the package is written: exit code 1, a message, and no package
// left behind. (RLIMIT_FSIZE stands in for the full disk: with SIGXFSZ ignored, a write past it
// fails.)
TEST_F(StptoolTest, PackLeavesNoPackageWhenTheDiskFills) {
  for (int i = 0; i < 8; ++i)
    Put(dir_ / "src" / (std::to_string(i) + ".bin"), Pattern(100'000, i, false));
  for (const char* options : {"--jobs 1", "--jobs 4", "--zlib"}) {
    const std::string cmd = "trap '' XFSZ && ulimit -f 400 && '" STPTOOL_PATH "' pack " +
                            Q(dir_ / "p.stp") + " " + Q(dir_ / "src") + " " + options + " 2>" +
                            Q(dir_ / "err");
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 1) << options;
    EXPECT_NE(Slurp(dir_ / "err").find("Cannot write the package"), std::string::npos)
        << Slurp(dir_ / "err");
    EXPECT_FALSE(fs::exists(dir_ / "p.stp")) << options;
  }
}

TEST_F(StptoolTest, VerifySaysSoundOrListsProblems) {
  Put(dir_ / "src" / "a.txt", Pattern(100'000, 9, true));
  Put(dir_ / "src" / "sub" / "b.txt", "b");
  Result r = Run("pack " + Q(dir_ / "p.stp") + " " + Q(dir_ / "src"));
  ASSERT_EQ(r.code, 0) << r.err;
  r = Run("verify " + Q(dir_ / "p.stp"));
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_EQ(r.out, (dir_ / "p.stp").string() + ": sound\n");

  // One flipped byte inside the first member's deflate data.
  std::string bytes = Slurp(dir_ / "p.stp");
  bytes[100] = static_cast<char>(bytes[100] ^ 0x55);
  Put(dir_ / "bad.stp", bytes);
  r = Run("verify " + Q(dir_ / "bad.stp"));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out.rfind((dir_ / "bad.stp").string() + ": row 0 (a.txt): ", 0), 0u) << r.out;
  EXPECT_EQ(Slurp(dir_ / "bad.stp"), bytes);  // nothing written
}

TEST_F(StptoolTest, MessagesNameHostPaths) {
  // Errors from every layer name paths as the user writes them on this host, never the
  // simulated Windows' drive.
  Put(dir_ / "src" / "a.txt", "a");
  ASSERT_EQ(Run("pack " + Q(dir_ / "p.stp") + " " + Q(dir_ / "src")).code, 0);
  Put(dir_ / "blocker", "a file where a folder is needed");
  const std::string missing = (dir_ / "missing.stp").string();
  for (const std::string& args :
       {"list " + Q(missing), "verify " + Q(missing), "extract " + Q(missing) + " " + Q(dir_),
        "extract " + Q(dir_ / "p.stp") + " " + Q(dir_ / "blocker") + " --quiet"}) {
    const Result r = Run(args);
    EXPECT_EQ(r.code, 1) << args;
    EXPECT_EQ(r.err.find("Z:"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(dir_.string()), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace pkgtest

#endif  // STPTOOL_PATH
