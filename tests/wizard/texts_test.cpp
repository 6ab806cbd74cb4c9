// Every text of the wizard in both languages, as the form shows them, and the agreement variants.
#include "wizard/texts.h"

#include "params/product_params.h"
#include "wizard_fixture.h"

namespace wiztest {
namespace {

struct Expected {
  const char16_t* control;
  Text text;
};

class TextsTest : public WizardTest {
 protected:
  void ExpectTexts(const std::vector<Expected>& rows) {
    for (const Expected& row : rows) {
      EXPECT_EQ(platform::TextToUtf8(State(row.control).text), platform::TextToUtf8(row.text))
          << platform::TextToUtf8(row.control);
    }
  }
  std::vector<Text> Fields() {
    const wizard::TForm1& f = Form();
    return {f.FCaptionBack,   f.FCaptionNext,    f.FCaptionCancel,  f.FCaptionAgree,
            f.FCaptionFinish, f.FCaptionInstall, f.FMsgFolderError, f.FMsgExtractError,
            f.FBrowsePrompt,  f.FFreeSpacePrefix};
  }
};

TEST_F(TextsTest, EnglishReplacesEveryText) {
  os_.SetWindowsMajorVersion(5);
  Create(kEnglish);
  ExpectTexts({
      {u"Form1", u"Setup - Tavrel Demo"},
      {u"lblWelcome", u"Welcome to the Tavrel Demo 1.0 Setup Wizard"},
      {u"lblWillInstall",
       u"This will install Tavrel Demo 1.0 on your computer.\n\nClick Next to "
       u"continue, or Cancel to exit Setup."},
      {u"lblLicense", u"License Agreement"},
      {u"lblLicenseTip", u"Please read the following important infomation before continuing."},
      {u"lblAgreement",
       u"If you accept the terms of the agreement, click I Agree to continue. "
       u"You must accept the agreement to install Tavrel Demo."},
      {u"lblFolder", u"Select Destination Location"},
      {u"lblFolderTip", u"Where should Tavrel Demo be installed?"},
      {u"lblSetupFolder",
       u"Setup will install Tavrel Demo 1.0 into the following folder.\n\nTo "
       u"continue, click Next. If you would like to select a different "
       u"folder, click Browse."},
      {u"gbFolder", u"Destination Folder"},
      {u"btnBrowse", u"&Browse..."},
      {u"lblNeedSize", u"Space required: 1.2 MB"},
      {u"lblFreeSize", u"Space available: 3.5 GB"},
      {u"chkSCOnDesktop", u"Create a desktop icon"},
      {u"chkSCOnQuick", u"Create a Quick Launch icon"},
      {u"lblComplete", u"Completing the Tavrel Demo Setup Wizard"},
      {u"lblClose",
       u"Setup has finished installing Tavrel Demo 1.0 on your computer.\n\nClick "
       u"Finish to close this wizard."},
      {u"chkRunOnExit", u"Launch Tavrel Demo"},
      {u"btnPrev", u"< &Back"},
      {u"btnNext", u"&Next >"},
      {u"btnClose", u"Cancel"},
  });
  EXPECT_EQ(Fields(),
            (std::vector<Text>{
                u"< &Back", u"&Next >", u"Cancel", u"I &Agree", u"&Finish", u"&Install",
                u"Destination folder can't be created, need to select another folder.",
                u"An error occurred extracting files to the destination folder.\n\nWhether "
                u"you're running an older version of this software? If yes, please close it and "
                u"then click Install.",
                u"Select or create a new folder:", u"Space available: "}));
  EXPECT_EQ(app_.Title(), u"Setup - Tavrel Demo");
  EXPECT_EQ(Form().FDisplayName, u"Tavrel Demo");
  for (const char16_t* shown : {u"lblFolderTip", u"lblLicenseTip", u"lblClose"}) {
    EXPECT_TRUE(State(shown).visible) << platform::TextToUtf8(shown);
  }
  EXPECT_EQ(State(u"lblFolder").bounds.top, 9);
  EXPECT_EQ(State(u"lblLicense").bounds.top, 9);
  EXPECT_EQ(State(u"chkRunOnExit").bounds.left, 186);
  EXPECT_EQ(State(u"chkRunOnExit").bounds.top, 170);
  EXPECT_EQ(State(u"lblWelcome").font, (ui::Font{u"Tahoma", 16, true, ui::kColorWindowText}));
}

TEST_F(TextsTest, ChineseComposesItsTextsAndKeepsTheLayoutOnes) {
  os_.SetWindowsMajorVersion(5);
  Create(kChinese);
  ExpectTexts({
      {u"Form1", u"安装向导 - 塔维演示"},
      {u"lblWelcome", u"欢迎使用 塔维演示 V1.0 安装\n向导"},
      {u"lblWillInstall",
       u"此向导将引导您完成安装过程。\n\n单击 [下一步] 继续，单击 [取消] 退出安装。"},
      {u"lblSetupFolder",
       u"安装程序将安装“塔维演示 V1.0”到下列文件夹中。\n\n"
       u"如需安装到其它的文件夹，请直接修改或单击 [浏览] 选择另一个文件夹。"},
      {u"lblNeedSize", u"所需空间: 1.2 MB"},
      {u"lblFreeSize", u"剩余空间: 3.5 GB"},
      {u"lblComplete", u"塔维演示 V1.0 安装成功。"},
      {u"lblLicense", u"在安装之前，请阅读许可协议"},
      {u"lblAgreement", u"如果您接受协议中的条款，请单击 [我同意] 继续安装。"},
      {u"lblFolder", u"选择安装位置并设置选项"},
      {u"gbFolder", u"目标文件夹"},
      {u"btnBrowse", u"浏览(&S)..."},
      {u"chkSCOnDesktop", u"创建桌面快捷方式"},
      {u"chkSCOnQuick", u"创建快速启动栏快捷方式"},
      {u"chkRunOnExit", u"立即运行软件"},
      {u"btnPrev", u"上一步"},
      {u"btnNext", u"下一步"},
      {u"btnClose", u"取 消"},
  });
  EXPECT_EQ(Fields(), (std::vector<Text>{
                          u"上一步", u"下一步", u"取 消", u"我同意", u"完 成", u"安 装",
                          u"无法创建目标文件夹，请重新指定文件夹路径。",
                          u"提取文件到目标文件夹时发生错误。\n\n您是否正在运行这个软件的旧版本？"
                          u"如果是，请先关闭它，然后再次点击“安装”。",
                          u"选择或新建文件夹：", u"剩余空间: "}));
  EXPECT_EQ(app_.Title(), u"安装向导 - 塔维演示");
  for (const char16_t* hidden : {u"lblFolderTip", u"lblLicenseTip", u"lblClose"}) {
    EXPECT_FALSE(State(hidden).visible) << platform::TextToUtf8(hidden);
  }
  // Fonts and positions of the Chinese layout.
  const Text song = u"宋体";
  EXPECT_EQ(State(u"lblWelcome").font, (ui::Font{song, 16, true, ui::kColorWindowText}));
  EXPECT_EQ(State(u"lblComplete").font, (ui::Font{song, 16, true, ui::kColorWindowText}));
  EXPECT_EQ(State(u"lblWillInstall").font, (ui::Font{song, 12, false, ui::kColorWindowText}));
  EXPECT_EQ(State(u"lblSetupFolder").font, (ui::Font{song, 12, false, ui::kColorWindowText}));
  EXPECT_EQ(State(u"lblNeedSize").font.name, u"Tahoma");
  EXPECT_EQ(State(u"lblWelcome").bounds, (ui::Rect{193, 40, 305, 53}));
  EXPECT_EQ(State(u"lblWillInstall").bounds, (ui::Rect{193, 116, 304, 148}));
  EXPECT_EQ(State(u"lblComplete").bounds, (ui::Rect{203, 28, 305, 53}));
  EXPECT_EQ(State(u"lblFolder").bounds.top, 20);
  EXPECT_EQ(State(u"chkRunOnExit").bounds.left, 207);
  EXPECT_EQ(State(u"Image1").image.back(), 0) << "the Chinese banner";
}

TEST_F(TextsTest, NoEnglishTextRemainsInChinese) {
  Create(kEnglish);
  std::vector<std::pair<Text, Text>> english;
  for (ui::ControlId id : ui_.CreationOrder()) {
    const auto& s = ui_.State(id);
    // The folder is a path, not a text of the language.
    if (!s.text.empty() && s.name != u"editSetupDir") english.emplace_back(s.name, s.text);
  }
  const std::vector<Text> english_fields = Fields();
  form_.reset();

  ui::HeadlessBackend ui;
  ui::Application app(ui);
  wizard::TForm1 chinese(app, kChinese);
  for (const auto& [name, text] : english) {
    EXPECT_NE(ui.State(name).text, text) << platform::TextToUtf8(name);
  }
  const std::vector<Text> chinese_fields = {chinese.FCaptionBack,    chinese.FCaptionNext,
                                            chinese.FCaptionCancel,  chinese.FCaptionAgree,
                                            chinese.FCaptionFinish,  chinese.FCaptionInstall,
                                            chinese.FMsgFolderError, chinese.FMsgExtractError,
                                            chinese.FBrowsePrompt,   chinese.FFreeSpacePrefix};
  for (std::size_t i = 0; i < english_fields.size(); ++i) {
    EXPECT_NE(chinese_fields[i], english_fields[i]) << i;
  }
}

TEST_F(TextsTest, EmptyVersionLeavesTheSeparatorsInPlace) {
  os_.SetResString(1011, params::kStringTableLanguage, u"");
  os_.SetResString(1012, params::kStringTableLanguage, u"");
  Create(kEnglish);
  EXPECT_EQ(State(u"lblWelcome").text, u"Welcome to the Tavrel Demo  Setup Wizard");
  EXPECT_EQ(State(u"lblNeedSize").text, u"Space required: ");
  form_.reset();
  Create(kChinese);
  EXPECT_EQ(State(u"lblWelcome").text, u"欢迎使用 塔维演示 V 安装\n向导");
  EXPECT_EQ(State(u"lblComplete").text, u"塔维演示 V 安装成功。");
  EXPECT_EQ(State(u"lblNeedSize").text, u"所需空间: ");
}

TEST_F(TextsTest, AgreementFollowsTheFreewareFlag) {
  struct Row {
    const char16_t* freeware_text;
    int language;
    std::size_t lines;
  };
  const Row rows[] = {{u"-1", kEnglish, 22},
                      {u"0", kEnglish, 22},
                      {u"True", kChinese, 16},
                      {u"false", kChinese, 18}};
  for (const Row& row : rows) {
    SCOPED_TRACE(platform::TextToUtf8(row.freeware_text));
    os_.SetResString(1009, params::kStringTableLanguage, row.freeware_text);
    form_.reset();
    Create(row.language);
    const std::vector<Text>& lines = Form().Memo2.Lines();
    ASSERT_EQ(lines.size(), row.lines);
    // Paragraphs separated by blank lines, two blank lines before the closing line.
    const std::size_t last = lines.size() - 1;
    for (std::size_t i = 0; i <= last; ++i) {
      EXPECT_EQ(lines[i].empty(), (i % 2 == 1 && i != last) || i == last - 1) << i;
    }
    if (row.language == kEnglish) {
      EXPECT_EQ(lines[0], u"End User License Agreement");
      EXPECT_EQ(lines[2].rfind(u"Please read the following terms and conditions carefully "
                               u"before using Tavrel Demo",
                               0),
                0u);
      EXPECT_EQ(lines[4], u"1. Disclaimer of Warranty");
      EXPECT_EQ(lines[6].rfind(u"Tavrel Demo ", 0), 0u);
      EXPECT_EQ(lines[10], u"2. License");
      EXPECT_EQ(lines[16], u"3. Restrictions on Use");
      EXPECT_TRUE(lines[20].empty());
      EXPECT_EQ(lines[12] == u"This software is freeware, you can unrestricted use of it.",
                Form().FFreeware);
      EXPECT_EQ(lines[last], u"All rights reserved by Tavrel Software.");
    } else {
      EXPECT_EQ(lines[0], u"塔维演示 用户许可协议");
      EXPECT_EQ(lines[4].rfind(u"1. 塔维演示", 0), 0u);
      EXPECT_EQ(lines[6].rfind(u"2. ", 0), 0u);
      EXPECT_EQ(lines[8].rfind(u"3. ", 0), 0u);
      EXPECT_EQ(lines[10].rfind(u"4. ", 0), 0u);
      EXPECT_EQ(lines[12].rfind(u"5. ", 0), 0u);
      EXPECT_EQ(lines[last], u"塔维软件工作室 保留所有权利。");
      if (!Form().FFreeware) {
        EXPECT_EQ(lines[14].rfind(u"6. ", 0), 0u);
        // The termination clause moves from 5 to 6 unchanged.
        EXPECT_EQ(lines[14].substr(3),
                  wizard::LicenseAgreement(kChinese, u"塔维演示", true, u"P")[12].substr(3));
      }
    }
  }
  // The closing line names the product's own publisher in the wizard's language.
  os_.SetResString(params::kIdPublisherName, params::kStringTableLanguage, u"Zephyr Works");
  os_.SetResString(params::kIdPublisherNameCn, params::kStringTableLanguage, u"西风工作室");
  for (const auto& [language, closing] :
       {std::pair<int, Text>{kEnglish, u"All rights reserved by Zephyr Works."},
        std::pair<int, Text>{kChinese, u"西风工作室 保留所有权利。"}}) {
    form_.reset();
    Create(language);
    EXPECT_EQ(Form().Memo2.Lines().back(), closing);
  }
  // The freeware wording differs from the shareware one exactly in the licence clauses.
  const auto en_free = wizard::LicenseAgreement(kEnglish, u"P", true, u"M");
  const auto en_share = wizard::LicenseAgreement(kEnglish, u"P", false, u"M");
  for (std::size_t i = 0; i < en_free.size(); ++i) {
    EXPECT_EQ(en_free[i] != en_share[i], i == 12 || i == 14) << i;
  }
  const auto cn_free = wizard::LicenseAgreement(kChinese, u"P", true, u"M");
  const auto cn_share = wizard::LicenseAgreement(kChinese, u"P", false, u"M");
  EXPECT_NE(cn_free[8], cn_share[8]);
  EXPECT_EQ(cn_free.back(), cn_share.back());
}

}  // namespace
}  // namespace wiztest
