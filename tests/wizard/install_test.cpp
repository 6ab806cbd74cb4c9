// Install and Finish: the folder, the package, its failures, shortcuts, the uninstall entry.
#include <functional>

#include "install/install_engine.h"
#include "platform/errors.h"
#include "wizard/browse_and_launch.h"
#include "wizard_fixture.h"

namespace wiztest {
namespace {

const Text kUninstallKey = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class InstallTest : public WizardTest {
 protected:
  // Page 3 with the folder typed, then Install.
  void Install(const Text& folder, int language = kEnglish) {
    SetPackageResource();
    Create(language);
    GoToPage(3);
    ASSERT_TRUE(Type(u"editSetupDir", folder));
    ASSERT_TRUE(Click(u"btnNext"));
  }
  Text RegValue(const Text& display_name, const Text& name) {
    auto v = os_.GetRegistryValue(platform::kHkeyLocalMachine, kUninstallKey + display_name, name);
    if (!v) return u"<missing>";
    EXPECT_EQ(v->type, platform::kRegSz);
    Text t;
    for (std::size_t i = 0; i + 1 < v->data.size(); i += 2) {
      t += static_cast<char16_t>(v->data[i] | v->data[i + 1] << 8);
    }
    if (!t.empty() && t.back() == u'\0') t.pop_back();
    return t;
  }
  bool ShortcutIn(const Text& folder) {
    return os_.ReadShortcutFile(folder + u"\\Tavrel Demo.lnk").has_value();
  }
};

TEST(SetupDirTest, TrailingBackslashIsAddedBeforeTrimming) {
  const std::pair<Text, Text> rows[] = {
      {u"D:\\Apps\\Tool", u"D:\\Apps\\Tool\\"},
      {u"D:\\Apps\\Tool\\", u"D:\\Apps\\Tool\\"},
      {u"  D:\\Apps\\Tool  ", u"D:\\Apps\\Tool  \\"},
      {u"\tD:\\x\\ \r", u"D:\\x\\ \r\\"},
      {u"", u"\\"},
  };
  for (const auto& [typed, dir] : rows) {
    EXPECT_EQ(wizard::SetupDirFromEditText(typed), dir) << platform::TextToUtf8(typed);
  }
}

TEST_F(InstallTest, InstallUnpacksRemovesThePackageAndGoesToTheLastPage) {
  os_.SetWindowsMajorVersion(5);
  WriteFile(u"D:\\Apps\\Tool\\Setup.stp", "an older package");
  Install(u"D:\\Apps\\Tool");
  EXPECT_EQ(Form().FSetupDir, u"D:\\Apps\\Tool\\");
  EXPECT_EQ(Form().FStep, 4);
  EXPECT_EQ(State(u"btnNext").text, u"&Finish");
  EXPECT_TRUE(State(u"btnNext").enabled);
  EXPECT_TRUE(ui_.Showing(u"pnlStep4"));
  EXPECT_FALSE(ui_.Showing(u"btnClose"));
  EXPECT_FALSE(ui_.Showing(u"btnPrev"));
  EXPECT_FALSE(State(u"ProgressBar1").visible);
  EXPECT_EQ(State(u"ProgressBar1").position, 100);
  EXPECT_EQ(State(u"Image1").parent, Form().pnlStep4.Id());
  EXPECT_EQ(State(u"Image1").bounds, (ui::Rect{0, 0, 160, 308}));
  EXPECT_TRUE(ui_.Showing(u"Image1"));
  EXPECT_EQ(TreeOf(u"D:\\Apps\\Tool"), (std::vector<std::pair<std::string, std::string>>{
                                           {"TavrelDemo.exe", "MZ demo program"},
                                           {"doc/readme.txt", std::string(5000, 'r')}}));
  EXPECT_EQ(os_.Sleeps(), (std::vector<std::uint32_t>{50}));
  EXPECT_TRUE(os_.MessageBoxes().empty());

  EXPECT_TRUE(ShortcutIn(kDesktop));
  EXPECT_TRUE(ShortcutIn(kQuickLaunch));
  EXPECT_EQ(os_.ReadShortcutFile(kDesktop + u"\\Tavrel Demo.lnk")->first,
            u"D:\\Apps\\Tool\\TavrelDemo.exe");
  const std::pair<Text, Text> values[] = {
      {u"DisplayIcon", u"D:\\Apps\\Tool\\TavrelDemo.exe"},
      {u"DisplayName", u"Tavrel Demo"},
      {u"DisplayVersion", u"1.0"},
      {u"Publisher", u"Tavrel Software"},
      {u"URLInfoAbout", u"http://www.tavrel.com/"},
      {u"UninstallString", u"D:\\Apps\\Tool\\Uninst.exe"},
      {u"QuietUninstallString", u"\"D:\\Apps\\Tool\\Uninst.exe\" /S"},
      {u"CreatedFolder", u""},  // the folder existed
  };
  for (const auto& [name, value] : values) {
    EXPECT_EQ(RegValue(u"Tavrel Demo", name), value) << platform::TextToUtf8(name);
  }
}

// While it unpacks, the window answers messages sent to it, but a request to close it (here sent
// once Setup.stp is being written) is ignored: the install goes on to the last page.
TEST_F(InstallTest, WindowAnswersDuringTheUnpackAndIgnoresClosing) {
  const Text folder = u"D:\\Apps\\Tool\\";
  bool close_sent = false;
  std::function<void()> close_once_unpacking = [&] {
    if (!os_.FileExists(folder + u"Setup.stp")) {
      ui_.Send(close_once_unpacking);  // not yet: ask again at the next pass
      return;
    }
    close_sent = true;
    ui_.CloseWindow();
  };
  ui_.Send(close_once_unpacking);
  Install(u"D:\\Apps\\Tool");
  EXPECT_TRUE(close_sent);
  EXPECT_GT(ui_.AnswerCalls(), 0);
  EXPECT_EQ(Form().FStep, 4);
  EXPECT_TRUE(ui_.Showing(u"pnlStep4"));
  EXPECT_FALSE(app_.Terminated());
  EXPECT_EQ(ReadFile(folder + u"TavrelDemo.exe"), "MZ demo program");
}
TEST_F(InstallTest, ChineseEntryNamesTheMakerInChinese) {
  Install(u"C:\\程序\\演示", kChinese);
  ASSERT_EQ(Form().FStep, 4);
  EXPECT_EQ(RegValue(u"塔维演示", u"Publisher"), u"塔维软件工作室");
  EXPECT_EQ(RegValue(u"塔维演示", u"URLInfoAbout"), u"http://www.tavrel.com/index_chs.shtml");
  EXPECT_EQ(RegValue(u"塔维演示", u"DisplayName"), u"塔维演示");
  EXPECT_TRUE(os_.ReadShortcutFile(kDesktop + u"\\塔维演示.lnk").has_value());
}

// A product of another publisher: its names and addresses in the entry, its folder proposed, its
// own licence shown character for character (tabs, a final line end and a long text included),
// and the uninstaller's path quoted because it holds a space.
TEST_F(InstallTest, AProductOfItsOwnPublisherInBothLanguages) {
  const Text lang_en =
      u"Zephyr licence\r\n\r\n\tTerms\twith tabs.\r\n" + Text(40000, u'e') + u"\r\n";
  const Text lang_cn = u"西风许可协议\r\n" + Text(40000, u'风') + u"\r\n最后一行";
  const std::pair<params::StringId, Text> strings[] = {
      {params::kIdPublisherName, u"Zephyr Works"},
      {params::kIdPublisherNameCn, u"西风工作室"},
      {params::kIdPublisherUrl, u"https://zephyr.example/"},
      {params::kIdPublisherUrlCn, u"https://zephyr.example/cn/"},
      {params::kIdPublisherFolder, u"Zephyr Soft"},
      {params::kIdLicense, lang_en},
      {params::kIdLicenseCn, lang_cn}};
  for (const auto& [id, text] : strings) os_.SetResString(id, params::kStringTableLanguage, text);
  struct Row {
    int language;
    Text display_name, publisher, url, license;
  };
  for (const Row& row :
       {Row{kEnglish, u"Tavrel Demo", u"Zephyr Works", u"https://zephyr.example/", lang_en},
        Row{kChinese, u"塔维演示", u"西风工作室", u"https://zephyr.example/cn/", lang_cn}}) {
    SCOPED_TRACE(row.language);
    SetPackageResource();
    Create(row.language);
    EXPECT_EQ(State(u"editSetupDir").text, u"C:\\Program Files\\Zephyr Soft\\TavrelDemo");
    EXPECT_EQ(State(u"Memo2").text, row.license);
    GoToPage(3);
    ASSERT_TRUE(Click(u"btnNext"));
    ASSERT_EQ(Form().FStep, 4);
    EXPECT_EQ(RegValue(row.display_name, u"Publisher"), row.publisher);
    EXPECT_EQ(RegValue(row.display_name, u"URLInfoAbout"), row.url);
    EXPECT_EQ(RegValue(row.display_name, u"UninstallString"),
              u"\"C:\\Program Files\\Zephyr Soft\\TavrelDemo\\Uninst.exe\"");
    form_.reset();
  }
}

TEST_F(InstallTest, QuickLaunchShortcutOnlyBeforeVistaAndOnlyWhenChecked) {
  struct Row {
    std::uint32_t major;
    bool untick_desktop;
    bool desktop;
    bool quick_launch;
  };
  const Row rows[] = {{5, false, true, true}, {5, true, false, true}, {6, false, true, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << row.major << row.untick_desktop);
    std::filesystem::remove(*os_.HostPath(kDesktop + u"\\Tavrel Demo.lnk"));
    std::filesystem::remove(*os_.HostPath(kQuickLaunch + u"\\Tavrel Demo.lnk"));
    os_.SetWindowsMajorVersion(row.major);
    form_.reset();
    SetPackageResource();
    Create();
    GoToPage(3);
    if (row.untick_desktop) {
      ASSERT_TRUE(Click(u"chkSCOnDesktop"));
    }
    ASSERT_TRUE(Click(u"btnNext"));
    ASSERT_EQ(Form().FStep, 4);
    EXPECT_EQ(ShortcutIn(kDesktop), row.desktop);
    EXPECT_EQ(ShortcutIn(kQuickLaunch), row.quick_launch);
  }
}

TEST_F(InstallTest, FolderThatCannotBeCreatedKeepsThePage) {
  os_.MapDrive(u'F', "", platform::kDriveFixed);  // no medium: nothing can be created there
  Create();
  GoToPage(3);
  ASSERT_TRUE(Type(u"editSetupDir", u"F:\\Nowhere"));
  ASSERT_TRUE(Click(u"btnNext"));
  EXPECT_EQ(Form().FStep, 3);
  ASSERT_EQ(os_.MessageBoxes().size(), 1u);
  const auto& box = os_.MessageBoxes()[0];
  EXPECT_EQ(box.text, u"Destination folder can't be created, need to select another folder.");
  EXPECT_EQ(box.caption, u"Setup - Tavrel Demo");
  EXPECT_EQ(box.flags, 0u);
  EXPECT_EQ(State(u"btnNext").text, u"&Install");
  for (const char16_t* c : {u"btnNext", u"btnPrev", u"btnClose", u"btnBrowse"}) {
    EXPECT_TRUE(State(c).enabled) << platform::TextToUtf8(c);
  }
  EXPECT_FALSE(State(u"ProgressBar1").visible);
}

TEST_F(InstallTest, FailedUnpackReportsAndLetsTheUserTryAgain) {
  SetPackageResource(/*damaged=*/true);
  Create();
  GoToPage(3);
  ASSERT_TRUE(Type(u"editSetupDir", u"D:\\Bad"));
  ASSERT_TRUE(Click(u"btnNext"));
  EXPECT_EQ(Form().FStep, 3);
  ASSERT_EQ(os_.MessageBoxes().size(), 1u);
  const auto& box = os_.MessageBoxes()[0];
  EXPECT_EQ(box.text, Form().FMsgExtractError);
  EXPECT_EQ(box.caption, u"Setup - Tavrel Demo");
  EXPECT_EQ(box.flags, platform::kMbIconInformation);
  for (const char16_t* c : {u"btnNext", u"btnPrev", u"btnClose", u"btnBrowse"}) {
    EXPECT_TRUE(State(c).enabled) << platform::TextToUtf8(c);
  }
  EXPECT_FALSE(State(u"ProgressBar1").visible);
  EXPECT_NE(ReadFile(u"D:\\Bad\\Setup.stp"), "<missing>") << "left for inspection";
  EXPECT_FALSE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kUninstallKey + u"Tavrel Demo"));
  EXPECT_FALSE(ShortcutIn(kDesktop));

