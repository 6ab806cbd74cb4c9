// The package named on the command line: a package file, or a setup program that carries one as
// its StpFile/SETUPPACKAGE resource. The package inside a setup is read in place.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "builder/pe_image.h"
#include "package/verify.h"
#include "platform/os.h"

namespace stptool {

class PackageSource {
 public:
  // Opens host_path through the current Os. A file that begins with "MZ" is read as a Windows
  // program and must carry the package resource. Throws platform::Exception subclasses with a
  // message naming host_path as given.
  explicit PackageSource(const std::string& host_path);

  platform::File& package() { return range_ ? *range_ : *file_; }
  platform::File& file() { return *file_; }
  // The program's image when the file is a setup program.
  const std::optional<builder::PeImage>& image() const { return image_; }

 private:
  std::unique_ptr<platform::File> file_;
  std::optional<builder::PeImage> image_;
  std::unique_ptr<package::FileRange> range_;
};

// True when the file begins with the "MZ" signature of a Windows program.
bool IsProgram(platform::File& file);

}  // namespace stptool
