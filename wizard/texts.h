// Every text the wizard shows, in Simplified Chinese and in English, and the few font and
// position changes that go with each language. Chosen once, when the form is created.
#pragma once

#include <optional>
#include <vector>

#include "platform/os.h"

namespace wizard {

using platform::Text;

// The captions and messages the form keeps in fields.
struct FieldTexts {
  Text CaptionBack;
  Text CaptionNext;
  Text CaptionCancel;
  Text CaptionAgree;
  Text CaptionFinish;
  Text CaptionInstall;
  Text MsgFolderError;
  Text MsgExtractError;
  Text BrowsePrompt;
  Text FreeSpacePrefix;
};
FieldTexts FieldTextsFor(int language);

// What the product's texts are composed of.
struct ProductTexts {
  Text DisplayName;
  Text Version;
  Text NeedSize;
};

// The wizard's caption, which is also the application title.
Text FormCaption(int language, const Text& display_name);

// A control's text replaced by the language set-up.
struct ControlText {
  const char16_t* control;
  Text text;
};
// In English every visible text is replaced; in Chinese only the composed ones, the rest come
// from the form's layout.
std::vector<ControlText> ControlTexts(int language, const ProductTexts& product);

// A control's position, font or visibility changed by the language set-up; unset fields stay.
struct LayoutChange {
  const char16_t* control;
  std::optional<int> left;
  std::optional<int> top;
  std::optional<Text> font_name;
  std::optional<int> font_height;  // pixels
  std::optional<bool> visible;
};
std::vector<LayoutChange> LayoutChanges(int language);

// The built-in licence agreement, one paragraph per line; blank lines are empty texts. The
// closing line names the publisher as the holder of all rights.
std::vector<Text> LicenseAgreement(int language, const Text& display_name, bool freeware,
                                   const Text& publisher);
// A product's own licence text (lines ended by CRLF) as the lines of the licence box.
std::vector<Text> LicenseLines(const Text& license);

// What /? shows: the switches and exit codes of setup.exe.
Text SetupUsage(int language);

// The message when the product runs, before the wizard opens: the English text names the English
// window title whichever edition runs.
Text SetupRunningMessage(int language, const Text& running_title, const Text& window_title);

}  // namespace wizard
