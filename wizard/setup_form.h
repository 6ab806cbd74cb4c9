// The setup wizard: one form with four pages stacked in the same place (welcome, licence,
// destination folder and options, completion), a row of buttons and a progress bar.
//
// The page index FStep decides which page shows; the idle handler applies the visibility and
// enabling rules whenever the message queue has run empty; the Next button acts on its own
// caption (Install on page 3, Finish on page 4, otherwise it moves on one page).
#pragma once

#include <cstdint>

#include "platform/os.h"
#include "ui/controls.h"
#include "wizard/texts.h"

namespace wizard {

using platform::Text;

class TForm1 : public ui::Form {
 public:
  // Builds the controls from the layout and runs FormCreate. language: 0 Chinese, else English.
  TForm1(ui::Application& app, int language);
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

  // The two actions behind Next. InstallAction returns false when it stopped early (the folder
  // could not be created, or the package could not be written or unpacked).
  bool InstallAction();
  void FinishAction();

  // Controls, in creation (and tab) order.
  ui::Panel pnlStep1;
  ui::Image Image1;
  ui::Label lblWelcome;
  ui::Label lblWillInstall;
  ui::Panel pnlStep2;
  ui::Panel Panel3;
  ui::Label lblLicense;
  ui::Label lblLicenseTip;
  ui::Image Image2;
  ui::Bevel Bevel2;
  ui::Memo Memo2;
  ui::Label lblAgreement;
  ui::Panel pnlStep3;
  ui::Panel Panel4;
  ui::Label lblFolder;
  ui::Label lblFolderTip;
  ui::Image Image3;
  ui::Bevel Bevel3;
  ui::Label lblSetupFolder;
  ui::GroupBox gbFolder;
  ui::Edit editSetupDir;
  ui::Button btnBrowse;
  ui::Label lblNeedSize;
  ui::Label lblFreeSize;
  ui::CheckBox chkSCOnDesktop;
  ui::CheckBox chkSCOnQuick;
  ui::Panel pnlStep4;
  ui::Label lblComplete;
  ui::Label lblClose;
  ui::CheckBox chkRunOnExit;
  ui::Bevel Bevel1;
  ui::Button btnPrev;
  ui::Button btnNext;
  ui::Button btnClose;
  ui::ProgressBar ProgressBar1;

  // Fields.
  const int Language;
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
  std::vector<ui::Control*> AllControls();
  ui::Control* ControlByName(const Text& name);
  void ApplyLayout();
  void LoadImages();
  void SetupLanguage();
  void ProposeSetupDir();
  void SetInstallControlsEnabled(bool enabled);
};

// The destination folder as Install takes it over from the edit text: one trailing backslash
// appended when missing, then leading and trailing spaces and control characters trimmed.
Text SetupDirFromEditText(const Text& text);

// The key of the uninstall entry below HKEY_LOCAL_MACHINE.
Text UninstallKey(const Text& display_name);

// The bytes of a BMP file for a bitmap resource, which holds everything but the 14-byte file
// header. Empty when the resource is too short to hold a bitmap header.
platform::Bytes BitmapFileFromResource(std::span<const std::uint8_t> resource);

}  // namespace wizard
