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

// The length a path has once the file API has made it whole: empty and "." components dropped,
// ".." applied (stopping at the root), separators made single, no trailing one: "C:\a\.\b\..\"
// counts as "C:\a". This is the length the file API's limits (kPathLimit) apply to. A path
// with neither drive nor leading separator is relative to a current folder unknown here and is
// measured without it.
size_t FullPathLength(TextView path);

}  // namespace platform
