// Registry helpers over the OS boundary.
//
// Every registry routine opens and closes its own key within the call, also when it raises. Keys
// are opened with full access (KEY_ALL_ACCESS), for reading too, so a process that may not write
// HKEY_LOCAL_MACHINE reads it as empty. A key path may start with one "\", which is dropped.
// Failures are raised as platform::EOsError carrying the message and the status code.
#pragma once

#include <cstdint>

#include "platform/os.h"

namespace shell {

using platform::Handle;
using platform::Text;

// Creates the key (or opens an existing one) and closes it again. Raises "Failed to create key %s"
// (the path as passed) when that fails; never returns false.
bool RegCreateKeyPath(Handle root, const Text& key_path);

// Writes a REG_SZ value (the text and one NUL), creating the key if missing. False when the key
// can neither be opened nor created; raises "Failed to set data for '%s'" when the write fails.
bool RegWriteStringValue(Handle root, const Text& key_path, const Text& name, const Text& value);

// Reads a REG_SZ or REG_EXPAND_SZ value (returned unexpanded) up to its first NUL. Empty for a
// missing or inaccessible key and for a missing or empty value. Raises "Failed to get data for
// '%s'" when the data cannot be read after its size was, and "Invalid data type for '%s'" for a
// value that is not text. Data of odd size or without a terminating NUL is read within its size.
Text RegReadStringValue(Handle root, const Text& key_path, const Text& name);

// The same reading rules for a value of a key the caller holds open.
Text ReadStringValue(Handle key, const Text& name);

}  // namespace shell
