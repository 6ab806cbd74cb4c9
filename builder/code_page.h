// Whether a Windows ANSI code page can hold a text, independent of the code page of the machine
// the builder runs on.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/os.h"

namespace builder {

// True when text converts to the code page and back unchanged; nullopt when this system does not
// know the code page. Converts through platform::CurrentOs().
std::optional<bool> CodePageHolds(std::uint32_t code_page, platform::TextView text);

}  // namespace builder
