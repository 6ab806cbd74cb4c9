// The running-product check: the product is found running by its main window. The setup refuses
// to install and the uninstaller to remove while it runs.
#pragma once

#include "platform/os.h"

namespace install {

using platform::Text;

// The product's main window: its class and its two titles (string ids 1001 to 1003), and the
// title that was found running (empty when none).
struct ProductWindow {
  Text WindowClass;
  Text WindowTitle;
  Text WindowTitleCn;
  Text RunningTitle;
};

ProductWindow LoadProductWindow();

// Looks for the English edition's window first and only then for the Chinese one; returns the
// title that matched, or an empty text. The class and titles are always passed as strings, so an
// empty title matches only an untitled window, never any window.
Text FindRunningTitle(const ProductWindow& window);

}  // namespace install
