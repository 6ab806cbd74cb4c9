#include "wizard/setup_form.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <stdexcept>

#include "install/install_engine.h"
#include "params/product_params.h"
#include "params/resource_names.h"
#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/little_endian.h"
#include "shell/messages.h"
#include "shell/shell_links.h"
#include "shell/system_info.h"
#include "wizard/browse_and_launch.h"

namespace wizard {

namespace {

using ui::Align;
using ui::Rect;
using ui::Style;

// One control's place, look and starting state (wizard/setup_form_layout.h).
struct LayoutEntry {
  const char16_t* name = u"";
  Rect bounds = {};
  Align align = Align::kNone;
  bool visible = true;
  std::optional<ui::Color> color = std::nullopt;
  std::optional<int> font_height = std::nullopt;
  bool bold = false;
  Style style = {};
  const char16_t* text = u"";
  bool checked = false;
};

constexpr Style kWrap{.word_wrap = true};
constexpr Style kAutoSize{.auto_size = true};
constexpr Style kHeaderIcon{.center = true, .transparent = true};

#define WIZARD_LAYOUT_FIELDS(...) __VA_ARGS__
#define WIZARD_LAYOUT_ENTRY(control, type, parent, layout) \
  {.name = u"" #control, WIZARD_LAYOUT_FIELDS layout},
const LayoutEntry kLayout[] = {WIZARD_TFORM1_CONTROLS(WIZARD_LAYOUT_ENTRY)};
#undef WIZARD_LAYOUT_ENTRY
#undef WIZARD_LAYOUT_FIELDS

// Title bar with system menu and minimise box, the default resizable frame, centred.
constexpr Style kFormStyle{.maximize_box = false, .screen_center = true};
constexpr int kFormWidth = 503;
constexpr int kFormHeightVista = 398;  // Windows 6 and later: thicker frame
constexpr int kFormHeightXp = 385;

const LayoutEntry& EntryFor(const Text& name) {
  for (const LayoutEntry& e : kLayout) {
    if (name == e.name) return e;
  }
  throw std::logic_error("control without a layout entry");
}

Style StyleOf(const char16_t* name) { return EntryFor(name).style; }

bool IsTrimmed(char16_t c) { return c <= 32; }

}  // namespace

// --- Helpers ----------------------------------------------------------------------------------

Text SetupDirFromEditText(const Text& text) {
  Text dir = text;
  if (dir.empty() || dir.back() != u'\\') dir += u'\\';
  std::size_t begin = 0;
  std::size_t end = dir.size();
  while (begin < end && IsTrimmed(dir[begin])) ++begin;
  while (end > begin && IsTrimmed(dir[end - 1])) --end;
  return dir.substr(begin, end - begin);
}

platform::Bytes BitmapFileFromResource(std::span<const std::uint8_t> resource) {
  constexpr std::size_t kFileHeader = 14;
  if (resource.size() < 16) return {};
  const std::uint32_t header_size = platform::ReadLe32(resource.data());
  std::uint32_t palette = 0;
  if (header_size >= 40 && resource.size() >= 40) {
    const std::uint32_t bit_count = resource[14] | resource[15] << 8;
    const std::uint32_t compression = platform::ReadLe32(resource.data() + 16);
    const std::uint32_t colors_used = platform::ReadLe32(resource.data() + 32);
    if (bit_count <= 8) palette = (colors_used != 0 ? colors_used : 1u << bit_count) * 4;
    if (header_size == 40 && compression == 3) palette += 12;  // BI_BITFIELDS masks
  } else if (header_size == 12) {
    const std::uint32_t bit_count = resource[10] | resource[11] << 8;
    if (bit_count <= 8) palette = (1u << bit_count) * 3;  // RGBTRIPLE entries
  } else {
    return {};
  }
  platform::Bytes file(kFileHeader + resource.size());
  file[0] = 'B';
  file[1] = 'M';
  platform::WriteLe32(file.data() + 2, static_cast<std::uint32_t>(file.size()));
  platform::WriteLe32(file.data() + 10,
                      static_cast<std::uint32_t>(kFileHeader + header_size + palette));
  std::copy(resource.begin(), resource.end(), file.begin() + kFileHeader);
  return file;
}

// --- Creation ---------------------------------------------------------------------------------

TForm1::TForm1(ui::Application& app, int language, std::optional<Text> setup_dir,
               install::InstallLog* log)
    : ui::Form(app, u"Form1", kFormStyle),
#define WIZARD_CONSTRUCT_CONTROL(name, type, parent, layout) \
  name(parent, u"" #name, StyleOf(u"" #name)),
      WIZARD_TFORM1_CONTROLS(WIZARD_CONSTRUCT_CONTROL)
#undef WIZARD_CONSTRUCT_CONTROL
          Language(language),
      given_setup_dir_(std::move(setup_dir)),
      log_(log) {
  SetText(u"Setup");
  SetColor(ui::kColorBtnFace);
  SetFont(ui::Font{});
  SetBounds({0, 0, kFormWidth, kFormHeightVista});
  ApplyLayout();

  btnNext.OnClick = [this] { btnNextClick(); };
  btnPrev.OnClick = [this] { btnPrevClick(); };
  btnClose.OnClick = [this] { btnCloseClick(); };
  btnBrowse.OnClick = [this] { btnBrowseClick(); };
  editSetupDir.OnChange = [this] { editSetupDirChange(); };
  App().OnIdle = [this] { ApplicationEvents1Idle(); };

  FormCreate();
}

TForm1::~TForm1() { App().OnIdle = nullptr; }

std::vector<ui::Control*> TForm1::AllControls() {
#define WIZARD_CONTROL_ADDRESS(name, type, parent, layout) &name,
  return {WIZARD_TFORM1_CONTROLS(WIZARD_CONTROL_ADDRESS)};
#undef WIZARD_CONTROL_ADDRESS
}

ui::Control* TForm1::ControlByName(const Text& name) {
  for (ui::Control* c : AllControls()) {
    if (c->Name() == name) return c;
  }
  return nullptr;
}

void TForm1::ApplyLayout() {
  for (ui::Control* c : AllControls()) {
    const LayoutEntry& e = EntryFor(c->Name());
    if (e.color) c->SetColor(*e.color);
    if (e.font_height || e.bold) {
      ui::Font font = c->GetFont();
      if (e.font_height) font.height = *e.font_height;
      font.bold = e.bold;
      c->SetFont(font);
    }
    c->SetBounds(e.bounds);
    c->SetAlign(e.align);
    c->SetVisible(e.visible);
    if (e.text[0] != u'\0') c->SetText(e.text);
    if (e.checked) static_cast<ui::CheckBox*>(c)->SetChecked(true);
  }
  ProgressBar1.SetRange(0, 100);
  ProgressBar1.SetStep(5);
  ProgressBar1.SetPosition(0);
}

void TForm1::FormCreate() {
  platform::Os& os = platform::CurrentOs();
  // The product parameters the wizard needs (the entry routine read the window names).
  FProduct = params::LoadProductParams();
  FExeName = FProduct.ExeBaseName;
  FVersion = FProduct.Version;
  FNeedSize = FProduct.RequiredSpace;
  FFreeware = FProduct.Freeware;
  LoadImages();     // the banner and the header icon
  SetupLanguage();  // every text, font and position that depends on the language
  // Message boxes without a caption of their own show the wizard's caption.
  App().SetTitle(GetText());
  shell::SetApplicationTitle(GetText());
  // The button captions in the chosen language.
  btnPrev.SetText(FCaptionBack);
  btnNext.SetText(FCaptionNext);
  btnClose.SetText(FCaptionCancel);
  // The same client area under the frames of XP and of Vista and later.
  const std::uint32_t major = os.WindowsMajorVersion();
  SetBounds({Left(), Top(), kFormWidth, major > 5 ? kFormHeightVista : kFormHeightXp});
  // The wizard opens on the welcome page with an empty progress bar.
  FStep = 1;
  ProgressBar1.SetPosition(0);
  // Windows Vista and later have no Quick Launch bar.
  chkSCOnQuick.SetVisible(HasQuickLaunch(major));
  // The fixed drives, which the folder page accepts, and the folder the box proposes.
  FFixedDrives = shell::GetFixedDrives();
  ProposeSetupDir();
}

void TForm1::LoadImages() {
  platform::Os& os = platform::CurrentOs();
  // A missing picture leaves its place empty; the wizard works without it.
  if (auto bytes = os.FindResourceBytes(params::BannerName(Language),
                                        params::ResourceTypeNumber(params::kRtRcData))) {
    Image1.SetPicture({platform::Bytes(bytes->begin(), bytes->end()), ui::ImageType::kJpeg});
  }
  if (auto bytes = os.FindResourceBytes(params::kHeaderIconName,
                                        params::ResourceTypeNumber(params::kRtBitmap))) {
    platform::Bytes file = BitmapFileFromResource(*bytes);
    if (!file.empty()) Image2.SetPicture({std::move(file), ui::ImageType::kBmp});
  }
  if (!Image2.GetPicture().Empty()) Image3.SetPicture(Image2.GetPicture());
}

void TForm1::SetupLanguage() {
  const bool chinese = params::IsChinese(Language);
  FDisplayName = chinese ? FProduct.DisplayNameCn : FProduct.DisplayNameEn;
  for (const LayoutChange& change : LayoutChanges(Language)) {
    ui::Control* c = ControlByName(change.control);
    if (c == nullptr) continue;
    if (change.font_name || change.font_height) {
      ui::Font font = c->GetFont();
      if (change.font_name) font.name = *change.font_name;
      if (change.font_height) font.height = *change.font_height;
      c->SetFont(font);
    }
    if (change.left) c->SetLeft(*change.left);
    if (change.top) c->SetTop(*change.top);
    if (change.visible) c->SetVisible(*change.visible);
  }
  SetText(FormCaption(Language, FDisplayName));

  const FieldTexts f = FieldTextsFor(Language);
  FCaptionBack = f.CaptionBack;
  FCaptionNext = f.CaptionNext;
  FCaptionCancel = f.CaptionCancel;
  FCaptionAgree = f.CaptionAgree;
  FCaptionFinish = f.CaptionFinish;
  FCaptionInstall = f.CaptionInstall;
  FMsgFolderError = f.MsgFolderError;
  FMsgExtractError = f.MsgExtractError;
  FBrowsePrompt = f.BrowsePrompt;
  FFreeSpacePrefix = f.FreeSpacePrefix;

  for (const ControlText& t : ControlTexts(Language, {FDisplayName, FVersion, FNeedSize})) {
    if (ui::Control* c = ControlByName(t.control)) c->SetText(t.text);
  }
  const Text& own_license = chinese ? FProduct.LicenseCn : FProduct.License;
  Memo2.SetLines(own_license.empty()
                     ? LicenseAgreement(Language, FDisplayName, FFreeware,
                                        chinese ? FProduct.PublisherNameCn : FProduct.PublisherName)
                     : LicenseLines(own_license));
}

// --- Destination folder -----------------------------------------------------------------------

ProposedFolder ProposeFolder(const Text& display_name, const Text& publisher_folder,
                             const Text& exe_name) {
  // An unreadable shell folder setting means no earlier installation can be found there; it must
  // not stop the wizard from proposing its own folder.
  auto find = [&display_name](const char16_t* folder) -> Text {
    try {
      return shell::FindInstalledFolder(display_name, folder);
    } catch (const platform::Exception&) {
      return Text();
    }
  };
  Text found = find(u"QuickLaunch");
  if (found.empty()) found = find(u"Desktop");
  if (!found.empty()) {
    found.pop_back();  // the trailing backslash
    return {found, true};
  }
  const Text program_files =
      platform::CurrentOs().GetEnvironmentVariable(u"PROGRAMFILES").value_or(Text());
  return {program_files + u"\\" + publisher_folder + u"\\" + exe_name, false};
}

bool TypedFolderUsable(const Text& text, const Text& fixed_drives) {
  if (text.empty() || fixed_drives.find(platform::AsciiUpper(text[0])) == Text::npos) return false;
  return text.size() >= 3 && text[1] == u':' && text[2] == u'\\';
}

bool CheckedAtStart(const Text& control) { return EntryFor(control).checked; }

void TForm1::ProposeSetupDir() {
  if (given_setup_dir_) {
    if (log_) log_->Line({u"Folder box: ", *given_setup_dir_, u" (from /D=)"});
    editSetupDir.SetText(*given_setup_dir_);
    return;
  }
  const ProposedFolder proposed = ProposeFolder(FDisplayName, FProduct.PublisherFolder, FExeName);
  if (log_) {
    log_->Line({u"Folder box: ", proposed.folder,
                proposed.earlier_installation ? u" (an earlier installation's folder)"
                                              : u" (proposed below Program Files)"});
  }
  editSetupDir.SetText(proposed.folder);
}

void TForm1::editSetupDirChange() {
  if (TypedFolderUsable(editSetupDir.GetText(), FFixedDrives)) {
    ShowFreeSpace();
  } else {
    lblFreeSize.Hide();
  }
}

void TForm1::ShowFreeSpace() {
  const Text& text = editSetupDir.GetText();
  const char16_t letter = text.empty() ? u'\0' : text[0];
  lblFreeSize.SetText(FFreeSpacePrefix + shell::FormatByteSize(shell::GetDriveFreeSpace(letter)));
  lblFreeSize.Show();
}

void TForm1::btnBrowseClick() {
  const Text folder = BrowseForFolder(WindowHandle(), FBrowsePrompt);
  if (folder.empty()) return;
  editSetupDir.SetText(folder);
  // A folder the user picked is taken as usable even on a drive that typing would refuse.
  ShowFreeSpace();
}

// --- Page machine -----------------------------------------------------------------------------

namespace {

enum class NextAction { kMoveOn, kInstallThenMoveOn, kFinish };

// One page of the wizard: its panel, the Next button's caption there, which buttons show, and what
// Next does.
struct Page {
  ui::Panel TForm1::*panel;
  Text TForm1::*next_caption;
  bool back_shown;
  bool close_shown;
  bool next_needs_free_space;  // Next is usable only while the free space of the folder shows
  NextAction next;
};

const Page kPages[] = {
    {&TForm1::pnlStep1, &TForm1::FCaptionNext, false, true, false, NextAction::kMoveOn},
    {&TForm1::pnlStep2, &TForm1::FCaptionAgree, true, true, false, NextAction::kMoveOn},
    {&TForm1::pnlStep3, &TForm1::FCaptionInstall, true, true, true, NextAction::kInstallThenMoveOn},
    {&TForm1::pnlStep4, &TForm1::FCaptionFinish, false, false, false, NextAction::kFinish},
};
constexpr int kPageCount = static_cast<int>(std::size(kPages));

// The page of a step (1-based); null for a step outside the wizard.
const Page* PageAt(int step) {
  return step >= 1 && step <= kPageCount ? &kPages[step - 1] : nullptr;
}

}  // namespace

void TForm1::ApplicationEvents1Idle() {
  const Page* current = PageAt(FStep);
  for (const Page& page : kPages) (this->*page.panel).SetVisible(&page == current);
  btnPrev.SetVisible(current != nullptr && current->back_shown);
  btnClose.SetVisible(current != nullptr ? current->close_shown : FStep < 1);
  btnNext.SetEnabled(current == nullptr || !current->next_needs_free_space ||
                     lblFreeSize.Visible());
}

void TForm1::UpdateNextCaption() {
  const Page* current = PageAt(FStep);
  btnNext.SetText(current != nullptr ? this->*current->next_caption : FCaptionNext);
}

void TForm1::btnNextClick() {
  const Page* current = PageAt(FStep);
  const NextAction action = current != nullptr ? current->next : NextAction::kMoveOn;
  if (action == NextAction::kFinish) {
    FinishAction();
    Close();
    return;
  }
  if (action == NextAction::kInstallThenMoveOn && !InstallAction()) return;
  FStep += 1;
  UpdateNextCaption();
}

void TForm1::btnPrevClick() {
  FStep -= 1;
  UpdateNextCaption();
}

void TForm1::btnCloseClick() { Close(); }

void TForm1::SetProgress(std::int32_t percent) { ProgressBar1.SetPosition(percent); }

// --- Install and finish -----------------------------------------------------------------------

void TForm1::SetInstallControlsEnabled(bool enabled) {
  btnNext.SetEnabled(enabled);
  btnPrev.SetEnabled(enabled);
  btnClose.SetEnabled(enabled);
  btnBrowse.SetEnabled(enabled);
}

bool TForm1::InstallAction() {
  FSetupDir = SetupDirFromEditText(editSetupDir.GetText());
  if (log_) log_->Line({u"Install pressed, folder: ", FSetupDir});
  Text created;
  if (!install::CreateSetupDir(FSetupDir, &created)) {
    if (log_) log_->Line({u"Folder could not be created: ", FSetupDir});
    platform::CurrentOs().MessageBox(WindowHandle(), FMsgFolderError, App().Title(),
                                     platform::kMbOk);
    return false;
  }
  // A press after a failed one finds the folders the first press made: they are still the
  // install's own as long as the folder is the same or below them.
  if (!created.empty()) {
    created_folder_ = created;
    if (log_) log_->Line({u"Folders created from: ", created});
  } else if (!created_folder_.empty() && !FSetupDir.starts_with(created_folder_ + u"\\")) {
    created_folder_.clear();
  }

  SetInstallControlsEnabled(false);
  ProgressBar1.Show();
  App().ProcessMessages();  // paint the disabled buttons and the bar before the long work

  // Between pieces of the long work the window answers the system (messages sent to it, painting
  // the progress bar), first after the first piece and then at most every 10 ms, so that Windows
  // does not mark it as not responding. Input stays ignored and a request to close the window is
  // ignored meanwhile.
  std::optional<std::chrono::steady_clock::time_point> answered;
  const auto answer_messages = [this, &answered] {
    const auto now = std::chrono::steady_clock::now();
    if (answered && now - *answered < std::chrono::milliseconds(10)) return;
    answered = now;
    App().AnswerMessages();
  };
  try {
    install::UnpackPackage(FSetupDir,
                           {.progress = [this](std::int32_t percent) { SetProgress(percent); },
                            .between_pieces = answer_messages,
                            .log = log_});
  } catch (const platform::Exception& e) {
    if (log_) log_->Line({u"Unpacking failed: ", e.Message()});
    shell::ShowInfoMessage(FMsgExtractError, Text());
    SetInstallControlsEnabled(true);
    ProgressBar1.Hide();
    return false;
  } catch (...) {
    shell::ShowInfoMessage(FMsgExtractError, Text());
    SetInstallControlsEnabled(true);
    ProgressBar1.Hide();
    return false;
  }

  const bool chinese = params::IsChinese(Language);
  install::AddShortcutsAndUninstallEntry(
      {.setup_dir = FSetupDir,
       .exe_name = FExeName,
       .display_name = FDisplayName,
       .version = FVersion,
       .publisher = chinese ? FProduct.PublisherNameCn : FProduct.PublisherName,
       .url_info_about = chinese ? FProduct.PublisherUrlCn : FProduct.PublisherUrl,
       .desktop_shortcut = chkSCOnDesktop.Checked(),
       .quick_launch_shortcut = chkSCOnQuick.Visible() && chkSCOnQuick.Checked(),
       .created_folder = created_folder_},
      log_);

  Image1.SetParent(pnlStep4);  // the completion page shows the banner too
  ProgressBar1.Hide();
  return true;
}

void TForm1::FinishAction() {
  if (chkRunOnExit.Checked()) {
    if (log_) log_->Line({u"Starting the product: ", FSetupDir, FExeName, u".exe"});
    LaunchProgram(FSetupDir + FExeName + u".exe", Text());
  }
}

}  // namespace wizard
