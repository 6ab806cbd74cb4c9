// What `stptool build` checks of a product's inputs before it writes anything: the description,
// the pictures and licences it names, the payload folder and the name of the output. Every
// problem is collected as one message (what, where, what is expected), so that the publisher sees
// all of them at once; what the checks read is kept for the build.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "builder/pictures.h"
#include "builder/product_description.h"
#include "builder/setup_builder.h"
#include "package/package_format.h"

namespace builder {

struct PayloadFile {
  package::ManifestRow row;  // folder "sub\" and name
  std::string host_path;     // for reading and for messages
  std::int64_t size = 0;
};

struct Icon {
  std::vector<IconImage> images;
};

// Everything the checks have read, ready to be written.
struct Inputs {
  ProductDescription d;
  Bytes banner_cn, banner_en, header_icon;
  Icon app_icon, file_icon;
  std::vector<PayloadFile> payload;  // in package order
  bool payload_has_uninstaller = false;
};

// Reads and checks the description, the pictures, the licences and the payload (options.payload
// in place of the description's), appending every problem to problems. Throws BuildProblems when
// the description file itself cannot be read.
Inputs CheckInputs(const BuildOptions& options, std::vector<std::string>& problems);

// A licence file's bytes as the text the wizard shows: UTF-8 (a BOM is dropped), line ends made
// CRLF, every other character kept. nullopt, with why set, when the file cannot be one.
std::optional<Text> LicenseText(std::string_view bytes, std::string* why);

// The name of the setup to write: not a folder, and in a folder that exists.
void CheckOutputPath(const std::string& output, std::vector<std::string>& problems);

}  // namespace builder
