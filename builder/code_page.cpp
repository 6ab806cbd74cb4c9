#include "builder/code_page.h"

#include <string>

namespace builder {

namespace {
constexpr std::uint32_t kUtf8 = 65001;  // holds every text
}  // namespace

std::optional<bool> CodePageHolds(std::uint32_t code_page, platform::TextView text) {
  if (code_page == kUtf8) return true;
  platform::Os& os = platform::CurrentOs();
  if (!os.IsValidCodePage(code_page)) return std::nullopt;
  if (text.empty()) return true;
  // Without best fit, so that a character the code page lacks is refused rather than written as
  // a look-alike; and back again, so that one the code page writes as another's bytes is too.
  bool used_default = false;
  const std::string bytes = os.WideToCodePage(code_page, text, &used_default);
  if (bytes.empty() || used_default) return false;
  const std::optional<platform::Text> back = os.CodePageToWide(code_page, bytes);
  return back.has_value() && *back == text;
}

}  // namespace builder
