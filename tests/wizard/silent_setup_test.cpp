// setup.exe with its switches: the silent install (the wizard's rules and engine, no window, an
// exit code for each outcome), /D= for the wizard, /LOG, /? and bad switches.
#include "wizard/silent_setup.h"

#include <map>

#include "params/product_params.h"
#include "platform/text.h"
#include "startup/setup_entry.h"
#include "wizard_fixture.h"

namespace wiztest {
namespace {

const Text kEntry = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

class SilentSetupTest : public WizardTest {
 protected:
  int RunWith(const Text& arguments) {
    os_.SetCommandLine(u"\"C:\\Downloads\\setup.exe\" " + arguments);
    return startup::RunSetup(ui_);
  }
  Text Value(const Text& display_name, const Text& name) {
    auto v = os_.GetRegistryValue(platform::kHkeyLocalMachine, kEntry + display_name, name);
    if (!v) return u"<missing>";
    Text t;
    for (std::size_t i = 0; i + 1 < v->data.size(); i += 2) {
      t += static_cast<char16_t>(v->data[i] | v->data[i + 1] << 8);
    }
    if (!t.empty() && t.back() == u'\0') t.pop_back();
    return t;
  }
  // Every file and folder of the machine, with the files' contents.
  std::map<std::string, std::string> Everything() {
    std::map<std::string, std::string> all;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root_)) {
      all[std::filesystem::relative(e.path(), root_).string()] =
          e.is_directory() ? "<dir>" : std::to_string(e.file_size());
    }
    return all;
  }
  std::string Log(const Text& path) { return ReadFile(path); }
};

TEST_F(SilentSetupTest, InstallsWithTheWizardsDefaultsAndNoWindow) {
  os_.SetWindowsMajorVersion(5);
  SetPackageResource();
  EXPECT_EQ(RunWith(u"/S /LOG=C:\\s.log \"/D=C:\\Silent Target\" --launcher-extra"), 0);

  EXPECT_EQ(TreeOf(u"C:\\Silent Target"), (std::vector<std::pair<std::string, std::string>>{
                                              {"TavrelDemo.exe", "MZ demo program"},
                                              {"doc/readme.txt", std::string(5000, 'r')}}));
  EXPECT_TRUE(os_.MessageBoxes().empty());
  EXPECT_TRUE(ui_.CreationOrder().empty()) << "no window, not even a hidden one";
  EXPECT_TRUE(os_.ShellExecutes().empty()) << "the product is not started";
  // Both check boxes start checked; XP has Quick Launch.
  for (const Text& folder : {kDesktop, kQuickLaunch}) {
    EXPECT_EQ(os_.ReadShortcutFile(folder + u"\\Tavrel Demo.lnk")->first,
              u"C:\\Silent Target\\TavrelDemo.exe");
  }
  const std::pair<Text, Text> values[] = {
      {u"DisplayIcon", u"C:\\Silent Target\\TavrelDemo.exe"},
      {u"DisplayName", u"Tavrel Demo"},
      {u"DisplayVersion", u"1.0"},
      {u"Publisher", u"Tavrel Software"},
      {u"URLInfoAbout", u"http://www.tavrel.com/"},
      {u"UninstallString", u"\"C:\\Silent Target\\Uninst.exe\""},
      {u"QuietUninstallString", u"\"C:\\Silent Target\\Uninst.exe\" /S"},
      {u"CreatedFolder", u"C:\\Silent Target"},
  };
  for (const auto& [name, value] : values) {
    EXPECT_EQ(Value(u"Tavrel Demo", name), value) << platform::TextToUtf8(name);
  }

  const std::string log = Log(u"C:\\s.log");
  ASSERT_EQ(log.substr(0, 3), "\xEF\xBB\xBF");
  for (const char* line :
       {"Command line: \"C:\\Downloads\\setup.exe\" /S /LOG=C:\\s.log \"/D=C:\\Silent Target\" "
        "--launcher-extra\r\n",
        "Argument ignored: --launcher-extra\r\n", "Language: English (code page 1252)\r\n",
        "Folder: C:\\Silent Target (from /D=)\r\n",
        "File: C:\\Silent Target\\TavrelDemo.exe (15 bytes)\r\n",
        "File: C:\\Silent Target\\doc\\readme.txt (5000 bytes)\r\n",
        "QuietUninstallString = \"C:\\Silent Target\\Uninst.exe\" /S\r\n",
        "Result: installed\r\nExit code: 0\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  std::size_t line_feeds = 0;
  for (std::size_t at = log.find('\n'); at != std::string::npos; at = log.find('\n', at + 1)) {
    ++line_feeds;
    EXPECT_EQ(log[at - 1], '\r') << "every line ends in CRLF";
  }
  EXPECT_GE(line_feeds, 10u);
}

TEST_F(SilentSetupTest, ThePagesProposalInTheSetupsLanguageWithoutQuickLaunchOnVista) {
  os_.SetCodePage(936);
  os_.SetWindowsMajorVersion(6);
  MakeFolder(u"C:\\Program Files");
  SetPackageResource();
  EXPECT_EQ(RunWith(u"/s"), 0);
  const Text dir = u"C:\\Program Files\\Tavrel Soft\\TavrelDemo";
  EXPECT_EQ(ReadFile(dir + u"\\TavrelDemo.exe"), "MZ demo program");
  EXPECT_TRUE(os_.ReadShortcutFile(kDesktop + u"\\塔维演示.lnk").has_value());
  EXPECT_FALSE(os_.ReadShortcutFile(kQuickLaunch + u"\\塔维演示.lnk").has_value());
  EXPECT_EQ(Value(u"塔维演示", u"Publisher"), u"塔维软件工作室");
  EXPECT_EQ(Value(u"塔维演示", u"CreatedFolder"), u"C:\\Program Files\\Tavrel Soft");
  EXPECT_TRUE(os_.MessageBoxes().empty());
}

TEST_F(SilentSetupTest, AnEarlierInstallationsFolderAndAnExistingFolderCreateNothing) {
  MakeFolder(u"D:\\Old\\Demo");
  AddShortcut(kDesktop, u"D:\\Old\\Demo\\TavrelDemo.exe");
  SetPackageResource();
  EXPECT_EQ(RunWith(u"/S"), 0);
  EXPECT_EQ(ReadFile(u"D:\\Old\\Demo\\TavrelDemo.exe"), "MZ demo program");
  EXPECT_EQ(Value(u"Tavrel Demo", u"CreatedFolder"), u"");
}

TEST_F(SilentSetupTest, EachFailureHasItsExitCodeAndTheEarlyOnesWriteNothing) {
  os_.MapDrive(u'F', root_ / "c", platform::kDriveFixed, 100);  // too little for the package
  struct Case {
    Text arguments;
    int code;
    const char* why;
  };
  const Case cases[] = {
      {u"/S /D=Apps\\Demo", wizard::kExitBadSwitch, "relative folder"},
      {u"/S /D=", wizard::kExitBadSwitch, "empty folder"},
      {u"/S /LOG=", wizard::kExitBadSwitch, "log without a file"},
      {u"/S /D=E:\\Demo", wizard::kExitFolderRefused, "removable drive"},
      {u"/S /D=Q:\\Demo", wizard::kExitFolderRefused, "missing drive"},
      {u"/S /D=\\\\server\\share\\Demo", wizard::kExitFolderRefused, "network path"},
      {u"/S /D=F:\\Demo", wizard::kExitFolderRefused, "not enough space"},
  };
  SetPackageResource();
  const auto before = Everything();
  for (const Case& c : cases) {
    EXPECT_EQ(RunWith(c.arguments), c.code) << c.why;
    EXPECT_EQ(Everything(), before) << c.why;
  }
  os_.SetResString(1001, params::kStringTableLanguage, u"DemoWindow");
  os_.SetResString(1002, params::kStringTableLanguage, u"Demo App");
  os_.AddWindow(u"DemoWindow", u"Demo App");
  EXPECT_EQ(RunWith(u"/S /D=D:\\Demo"), wizard::kExitProductRunning);
  EXPECT_EQ(Everything(), before);
  EXPECT_FALSE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kEntry + u"Tavrel Demo"));
  EXPECT_TRUE(os_.MessageBoxes().empty());
}

