// The setup program's entry routine, shared by the real WinMain and the native tests.
#pragma once

#include "ui/controls.h"

namespace startup {

// Everything the program does from its start to the end of the message loop, against the current
// Os and the given control backend: fixes the language, refuses while the product runs, otherwise
// creates the wizard and runs it, or with /S installs without it (wizard/silent_setup.h). The
// command line comes from the Os. Returns the process exit code.
int RunSetup(ui::Backend& backend);

}  // namespace startup
