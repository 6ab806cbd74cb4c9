#include "shell/messages.h"

namespace shell {

using platform::CurrentOs;

namespace {
Text& TitleStorage() {
  static Text title;
  return title;
}
}  // namespace

void SetApplicationTitle(Text title) { TitleStorage() = std::move(title); }
const Text& ApplicationTitle() { return TitleStorage(); }

void ShowInfoMessage(const Text& text, const Text& caption) {
  platform::Os& os = CurrentOs();
  os.MessageBox(os.GetActiveWindow(), text, caption.empty() ? ApplicationTitle() : caption,
                platform::kMbOk | platform::kMbIconInformation);
}

}  // namespace shell