  // With a good package the second press installs.
  SetPackageResource();
  ASSERT_TRUE(Click(u"btnNext"));
  EXPECT_EQ(Form().FStep, 4);
  EXPECT_EQ(ReadFile(u"D:\\Bad\\Setup.stp"), "<missing>");
  EXPECT_EQ(ReadFile(u"D:\\Bad\\TavrelDemo.exe"), "MZ demo program");
}

TEST_F(InstallTest, MissingPackageResourceIsAnExtractionError) {
  Create();
  GoToPage(3);
  ASSERT_TRUE(Click(u"btnNext"));
  EXPECT_EQ(Form().FStep, 3);
  ASSERT_EQ(os_.MessageBoxes().size(), 1u);
  EXPECT_EQ(os_.MessageBoxes()[0].flags, platform::kMbIconInformation);
}

TEST_F(InstallTest, ShortcutFailureSkipsTheRestOfTheConvenienceStepOnly) {
  os_.SetWindowsMajorVersion(5);
  os_.FailCreateShellLink(platform::kEFail);
  Install(u"D:\\Apps\\Tool");
  EXPECT_EQ(Form().FStep, 4);
  EXPECT_TRUE(os_.MessageBoxes().empty());
  EXPECT_FALSE(ShortcutIn(kQuickLaunch));
  EXPECT_FALSE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kUninstallKey + u"Tavrel Demo"));
  EXPECT_EQ(ReadFile(u"D:\\Apps\\Tool\\TavrelDemo.exe"), "MZ demo program");
}

