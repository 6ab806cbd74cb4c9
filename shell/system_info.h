// What the setup asks of the system: fixed drives, free space, the system folder, and byte
// counts as the user reads them.
#pragma once

#include <cstdint>

#include "platform/os.h"

namespace shell {

using platform::Text;

// The upper-case letters of the fixed drives in drive order ("CD"); empty when there is none.
Text GetFixedDrives();

// Free bytes available to the user on the drive of a letter (either case), or -1 when the drive
// cannot be queried. Only the low 8 bits of (letter - 64) select the drive.
std::int64_t GetDriveFreeSpace(char16_t letter);

// A byte count as short text: "1023 Bytes", "2 KB", "4.8 MB", "3.5 GB". Halves go to the even
// neighbour; the decimal separator is the user locale's.
Text FormatByteSize(std::int64_t bytes);

// The Windows system folder with one trailing "\", or empty on failure.
Text GetSystemDir();

}  // namespace shell
