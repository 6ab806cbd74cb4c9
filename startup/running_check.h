// The refusal to install while the product runs, found by its main window.
#pragma once

#include "platform/os.h"

namespace startup {

using platform::Text;

// The strings the entry routine owns: the product window's class and its two titles (ids 1001 to
// 1003), and the title that was found running (empty when none).
struct StartupStrings {
  Text WindowClass;
  Text WindowTitle;
  Text WindowTitleCn;
  Text RunningTitle;
};

StartupStrings LoadStartupStrings();

// Looks for the English edition's window first and only then for the Chinese one; returns the
// title that matched, or an empty text. The class and titles are always passed as strings, so an
// empty title matches only an untitled window, never any window.
Text FindRunningTitle(const StartupStrings& strings);

struct Refusal {
  Text text;
  Text caption;
};
// The message that explains the refusal, in the wizard's language. The English text names the
// English title whichever edition is running.
Refusal RefusalMessage(int language, const StartupStrings& strings);

}  // namespace startup