TEST_F(InstallTest, FinishStartsTheProgramOnlyWhenAsked) {
  for (const bool launch : {true, false}) {
    SCOPED_TRACE(launch);
    form_.reset();
    ui::HeadlessBackend ui;
    ui::Application app(ui);
    SetPackageResource();
    wizard::TForm1 form(app, kEnglish);
    form.Show();
    for (int i = 0; i < 3; ++i) {
      ASSERT_TRUE(ui.Click(u"btnNext"));
      app.Idle();
    }
    ASSERT_EQ(form.FStep, 4);
    if (!launch) {
      ASSERT_TRUE(ui.Click(u"chkRunOnExit"));
    }
    const std::size_t before = os_.ShellExecutes().size();
    ASSERT_TRUE(ui.Click(u"btnNext"));
    EXPECT_TRUE(app.Terminated());
    EXPECT_FALSE(ui.State(u"Form1").visible);
    ASSERT_EQ(os_.ShellExecutes().size(), before + (launch ? 1 : 0));
    if (launch) {
      const platform::ShellExecuteInfo& info = os_.ShellExecutes().back();
      EXPECT_EQ(info.lpFile, u"C:\\Program Files\\Tavrel Soft\\TavrelDemo\\TavrelDemo.exe");
      EXPECT_EQ(info.lpParameters, Text());
      EXPECT_FALSE(info.lpVerb.has_value());
      EXPECT_FALSE(info.lpDirectory.has_value());
      EXPECT_EQ(info.cbSize, 60u);
      EXPECT_EQ(info.fMask, 0x40u);
      EXPECT_EQ(info.nShow, 1);
      EXPECT_EQ(info.hwnd, 0u);
    }
  }
}

