// Building a product's setup.exe from its description and the generic setup program (the stub):
// what `stptool build` does.
//
// Every input is checked before anything is written; the setup is written to a temporary file
// beside the output and renamed only once it has been read back and its package verified, so a
// failure leaves no output file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "builder/product_description.h"
#include "install/uninstall_record.h"
#include "package/package_format.h"

namespace builder {

// File names of the generic programs.
inline constexpr char kSetupStubName[] = "setup-stub.exe";
inline constexpr char kUninstStubName[] = "uninst-stub.exe";
// The uninstaller's name in the payload's root.
using install::kUninstallerName;

struct BuildOptions {
  std::string description;             // the product description file, as the user named it
  std::string output;                  // the setup.exe to write
  std::string stub_dir;                // the folder holding setup-stub.exe and uninst-stub.exe
  std::optional<std::string> payload;  // a payload folder in place of the description's
  std::optional<std::uint32_t> seed;   // fixed salt and initialisation vector
  // How the package's members are compressed (package::PackOptions).
  package::MemberCompressor compressor = package::MemberCompressor::kLibdeflate;
  int level = package::kDefaultPackLevel;
  int jobs = 0;
  // Called while the package is written: uncompressed bytes done, of total. May be empty.
  std::function<void(std::int64_t done, std::int64_t total)> on_progress;
};

struct BuildResult {
  int files = 0;                   // in the package, the uninstaller included
  std::int64_t payload_bytes = 0;  // their uninstalled size
  bool uninstaller_added = false;
  std::int64_t setup_bytes = 0;
  std::int64_t package_offset = 0;
  std::uint32_t package_bytes = 0;
};

// The input problems of a build, one message each (what, where, what is expected).
class BuildProblems : public std::runtime_error {
 public:
  explicit BuildProblems(std::vector<std::string> problems);
  const std::vector<std::string>& problems() const { return problems_; }

 private:
  std::vector<std::string> problems_;
};

// Builds the setup. Throws BuildProblems for bad inputs (nothing is written then) and
// platform::Exception or std::exception for failures while writing (the partial file is removed).
// Paths are host paths; the process's current Os (platform::CurrentOs()) is used for files.
BuildResult BuildSetup(const BuildOptions& options);

// The required space as display text: the payload's size rounded up, in KB below 1 MB and in MB
// with one decimal above ("820 KB", "1.2 MB").
platform::Text RequiredSpaceText(std::int64_t bytes);

// The INSTALLEDFILES resource: the paths (relative to the destination folder) in UTF-16LE, each
// line ended by CRLF.
std::vector<std::uint8_t> InstalledFilesResource(const std::vector<platform::Text>& paths);

}  // namespace builder
