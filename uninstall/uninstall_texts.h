// Every text Uninst.exe shows, in Simplified Chinese and in English. The uninstaller follows the
// setup's language rule and shows only message boxes; its texts read like the setup's.
#pragma once

#include "platform/os.h"

namespace uninstall {

using platform::Text;

struct UninstallTexts {
  Text Caption;        // the title of every message box
  Text MsgConfirm;     // asks before anything is removed
  Text MsgComplete;    // everything is gone
  Text MsgIncomplete;  // followed by one line per item that stayed
};
UninstallTexts UninstallTextsFor(int language, const Text& display_name);

// The message when the product runs: the English text names the English window title whichever
// edition runs, as the setup's refusal does.
Text UninstallRunningMessage(int language, const Text& running_title, const Text& window_title);

// What /? shows: the switches and exit codes of Uninst.exe.
Text UninstallUsage(int language);

}  // namespace uninstall