TEST_F(InstallTest, LaunchProgramReportsTheProcessOrNull) {
  os_.SetShellExecuteResult(true, 0x1234);
  EXPECT_EQ(wizard::LaunchProgram(u"C:\\a.exe", u"-x"), 0x1234u);
  EXPECT_EQ(os_.ShellExecutes().back().lpParameters, Text(u"-x"));
  os_.SetShellExecuteResult(false);
  EXPECT_EQ(wizard::LaunchProgram(u"C:\\a.exe", u""), 0u);
}

// The engine without the form: the package is written out, unpacked and removed, and the caller
// hears of each piece of work (the form uses that to keep its window answering).
TEST_F(InstallTest, EngineReportsProgressAndEachPieceOfWork) {
  SetPackageResource();
  ASSERT_TRUE(install::CreateSetupDir(u"D:\\Apps\\"));
  std::vector<std::string> events;
  install::UnpackPackage(u"D:\\Apps\\",
                         {.progress = [&](std::int32_t p) { events.push_back(std::to_string(p)); },
                          .between_pieces = [&] { events.push_back("|"); }});
  EXPECT_EQ(ReadFile(u"D:\\Apps\\TavrelDemo.exe"), "MZ demo program");
  EXPECT_EQ(ReadFile(u"D:\\Apps\\doc\\readme.txt"), std::string(5000, 'r'));
  EXPECT_FALSE(os_.FileExists(u"D:\\Apps\\Setup.stp"));
  // The package written out (one piece), then each member: read and written (one piece each),
  // then its percentage.
  EXPECT_EQ(events, (std::vector<std::string>{"|", "|", "|", "0", "|", "|", "100"}));
  SetPackageResource(/*damaged=*/true);
  ASSERT_TRUE(install::CreateSetupDir(u"D:\\Other\\"));
  EXPECT_THROW(install::UnpackPackage(u"D:\\Other\\", {}), platform::Exception);
}

TEST(BitmapFileTest, FileHeaderPointsAtThePixels) {
  struct Row {
    int bit_count;
    std::uint32_t colors_used;
    std::uint32_t offset;
  };
  for (const Row row : {Row{24, 0, 54}, Row{8, 0, 54 + 1024}, Row{4, 3, 54 + 12}}) {
    const platform::Bytes resource = BitmapResource(row.bit_count, row.colors_used);
    const platform::Bytes file = wizard::BitmapFileFromResource(resource);
    ASSERT_EQ(file.size(), resource.size() + 14);
    EXPECT_EQ(file[0], 'B');
    EXPECT_EQ(file[1], 'M');
    EXPECT_EQ(file[2] | file[3] << 8 | file[4] << 16, static_cast<int>(file.size()));
    EXPECT_EQ(static_cast<std::uint32_t>(file[10] | file[11] << 8), row.offset) << row.bit_count;
    EXPECT_TRUE(std::equal(resource.begin(), resource.end(), file.begin() + 14));
  }
  EXPECT_TRUE(wizard::BitmapFileFromResource(platform::Bytes(10, 0)).empty());
}

}  // namespace
}  // namespace wiztest
