// File-system helpers over the OS boundary, and the two path rules the product uses everywhere.
#pragma once

#include "platform/os.h"

namespace platform {

// Creates a folder together with every missing parent folder through CurrentOs(). True when the
// folder exists afterwards; on failure the last-error code is the one of the step that failed.
// "\" and "/" both separate; trailing separators are ignored.
bool ForceDirectories(const Text& path);

// The folder part of a path: everything up to and including the last "\" or ":"; empty when the
// path has neither.
Text FolderPart(TextView path);

// The last component of a path: everything after the last "\" or ":"; the whole path when it has
// neither.
Text LastComponent(TextView path);

}  // namespace platform
