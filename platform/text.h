// Conversions between the product's UTF-16 text and UTF-8 (tools, tests, host paths).
#pragma once

#include <string>
#include <string_view>

#include "platform/os.h"

namespace platform {

// Invalid UTF-8 sequences become U+FFFD.
Text Utf8ToText(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string TextToUtf8(TextView text);
// ASCII-only literal helper for code that builds text from narrow literals.
Text AsciiToText(std::string_view ascii);

}  // namespace platform
