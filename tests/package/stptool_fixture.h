// Runs the stptool program as a user runs it, in a scratch folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#ifdef STPTOOL_PATH

namespace pkgtest {

class StptoolFixture : public ::testing::Test {
 public:
  struct Result {
    int code;
    std::string out;
    std::string err;
  };

 protected:
  StptoolFixture() {
    dir_ = std::filesystem::temp_directory_path() /
           ("stptool-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~StptoolFixture() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  std::string Slurp(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void Put(const std::filesystem::path& p, const std::string& content) {
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
  }
  // stptool with ARGS (already quoted for the shell); its exit code and both outputs.
  Result Run(const std::string& args) {
    const std::string cmd = std::string("'") + STPTOOL_PATH + "' " + args + " >'" +
                            (dir_ / "out").string() + "' 2>'" + (dir_ / "err").string() + "'";
    const int status = std::system(cmd.c_str());
    return {WEXITSTATUS(status), Slurp(dir_ / "out"), Slurp(dir_ / "err")};
  }
  std::string Q(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

  std::filesystem::path dir_;
};

}  // namespace pkgtest

#endif  // STPTOOL_PATH
