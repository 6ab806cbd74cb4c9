#include "wizard/setup_form.h"

#include <algorithm>
#include <optional>
#include <stdexcept>

#include "package/extract.h"
#include "platform/errors.h"
#include "platform/fs_util.h"
#include "shell/messages.h"
#include "shell/registry.h"
#include "shell/shell_links.h"
#include "shell/system_info.h"
#include "startup/product_params.h"
#include "wizard/browse_and_launch.h"

namespace wizard {

namespace {

using ui::Align;
using ui::Rect;
using ui::Style;

// The form as a designer would keep it: every control's place, look and starting state. Texts here
// are the layout's own (Chinese); the language set-up replaces the composed ones, and in English
// all of them.
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

const LayoutEntry kLayout[] = {
    {.name = u"pnlStep1", .bounds = {0, 0, 0, 308}, .align = Align::kTop,
     .color = ui::kColorWhite},
    {.name = u"Image1", .bounds = {0, 0, 160, 308}, .align = Align::kLeft},
    {.name = u"lblWelcome", .bounds = {183, 20, 305, 53}, .font_height = 16, .bold = true,
     .style = kWrap},
    {.name = u"lblWillInstall", .bounds = {184, 96, 304, 148}, .style = kWrap},

    {.name = u"pnlStep2", .bounds = {0, 0, 0, 308}, .align = Align::kTop, .visible = false},
    {.name = u"Panel3", .bounds = {0, 0, 0, 56}, .align = Align::kTop, .color = ui::kColorCream},
    {.name = u"lblLicense", .bounds = {17, 20, 0, 0}, .bold = true, .style = kAutoSize,
     .text = u"在安装之前，请阅读许可协议"},
    {.name = u"lblLicenseTip", .bounds = {36, 28, 0, 0}, .visible = false, .style = kAutoSize},
    {.name = u"Image2", .bounds = {0, 0, 67, 56}, .align = Align::kRight, .style = kHeaderIcon},
    {.name = u"Bevel2", .bounds = {0, 0, 0, 2}, .align = Align::kTop},
    {.name = u"Memo2", .bounds = {18, 75, 459, 177},
     .style = {.read_only = true, .scroll_bars = ui::ScrollBars::kVertical}},
    {.name = u"lblAgreement", .bounds = {23, 267, 437, 32}, .style = kWrap,
     .text = u"如果您接受协议中的条款，请单击 [我同意] 继续安装。"},

    {.name = u"pnlStep3", .bounds = {0, 0, 0, 308}, .align = Align::kTop, .visible = false},
    {.name = u"Panel4", .bounds = {0, 0, 0, 56}, .align = Align::kTop, .color = ui::kColorCream},
    {.name = u"lblFolder", .bounds = {17, 20, 0, 0}, .bold = true, .style = kAutoSize,
     .text = u"选择安装位置并设置选项"},
    {.name = u"lblFolderTip", .bounds = {36, 28, 0, 0}, .visible = false, .style = kAutoSize},
    {.name = u"Image3", .bounds = {0, 0, 67, 56}, .align = Align::kRight, .style = kHeaderIcon},
    {.name = u"Bevel3", .bounds = {0, 0, 0, 2}, .align = Align::kTop},
    // 7 px taller than the classic 49 so that a fourth wrapped line fits where Tahoma runs wide
    // (Wine's Tahoma wraps the English text onto four lines); it still ends above gbFolder.
    {.name = u"lblSetupFolder", .bounds = {40, 75, 420, 56}, .style = kWrap},
    {.name = u"gbFolder", .bounds = {40, 132, 419, 63}, .text = u"目标文件夹"},
    {.name = u"editSetupDir", .bounds = {17, 24, 305, 21}},
    {.name = u"btnBrowse", .bounds = {325, 24, 77, 21}, .text = u"浏览(&S)..."},
    {.name = u"lblNeedSize", .bounds = {41, 221, 0, 0}, .style = kAutoSize},
    {.name = u"lblFreeSize", .bounds = {41, 247, 0, 0}, .style = kAutoSize,
     .text = u"剩余空间:"},
    {.name = u"chkSCOnDesktop", .bounds = {237, 217, 151, 20}, .text = u"创建桌面快捷方式",
     .checked = true},
    {.name = u"chkSCOnQuick", .bounds = {237, 243, 184, 20}, .text = u"创建快速启动栏快捷方式",
     .checked = true},

    {.name = u"pnlStep4", .bounds = {0, 0, 0, 308}, .align = Align::kTop, .visible = false,
     .color = ui::kColorWhite},
    {.name = u"lblComplete", .bounds = {183, 20, 305, 53}, .font_height = 16, .bold = true,
     .style = kWrap},
    {.name = u"lblClose", .bounds = {184, 89, 302, 65}, .visible = false, .style = kWrap},
    {.name = u"chkRunOnExit", .bounds = {207, 111, 203, 14}, .text = u"立即运行软件",
     .checked = true},

    {.name = u"Bevel1", .bounds = {-1, 308, 555, 2}},
    {.name = u"btnPrev", .bounds = {253, 323, 77, 22}},
    {.name = u"btnNext", .bounds = {330, 323, 77, 22}, .style = {.tab_order = 0}},
    {.name = u"btnClose", .bounds = {417, 323, 62, 22}},
    {.name = u"ProgressBar1", .bounds = {35, 328, 185, 12}, .visible = false},
};

// Title bar with system menu and minimise box, the default resizable frame, centred.
constexpr Style kFormStyle{.maximize_box = false, .screen_center = true};
constexpr int kFormWidth = 503;
constexpr int kFormHeightVista = 398;  // Windows 6 and later: thicker frame
constexpr int kFormHeightXp = 385;
constexpr int kRcData = 10;
constexpr int kBitmap = 2;

const LayoutEntry& EntryFor(const Text& name) {
  for (const LayoutEntry& e : kLayout) {
    if (name == e.name) return e;
  }
  throw std::logic_error("control without a layout entry");
}

Style StyleOf(const char16_t* name) { return EntryFor(name).style; }

// A resource type given by number, as FindResource takes it in text form.
Text IntResource(int id) {
  Text s = u"#";
  for (char c : std::to_string(id)) s += static_cast<char16_t>(c);
  return s;
}

void PutLe32(platform::Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetLe32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
         static_cast<std::uint32_t>(b[at + 2]) << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

bool IsTrimmed(char16_t c) { return c <= 32; }

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }

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

Text UninstallKey(const Text& display_name) {
  return u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + display_name;
}

platform::Bytes BitmapFileFromResource(std::span<const std::uint8_t> resource) {
  constexpr std::size_t kFileHeader = 14;
  if (resource.size() < 16) return {};
  const std::uint32_t header_size = GetLe32(resource, 0);
  std::uint32_t palette = 0;
  if (header_size >= 40 && resource.size() >= 40) {
    const std::uint32_t bit_count = resource[14] | resource[15] << 8;
    const std::uint32_t compression = GetLe32(resource, 16);
    const std::uint32_t colors_used = GetLe32(resource, 32);
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
  PutLe32(file, 2, static_cast<std::uint32_t>(file.size()));
  PutLe32(file, 10, static_cast<std::uint32_t>(kFileHeader + header_size + palette));
  std::copy(resource.begin(), resource.end(), file.begin() + kFileHeader);
  return file;
}

// --- Creation ---------------------------------------------------------------------------------

TForm1::TForm1(ui::Application& app, int language)
    : ui::Form(app, u"Form1", kFormStyle),
      pnlStep1(*this, u"pnlStep1", StyleOf(u"pnlStep1")),
      Image1(pnlStep1, u"Image1", StyleOf(u"Image1")),
      lblWelcome(pnlStep1, u"lblWelcome", StyleOf(u"lblWelcome")),
      lblWillInstall(pnlStep1, u"lblWillInstall", StyleOf(u"lblWillInstall")),
      pnlStep2(*this, u"pnlStep2", StyleOf(u"pnlStep2")),
      Panel3(pnlStep2, u"Panel3", StyleOf(u"Panel3")),
      lblLicense(Panel3, u"lblLicense", StyleOf(u"lblLicense")),
      lblLicenseTip(Panel3, u"lblLicenseTip", StyleOf(u"lblLicenseTip")),
      Image2(Panel3, u"Image2", StyleOf(u"Image2")),
      Bevel2(pnlStep2, u"Bevel2", StyleOf(u"Bevel2")),
      Memo2(pnlStep2, u"Memo2", StyleOf(u"Memo2")),
      lblAgreement(pnlStep2, u"lblAgreement", StyleOf(u"lblAgreement")),
      pnlStep3(*this, u"pnlStep3", StyleOf(u"pnlStep3")),
      Panel4(pnlStep3, u"Panel4", StyleOf(u"Panel4")),
      lblFolder(Panel4, u"lblFolder", StyleOf(u"lblFolder")),
      lblFolderTip(Panel4, u"lblFolderTip", StyleOf(u"lblFolderTip")),
      Image3(Panel4, u"Image3", StyleOf(u"Image3")),
      Bevel3(pnlStep3, u"Bevel3", StyleOf(u"Bevel3")),
      lblSetupFolder(pnlStep3, u"lblSetupFolder", StyleOf(u"lblSetupFolder")),
      gbFolder(pnlStep3, u"gbFolder", StyleOf(u"gbFolder")),
      editSetupDir(gbFolder, u"editSetupDir", StyleOf(u"editSetupDir")),
      btnBrowse(gbFolder, u"btnBrowse", StyleOf(u"btnBrowse")),
      lblNeedSize(pnlStep3, u"lblNeedSize", StyleOf(u"lblNeedSize")),
      lblFreeSize(pnlStep3, u"lblFreeSize", StyleOf(u"lblFreeSize")),
      chkSCOnDesktop(pnlStep3, u"chkSCOnDesktop", StyleOf(u"chkSCOnDesktop")),
      chkSCOnQuick(pnlStep3, u"chkSCOnQuick", StyleOf(u"chkSCOnQuick")),
      pnlStep4(*this, u"pnlStep4", StyleOf(u"pnlStep4")),
      lblComplete(pnlStep4, u"lblComplete", StyleOf(u"lblComplete")),
      lblClose(pnlStep4, u"lblClose", StyleOf(u"lblClose")),
      chkRunOnExit(pnlStep4, u"chkRunOnExit", StyleOf(u"chkRunOnExit")),
      Bevel1(*this, u"Bevel1", StyleOf(u"Bevel1")),
      btnPrev(*this, u"btnPrev", StyleOf(u"btnPrev")),
      btnNext(*this, u"btnNext", StyleOf(u"btnNext")),
      btnClose(*this, u"btnClose", StyleOf(u"btnClose")),
      ProgressBar1(*this, u"ProgressBar1", StyleOf(u"ProgressBar1")),
      Language(language) {
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
  return {&pnlStep1,       &Image1,       &lblWelcome,     &lblWillInstall, &pnlStep2,
          &Panel3,         &lblLicense,   &lblLicenseTip,  &Image2,         &Bevel2,
          &Memo2,          &lblAgreement, &pnlStep3,       &Panel4,         &lblFolder,
          &lblFolderTip,   &Image3,       &Bevel3,         &lblSetupFolder, &gbFolder,
          &editSetupDir,   &btnBrowse,    &lblNeedSize,    &lblFreeSize,    &chkSCOnDesktop,
          &chkSCOnQuick,   &pnlStep4,     &lblComplete,    &lblClose,       &chkRunOnExit,
          &Bevel1,         &btnPrev,      &btnNext,        &btnClose,       &ProgressBar1};
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
  // 1. The product parameters the wizard needs (the entry routine read the window names).
  FExeName = startup::LoadParamString(startup::kIdExeBaseName);
  FVersion = startup::LoadParamString(startup::kIdVersion);
  FNeedSize = startup::LoadParamString(startup::kIdRequiredSpace);
  FFreeware = startup::FreewareFromText(startup::LoadParamString(startup::kIdFreeware));
  // 2. Banner and header icon.
  LoadImages();
  // 3. Everything that depends on the language.
  SetupLanguage();
  // 4. Message boxes without a caption of their own show the wizard's caption.
  App().SetTitle(GetText());
  shell::SetApplicationTitle(GetText());
  // 5.
  btnPrev.SetText(FCaptionBack);
  btnNext.SetText(FCaptionNext);
  btnClose.SetText(FCaptionCancel);
  // 6. The same client area under the frames of XP and of Vista and later.
  const std::uint32_t major = os.WindowsMajorVersion();
  SetBounds({Left(), Top(), kFormWidth, major > 5 ? kFormHeightVista : kFormHeightXp});
  // 7.
  pnlStep2.SetAlign(Align::kTop);
  pnlStep3.SetAlign(Align::kTop);
  pnlStep4.SetAlign(Align::kTop);
  // 8., 9.
  FStep = 1;
  ProgressBar1.SetPosition(0);
  // 10. Windows Vista and later have no Quick Launch bar.
  chkSCOnQuick.SetVisible(major < 6);
  // 11., 12.
  FFixedDrives = shell::GetFixedDrives();
  ProposeSetupDir();
}

void TForm1::LoadImages() {
  platform::Os& os = platform::CurrentOs();
  Text banner = u"ImageLeft";
  for (char c : std::to_string(Language)) banner += static_cast<char16_t>(c);
  // A missing picture leaves its place empty; the wizard works without it.
  if (auto bytes = os.FindResourceBytes(banner, IntResource(kRcData))) {
    Image1.SetPicture({platform::Bytes(bytes->begin(), bytes->end()), ui::ImageType::kJpeg});
  }
  if (auto bytes = os.FindResourceBytes(u"ImageIcon", IntResource(kBitmap))) {
    platform::Bytes file = BitmapFileFromResource(*bytes);
    if (!file.empty()) Image2.SetPicture({std::move(file), ui::ImageType::kBmp});
  }
  if (!Image2.GetPicture().Empty()) Image3.SetPicture(Image2.GetPicture());
}

void TForm1::SetupLanguage() {
  const bool chinese = startup::IsChinese(Language);
  FDisplayName = startup::LoadParamString(chinese ? startup::kIdDisplayNameCn
                                                  : startup::kIdDisplayNameEn);
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
  Memo2.SetLines(LicenseAgreement(Language, FDisplayName, FFreeware));
}

// --- Destination folder -----------------------------------------------------------------------

void TForm1::ProposeSetupDir() {
  // An unreadable shell folder setting means no earlier installation can be found there; it must
  // not stop the wizard from proposing its own folder.
  auto find = [this](const char16_t* folder) -> Text {
    try {
      return shell::FindInstalledFolder(FDisplayName, folder);
    } catch (const platform::Exception&) {
      return Text();
    }
  };
  Text found = find(u"QuickLaunch");
  if (found.empty()) found = find(u"Desktop");
  if (!found.empty()) {
    found.pop_back();  // the trailing backslash
    editSetupDir.SetText(found);
    return;
  }
  const Text program_files = platform::CurrentOs().GetEnvironmentVariable(u"PROGRAMFILES")
                                 .value_or(Text());
  editSetupDir.SetText(program_files + u"\\Tavrel Soft\\" + FExeName);
}

void TForm1::editSetupDirChange() {
  const Text& text = editSetupDir.GetText();
  if (text.empty() || FFixedDrives.find(AsciiUpper(text[0])) == Text::npos) {
    lblFreeSize.Hide();
    return;
  }
  if (text.size() < 3 || text[1] != u':' || text[2] != u'\\') {
    lblFreeSize.Hide();
    return;
  }
  ShowFreeSpace();
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

void TForm1::ApplicationEvents1Idle() {
  pnlStep1.SetVisible(FStep == 1);
  pnlStep2.SetVisible(FStep == 2);
  pnlStep3.SetVisible(FStep == 3);
  pnlStep4.SetVisible(FStep == 4);
  btnPrev.SetVisible(FStep == 2 || FStep == 3);
  btnClose.SetVisible(FStep < 4);
  btnNext.SetEnabled(FStep != 3 || lblFreeSize.Visible());
}

void TForm1::UpdateNextCaption() {
  switch (FStep) {
    case 2:
      btnNext.SetText(FCaptionAgree);
      break;
    case 3:
      btnNext.SetText(FCaptionInstall);
      break;
    case 4:
      btnNext.SetText(FCaptionFinish);
      break;
    default:
      btnNext.SetText(FCaptionNext);
      break;
  }
}

void TForm1::btnNextClick() {
  const Text caption = btnNext.GetText();
  if (caption == FCaptionFinish) {
    FinishAction();
    Close();
    return;
  }
  if (caption == FCaptionInstall && !InstallAction()) return;
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
  platform::Os& os = platform::CurrentOs();
  FSetupDir = SetupDirFromEditText(editSetupDir.GetText());
  if (!os.DirectoryExists(FSetupDir) && !platform::ForceDirectories(FSetupDir)) {
    os.MessageBox(WindowHandle(), FMsgFolderError, App().Title(), platform::kMbOk);
    return false;
  }

  SetInstallControlsEnabled(false);
  ProgressBar1.Show();
  App().ProcessMessages();  // paint the disabled buttons and the bar before the long work

  const Text package_path = FSetupDir + u"Setup.stp";
  try {
    {
      const auto bytes = os.FindResourceBytes(u"SetupPackage", u"StpFile");
      if (!bytes) throw platform::EReadError(u"The setup package resource is missing.");
      std::unique_ptr<platform::File> file = os.CreateFileForWrite(package_path);
      if (!file) throw platform::EWriteError(u"Cannot create " + package_path);
      // In pieces of 1 MiB: written in one call, a package of 200 MB took 0.4 to 0.65 s to
      // write under Wine; in pieces, about 0.1 s.
      constexpr std::size_t kPiece = 1024 * 1024;
      for (std::size_t at = 0; at < bytes->size(); at += kPiece) {
        const auto n = static_cast<std::uint32_t>(std::min(kPiece, bytes->size() - at));
        if (!file->Write(bytes->data() + at, n)) {
          throw platform::EWriteError(u"Cannot write " + package_path);
        }
      }
    }  // closed before it is read back
    package::ExtractPackage(package_path, FSetupDir, Text(),
                            [this](std::int32_t percent) { SetProgress(percent); });
    os.Sleep(50);
    if (!os.DeleteFile(package_path)) {
      // A directory symbolic link of that name is removed as a folder; any other failure is
      // left alone, with its error code kept for whoever looks.
      const std::uint32_t error = os.GetLastError();
      const std::uint32_t attributes = os.GetFileAttributes(package_path);
      constexpr std::uint32_t kLinkToFolder =
          platform::kFileAttributeReparsePoint | platform::kFileAttributeDirectory;
      if (attributes != platform::kInvalidFileAttributes &&
          (attributes & kLinkToFolder) == kLinkToFolder) {
        os.RemoveDirectory(package_path);
      } else {
        os.SetLastError(error);
      }
    }
  } catch (...) {
    shell::ShowInfoMessage(FMsgExtractError, Text());
    SetInstallControlsEnabled(true);
    ProgressBar1.Hide();
    return false;
  }

  // Shortcuts and the uninstall entry are a convenience: the product is installed without them,
  // so their failure is not reported.
  try {
    const Text program = FSetupDir + FExeName + u".exe";
    if (chkSCOnDesktop.Checked()) {
      shell::CreateShortcut(program, FDisplayName, shell::sfDesktop, Text());
    }
    if (chkSCOnQuick.Visible() && chkSCOnQuick.Checked()) {
      shell::CreateShortcut(program, FDisplayName, shell::sfQuickLaunch, Text());
    }
    const Text key = UninstallKey(FDisplayName);
    const platform::Handle root = platform::kHkeyLocalMachine;
    shell::RegCreateKeyPath(root, key);
    shell::RegWriteStringValue(root, key, u"DisplayIcon", program);
    shell::RegWriteStringValue(root, key, u"DisplayName", FDisplayName);
    shell::RegWriteStringValue(root, key, u"DisplayVersion", FVersion);
    shell::RegWriteStringValue(root, key, u"Publisher", Publisher(Language));
    shell::RegWriteStringValue(root, key, u"URLInfoAbout", UrlInfoAbout(Language));
    shell::RegWriteStringValue(root, key, u"UninstallString", FSetupDir + u"Uninst.exe");
  } catch (...) {
  }

  Image1.SetParent(pnlStep4);  // the completion page shows the banner too
  ProgressBar1.Hide();
  return true;
}

void TForm1::FinishAction() {
  if (chkRunOnExit.Checked()) LaunchProgram(FSetupDir + FExeName + u".exe", Text());
}

}  // namespace wizard
