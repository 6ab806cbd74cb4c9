// The setup wizard: one form with four pages stacked in the same place (welcome, licence,
// destination folder and options, completion), a row of buttons and a progress bar.
//
// The page index FStep decides which page shows; a table of the pages gives each one's panel,
// Next caption, buttons and what Next does there (Install on page 3, Finish on page 4, otherwise
// it moves on one page). The idle handler applies the visibility and enabling rules whenever the
// message queue has run empty. The install work itself is the engine's (install/install_engine.h).
#pragma once

#include <cstdint>
#include <optional>

#include "install/install_log.h"
#include "params/product_params.h"
#include "platform/os.h"
#include "ui/controls.h"
#include "wizard/setup_form_layout.h"
#include "wizard/texts.h"

namespace wizard {

using platform::Text;

class TForm1 : public ui::Form {
 public:
  // Builds the controls from the layout and runs FormCreate. language: 0 Chinese, else English.
  // setup_dir, when given, fills the folder box instead of the proposed folder; log (may be null)
  // receives what the wizard does.
  TForm1(ui::Application& app, int language, std::optional<Text> setup_dir = std::nullopt,
         install::InstallLog* log = nullptr);
  ~TForm1() override;

  // Handlers.
  void FormCreate();
  void ApplicationEvents1Idle();
  void btnNextClick();
  void btnPrevClick();
  void btnCloseClick();
  void btnBrowseClick();
  void editSetupDirChange();

  void UpdateNextCaption();
  // The progress of the unpacking, in percent.
  void SetProgress(std::int32_t percent);
  void ShowFreeSpace();

  // The two actions behind Next. InstallAction drives the install engine and returns false when
  // it stopped early (the folder could not be created, or the package could not be written or
  // unpacked).
  bool InstallAction();
  void FinishAction();

  // Controls, in creation (and tab) order (wizard/setup_form_layout.h).
#define WIZARD_DECLARE_CONTROL(name, type, parent, layout) ui::type name;
  WIZARD_TFORM1_CONTROLS(WIZARD_DECLARE_CONTROL)
#undef WIZARD_DECLARE_CONTROL

  // Fields.
  const int Language;
  params::ProductParams FProduct;  // every product parameter, read once at creation
  Text FDisplayName;
  Text FVersion;
  Text FNeedSize;
  Text FExeName;
  bool FFreeware = false;
  Text FSetupDir;
  int FStep = 1;
  Text FFixedDrives;
  Text FCaptionBack;
  Text FCaptionNext;
  Text FCaptionCancel;
  Text FCaptionAgree;
  Text FCaptionFinish;
  Text FCaptionInstall;
  Text FMsgFolderError;
  Text FMsgExtractError;
  Text FBrowsePrompt;
  Text FFreeSpacePrefix;

 private:
  std::optional<Text> given_setup_dir_;
  install::InstallLog* log_;
  Text created_folder_;  // the outermost folder an Install press created, kept for a retry

  std::vector<ui::Control*> AllControls();
  ui::Control* ControlByName(const Text& name);
  void ApplyLayout();
  void LoadImages();
  void SetupLanguage();
  void ProposeSetupDir();
  void SetInstallControlsEnabled(bool enabled);
};

// The folder page 3 proposes: the folder of an earlier installation, found through its shortcut
// in Quick Launch and then on the desktop, or Program Files\<publisher folder>\<program>. No
// trailing backslash.
struct ProposedFolder {
  Text folder;
  bool earlier_installation = false;
};
ProposedFolder ProposeFolder(const Text& display_name, const Text& publisher_folder,
                             const Text& exe_name);

// The rule page 3 applies to a typed folder: usable (the free space shows and Install is enabled)
// when it starts with the letter of a fixed drive, then ":\".
bool TypedFolderUsable(const Text& text, const Text& fixed_drives);

// Whether a check box of the form starts checked (wizard/setup_form_layout.h).
bool CheckedAtStart(const Text& control);

// Windows before Vista have a Quick Launch bar, and only there the wizard offers its shortcut.
constexpr bool HasQuickLaunch(std::uint32_t windows_major) { return windows_major < 6; }

// The destination folder as Install takes it over from the edit text: one trailing backslash
// appended when missing, then leading and trailing spaces and control characters trimmed.
Text SetupDirFromEditText(const Text& text);

// The bytes of a BMP file for a bitmap resource, which holds everything but the 14-byte file
// header. Empty when the resource is too short to hold a bitmap header.
platform::Bytes BitmapFileFromResource(std::span<const std::uint8_t> resource);

}  // namespace wizard
