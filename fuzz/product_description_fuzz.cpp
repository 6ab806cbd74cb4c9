// Fuzz target: the product description reader on arbitrary text. Only problems are expected, as
// sentences that begin with the file's name; anything else (a crash, a sanitizer report, an
// exception) is a finding. A description read without problems must pass the reader's own name
// checks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "builder/product_description.h"
#include "platform/host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The code-page checks convert through the process's Os, as in stptool.
  static const std::unique_ptr<platform::Os> os = platform::CreateHostOs(1252);
  static const platform::ScopedOs scope(*os);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string path = "in/product.ini";
  std::vector<std::string> problems;
  const builder::ProductDescription description =
      builder::ParseProductDescription(text, path, &problems);
  for (const std::string& problem : problems) {
    if (problem.compare(0, path.size() + 1, path + ":") != 0) __builtin_trap();
  }
  if (problems.empty()) {
    if (!builder::CheckDisplayName(description.product.DisplayNameEn).empty() ||
        !builder::CheckDisplayName(description.product.DisplayNameCn).empty()) {
      __builtin_trap();
    }
    if (description.cipher < 0 || description.digest < 0) __builtin_trap();
    if (!builder::CheckFileName(description.product.ExeBaseName + u".exe").empty())
      __builtin_trap();
    // Publisher values given are sound; absent ones keep their defaults.
    if (!builder::CheckPublisherName(description.product.PublisherName).empty() ||
        !builder::CheckPublisherUrl(description.product.PublisherUrlCn).empty() ||
        !builder::CheckPublisherFolder(description.product.PublisherFolder, description.code_page)
             .empty()) {
      __builtin_trap();
    }
  }
  return 0;
}
