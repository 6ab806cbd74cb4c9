// Start-up: the product parameters, the language, and the refusal while the product runs.
#include <gtest/gtest.h>

#include "install/running_check.h"
#include "params/product_params.h"
#include "platform/os.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"
#include "startup/setup_entry.h"
#include "ui/headless_backend.h"

namespace {

using params::kStringTableLanguage;
using platform::Text;

TEST(ProductParamsTest, BooleanTextRule) {
  const std::pair<Text, std::optional<bool>> rows[] = {
      {u"-1", true},
      {u"1", true},
      {u"true", true},
      {u"TRUE", true},
      {u" 2 ", true},
      {u"0.5", true},
      {u"1e3", true},
      {u"0", false},
      {u"False", false},
      {u"-0", false},
      {u"0.0", false},
      {u"0e5", false},
      {u"", std::nullopt},
      {u"yes", std::nullopt},
      {u"1x", std::nullopt},
      {u"-", std::nullopt},
      {u"truely", std::nullopt},
      {u"1e", std::nullopt},
  };
  for (const auto& [text, value] : rows) {
    EXPECT_EQ(params::ParseBoolText(text), value) << platform::TextToUtf8(text);
  }
  EXPECT_FALSE(params::FreewareFromText(u"yes")) << "malformed: the shareware terms";
}

TEST(ProductParamsTest, LanguageFromCodePage) {
  EXPECT_EQ(params::LanguageFromCodePage(936), 0);
  for (std::uint32_t cp : {1252u, 950u, 932u, 65001u}) {
    EXPECT_EQ(params::LanguageFromCodePage(cp), 2) << cp;
  }
}

TEST(ProductParamsTest, LoadsTheStringTableOfChinesePrc) {
  platform::SimWindows os;
  platform::ScopedOs scoped(os);
  os.SetResString(1001, kStringTableLanguage, u"Cls");
  os.SetResString(1004, kStringTableLanguage, u"Name");
  os.SetResString(1005, kStringTableLanguage, u"名字");
  os.SetResString(1009, kStringTableLanguage, u"-1");
  os.SetResString(1012, kStringTableLanguage, u"3 MB");
  os.SetResString(1010, 1033, u"English only");
  const params::ProductParams p = params::LoadProductParams();
  EXPECT_EQ(p.WindowClass, u"Cls");
  EXPECT_EQ(p.DisplayNameEn, u"Name");
  EXPECT_EQ(p.DisplayNameCn, u"名字");
  EXPECT_TRUE(p.Freeware);
  EXPECT_EQ(p.RequiredSpace, u"3 MB");
  EXPECT_EQ(p.ExeBaseName, u"") << "a string of another language is missing here";
  EXPECT_EQ(p.Version, u"");
  // Parameters with a default: a missing string and an empty one (what a block of the table
  // holds for an id the builder left out) both give the default.
  EXPECT_EQ(p.PublisherName, u"Tavrel Software");
  os.SetResString(params::kIdPublisherFolder, kStringTableLanguage, u"");
  os.SetResString(params::kIdPublisherUrl, kStringTableLanguage, u"https://own.example/");
  const params::ProductParams q = params::LoadProductParams();
  EXPECT_EQ(q.PublisherFolder, u"Tavrel Soft");
  EXPECT_EQ(q.PublisherUrl, u"https://own.example/");
  EXPECT_EQ(q.PublisherUrlCn, u"http://www.tavrel.com/index_chs.shtml");
  EXPECT_EQ(q.License, u"") << "the built-in terms";
}

class EntryTest : public ::testing::Test {
 protected:
  EntryTest() {
    os_.SetResString(1001, kStringTableLanguage, u"DemoClass");
    os_.SetResString(1002, kStringTableLanguage, u"Demo");
    os_.SetResString(1003, kStringTableLanguage, u"演示");
    os_.SetResString(1004, kStringTableLanguage, u"Demo");
    os_.SetResString(1005, kStringTableLanguage, u"演示");
  }
  int Run() { return startup::RunSetup(ui_); }

