// The setup program's entry routine, shared by the real WinMain and the native tests.
#pragma once

#include "ui/controls.h"

namespace startup {

// Everything the program does from its start to the end of the message loop, against the current
// Os and the given control backend: fixes the language, refuses while the product runs, otherwise
// creates the wizard and runs it. Returns the process exit code (always 0).
int RunSetup(ui::Backend& backend);

}  // namespace startup