TEST_F(SilentSetupTest, UnpackAndEntryFailures) {
  SetPackageResource(/*damaged=*/true);
  EXPECT_EQ(RunWith(u"/S /D=D:\\Bad"), wizard::kExitUnpackFailed);
  EXPECT_FALSE(os_.RegistryKeyExists(platform::kHkeyLocalMachine, kEntry + u"Tavrel Demo"));

  SetPackageResource();
  os_.FailCreateShellLink(platform::kEFail);
  EXPECT_EQ(RunWith(u"/S /D=D:\\Good"), wizard::kExitShortcutsOrEntryFailed);
  EXPECT_EQ(ReadFile(u"D:\\Good\\TavrelDemo.exe"), "MZ demo program");
  EXPECT_TRUE(os_.MessageBoxes().empty());
}

TEST_F(SilentSetupTest, TheWizardTakesTheFolderFromTheCommandLine) {
  SetPackageResource();
  Text shown;
  ui_.Post([&] {
    shown = ui_.State(u"editSetupDir").text;
    ui_.CloseWindow();
  });
  EXPECT_EQ(RunWith(u"/D=D:\\My Apps\\Demo"), 0);
  EXPECT_EQ(shown, u"D:\\My Apps\\Demo");
}

TEST_F(SilentSetupTest, UsageAndBadSwitchesSpeakTheSetupsLanguage) {
  EXPECT_EQ(RunWith(u"/?"), 0);
  ASSERT_EQ(os_.MessageBoxes().size(), 1u);
  EXPECT_EQ(os_.MessageBoxes()[0].text.rfind(u"Usage: setup.exe", 0), 0u);
  EXPECT_EQ(RunWith(u"/D=Apps"), wizard::kExitBadSwitch);
  ASSERT_EQ(os_.MessageBoxes().size(), 2u);
  EXPECT_EQ(os_.MessageBoxes()[1].text.rfind(u"The switch \"/D=Apps\" cannot be used.", 0), 0u);
  os_.SetCodePage(936);
  EXPECT_EQ(RunWith(u"/HELP"), 0);
  EXPECT_EQ(os_.MessageBoxes()[2].text.rfind(u"用法：setup.exe", 0), 0u);
  EXPECT_EQ(os_.MessageBoxes()[2].caption, u"安装向导");
}

TEST_F(SilentSetupTest, ALogThatCannotBeWrittenIsReportedAndTheInstallGoesOn) {
  SetPackageResource();
  EXPECT_EQ(RunWith(u"/S /LOG=Q:\\nowhere\\s.log /D=D:\\Demo"), 0);
  EXPECT_EQ(ReadFile(u"D:\\Demo\\TavrelDemo.exe"), "MZ demo program");
  EXPECT_EQ(os_.StandardError().rfind("Cannot write the log Q:\\nowhere\\s.log", 0), 0u)
      << os_.StandardError();
  // /LOG alone: the temporary folder, named after the program.
  MakeFolder(u"C:\\WINDOWS\\Temp");
  EXPECT_EQ(RunWith(u"/LOG /S /D=D:\\Demo"), 0);
  EXPECT_NE(ReadFile(u"C:\\WINDOWS\\Temp\\TavrelDemo-setup.log").find("Exit code: 0\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace wiztest