  platform::SimWindows os_;
  platform::ScopedOs scoped_{os_};
  ui::HeadlessBackend ui_;
};

TEST_F(EntryTest, RefusesWhileEitherEditionRuns) {
  struct Row {
    std::vector<std::pair<Text, Text>> windows;  // class, title
    std::uint32_t code_page;
    std::optional<std::pair<Text, Text>> message;  // text, caption
  };
  const Text en_msg = u"Demo program is running, please close it first.";
  const Row rows[] = {
      {{{u"DemoClass", u"Demo"}}, 1252, {{en_msg, u"Setup"}}},
      {{{u"DemoClass", u"Demo"}}, 936, {{u"Demo正在运行，请先退出后再进行安装。", u"安装向导"}}},
      {{{u"DemoClass", u"演示"}}, 936, {{u"演示正在运行，请先退出后再进行安装。", u"安装向导"}}},
      {{{u"DemoClass", u"演示"}}, 950, {{en_msg, u"Setup"}}},
      // Both running, in either order: the English edition's title is found first.
      {{{u"DemoClass", u"演示"}, {u"DemoClass", u"Demo"}},
       936,
       {{u"Demo正在运行，请先退出后再进行安装。", u"安装向导"}}},
      {{{u"democlass", u"Demo"}, {u"DemoClass", u"演示"}},
       936,
       {{u"Demo正在运行，请先退出后再进行安装。", u"安装向导"}}},
      {{{u"OtherClass", u"Demo"}, {u"DemoClass", u"Demo 2"}}, 1252, std::nullopt},
      {{}, 936, std::nullopt},
  };
  for (const Row& row : rows) {
    platform::SimWindows os;
    platform::ScopedOs scoped(os);
    os.SetCodePage(row.code_page);
    os.SetResString(1001, kStringTableLanguage, u"DemoClass");
    os.SetResString(1002, kStringTableLanguage, u"Demo");
    os.SetResString(1003, kStringTableLanguage, u"演示");
    for (const auto& [cls, title] : row.windows) os.AddWindow(cls, title);
    ui::HeadlessBackend ui;
    EXPECT_EQ(startup::RunSetup(ui), 0);
    if (row.message) {
      ASSERT_EQ(os.MessageBoxes().size(), 1u);
      const auto& box = os.MessageBoxes()[0];
      EXPECT_EQ(platform::TextToUtf8(box.text), platform::TextToUtf8(row.message->first));
      EXPECT_EQ(platform::TextToUtf8(box.caption), platform::TextToUtf8(row.message->second));
      EXPECT_EQ(box.flags, 0u);
      EXPECT_EQ(box.owner, 0u);
      EXPECT_TRUE(ui.CreationOrder().empty()) << "no form in the refusal path";
      EXPECT_EQ(ui.ApplicationIcon(), u"");
      EXPECT_EQ(ui.InitializeCalls(), 0);
    } else {
      EXPECT_TRUE(os.MessageBoxes().empty());
      ASSERT_FALSE(ui.CreationOrder().empty());
      EXPECT_EQ(ui.State(ui.CreationOrder()[0]).name, u"Form1");
    }
  }
}

TEST_F(EntryTest, MissingTitlesAreProbedAsEmptyStringsNotAsWildcards) {
  platform::SimWindows os;
  platform::ScopedOs scoped(os);
  os.SetResString(1001, kStringTableLanguage, u"DemoClass");
  os.AddWindow(u"DemoClass", u"Some document - Demo");
  install::ProductWindow window = install::LoadProductWindow();
  EXPECT_EQ(install::FindRunningTitle(window), u"");
  EXPECT_EQ(startup::RunSetup(ui_), 0);
  EXPECT_TRUE(os.MessageBoxes().empty());
}

TEST_F(EntryTest, WizardRunsUntilItsFormCloses) {
  os_.SetCodePage(936);
  // The close waits for the pass after the next one, so the idle rule shows page 2 between.
  ui_.Post([this] {
    ui_.Click(u"btnNext");
    ui_.Post([this] { ui_.Click(u"btnClose"); });
  });
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(params::Language(), 0);
  EXPECT_EQ(ui_.InitializeCalls(), 1);
  EXPECT_EQ(ui_.FinalizeCalls(), 1);
  EXPECT_EQ(ui_.ApplicationIcon(), u"APPICON");
  EXPECT_EQ(ui_.ApplicationTitle(), u"安装向导 - 演示");
  EXPECT_TRUE(ui_.QuitPosted());
  // The form was shown, went to page 2 and is gone.
  EXPECT_EQ(ui_.Find(u"Form1"), nullptr);
  bool page2_shown = false;
  for (ui::ControlId id : ui_.CreationOrder()) {
    const auto& s = ui_.State(id);
    if (s.name == u"pnlStep2") page2_shown = s.visible;
  }
  EXPECT_TRUE(page2_shown);
}

}  // namespace
