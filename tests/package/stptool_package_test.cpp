// The stptool commands pack, list and extract, run as a user runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "tests/package/package_fixture.h"

#ifdef STPTOOL_PATH

namespace pkgtest {
namespace {

namespace fs = std::filesystem;

struct Result {
  int code;
  std::string out;
  std::string err;
};

class StptoolTest : public ::testing::Test {
 protected:
  StptoolTest() {
    dir_ = fs::temp_directory_path() /
           ("stptool-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  ~StptoolTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Put(const fs::path& p, const std::string& content) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
  }
  Result Run(const std::string& args) {
    const std::string cmd = std::string("'") + STPTOOL_PATH + "' " + args + " >'" +
                            (dir_ / "out").string() + "' 2>'" + (dir_ / "err").string() + "'";
    const int status = std::system(cmd.c_str());
    return {WEXITSTATUS(status), Slurp(dir_ / "out"), Slurp(dir_ / "err")};
  }
  std::string Q(const fs::path& p) { return "'" + p.string() + "'"; }

  fs::path dir_;
};

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
  r = Run("extract " + Q(dir_ / "p.stp") + " " + Q(dir_ / "out dir") + " --password secret");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.err.find("100%"), std::string::npos);
  for (const auto& [rel, content] : files) {
    EXPECT_EQ(Slurp(dir_ / "out dir" / rel), content) << rel;
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

  r = Run("extract --help");
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.out.find("usage: stptool extract"), std::string::npos);
}

}  // namespace
}  // namespace pkgtest

#endif  // STPTOOL_PATH
