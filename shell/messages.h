// The application title and the information box the setup shows.
#pragma once

#include "platform/os.h"

namespace shell {

using platform::Text;

// The application's title (the wizard's caption), used for message boxes without a caption.
void SetApplicationTitle(Text title);
const Text& ApplicationTitle();

// A modal information box (OK button, information icon) owned by the active window. An empty
// caption is replaced by the application title.
void ShowInfoMessage(const Text& text, const Text& caption);

}  // namespace shell
