// Shared set-up for the package tests: a simulated Windows over a scratch folder, and builders of
// package bytes (members, encrypted manifest, length field, tail) that tests can damage at will.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "package/extract.h"
#include "package/package_format.h"
#include "platform/os.h"
#include "platform/sim/sim_windows.h"

namespace pkgtest {

using platform::Text;

inline const Text kPackage = u"C:\\setup\\Setup.stp";
inline const Text kTarget = u"C:\\App\\";
inline const Text kSystemDir = u"C:\\Windows\\system32\\";

// zlib stream of data at the given level.
std::string Deflate(const std::string& data, int level = 9);
// Deterministic bytes: text-like (compressible) or noise (incompressible).
std::string Pattern(size_t size, std::uint32_t seed, bool compressible);

// Package bytes: the members as given, then the manifest (plain table text encrypted into an
// envelope), its length field and a tail.
struct RawPackage {
  RawPackage(std::string m, Text text, package::TailShape shape = package::TailShape::kTail3)
      : members(std::move(m)), manifest(std::move(text)), tail(shape) {}
  std::string members;
  Text manifest;
  package::TailShape tail;
  int cipher = 5;
  int digest = 3;
  Text password;
};
std::string BuildPackage(const RawPackage& raw);

class PackageTest : public ::testing::Test {
 protected:
  PackageTest();
  ~PackageTest() override;

  std::filesystem::path HostPath(const Text& path);
  void WriteFile(const Text& path, const std::string& content);
  // The file's bytes, or "<missing>".
  std::string ReadFile(const Text& path);
  bool FolderExists(const Text& path) { return os_.DirectoryExists(path); }
  // Every file under a host folder, as relative generic path -> bytes.
  std::vector<std::pair<std::string, std::string>> TreeOf(const Text& folder);

  void WritePackage(const RawPackage& raw) { WriteFile(kPackage, BuildPackage(raw)); }
  // Runs ExtractPackage on kPackage into kTarget with decoder_ and write_behind_, recording
  // progress in progress_.
  void Extract(const Text& password = Text());

  std::filesystem::path root_;
  platform::SimWindows os_;
  platform::ScopedOs scope_{os_};
  std::vector<std::int32_t> progress_;
  package::MemberDecoder decoder_ = package::MemberDecoder::kWholeMember;
  bool write_behind_ = false;
};

}  // namespace pkgtest
