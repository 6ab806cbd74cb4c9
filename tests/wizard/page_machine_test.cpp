// The wizard's pages, buttons and window: the page table, the idle rule, Back and Cancel.
#include "wizard_fixture.h"

namespace wiztest {
namespace {

using ui::Rect;

class PageMachineTest : public WizardTest {};

TEST_F(PageMachineTest, EachPageShowsItsPanelCaptionAndButtons) {
  Create(kEnglish);
  struct Row {
    int step;
    Text next_caption;
    bool prev_shown;
    bool close_shown;
  };
  const Row rows[] = {
      {1, u"&Next >", false, true},
      {2, u"I &Agree", true, true},
      {3, u"&Install", true, true},
  };
  for (const Row& row : rows) {
    GoToPage(row.step);
    SCOPED_TRACE(row.step);
    for (int page = 1; page <= 4; ++page) {
      const Text panel = u"pnlStep" + Text(1, char16_t(u'0' + page));
      EXPECT_EQ(ui_.Showing(panel), page == row.step) << page;
      // Whichever page shows fills the top 308 pixels.
      if (page == row.step) {
        EXPECT_EQ(State(panel).bounds, (Rect{0, 0, 487, 308}));
      }
    }
    EXPECT_EQ(State(u"btnNext").text, row.next_caption);
    EXPECT_TRUE(State(u"btnNext").enabled);
    EXPECT_EQ(ui_.Showing(u"btnPrev"), row.prev_shown);
    EXPECT_EQ(ui_.Showing(u"btnClose"), row.close_shown);
  }
  EXPECT_TRUE(Click(u"btnPrev"));
  EXPECT_EQ(Form().FStep, 2);
  EXPECT_EQ(State(u"btnNext").text, u"I &Agree");
  EXPECT_TRUE(Click(u"btnPrev"));
  EXPECT_EQ(Form().FStep, 1);
  EXPECT_EQ(State(u"btnNext").text, u"&Next >");
  EXPECT_FALSE(ui_.Showing(u"btnPrev"));
}

TEST_F(PageMachineTest, NextOnPageThreeFollowsTheFreeSpaceLabel) {
  Create(kEnglish);
  GoToPage(3);
  EXPECT_TRUE(State(u"btnNext").enabled);
  EXPECT_TRUE(Type(u"editSetupDir", u"C:x"));
  EXPECT_FALSE(State(u"btnNext").enabled);
  EXPECT_FALSE(Click(u"btnNext"));
  EXPECT_EQ(Form().FStep, 3);
  // The rule holds on page 3 only: back on page 2 Next is usable whatever the folder.
  EXPECT_TRUE(Click(u"btnPrev"));
  EXPECT_TRUE(State(u"btnNext").enabled);
  EXPECT_TRUE(Click(u"btnNext"));
  EXPECT_FALSE(State(u"btnNext").enabled);
  EXPECT_TRUE(Type(u"editSetupDir", u"d:\\Apps"));
  EXPECT_TRUE(State(u"btnNext").enabled);
}

TEST_F(PageMachineTest, BackAndNextAgainKeepTheFolderAndOptions) {
  os_.SetWindowsMajorVersion(5);
  Create(kEnglish);
  GoToPage(3);
  EXPECT_TRUE(Type(u"editSetupDir", u"D:\\Tools\\Demo"));
  EXPECT_TRUE(Click(u"chkSCOnDesktop"));
  EXPECT_TRUE(Click(u"btnPrev"));
  EXPECT_TRUE(Click(u"btnNext"));
  EXPECT_EQ(Form().FStep, 3);
  EXPECT_EQ(State(u"editSetupDir").text, u"D:\\Tools\\Demo");
  EXPECT_FALSE(Form().chkSCOnDesktop.Checked());
  EXPECT_TRUE(Form().chkSCOnQuick.Checked());
  EXPECT_EQ(State(u"lblFreeSize").text, u"Space available: 2 MB");
}

TEST_F(PageMachineTest, CancelAndTheCloseBoxEndTheProgramAtOnce) {
  for (int page = 1; page <= 3; ++page) {
    ui::HeadlessBackend ui;
    ui::Application app(ui);
    wizard::TForm1 form(app, kEnglish);
    form.Show();
    while (form.FStep < page) {
      ASSERT_TRUE(ui.Click(u"btnNext"));
      app.Idle();
    }
    EXPECT_TRUE(ui.Click(u"btnClose")) << page;
    EXPECT_TRUE(app.Terminated()) << page;
    EXPECT_FALSE(ui.State(u"Form1").visible);
  }
  Create(kEnglish);
  ui_.CloseWindow();
  EXPECT_TRUE(app_.Terminated());
  EXPECT_TRUE(os_.MessageBoxes().empty()) << "no confirmation";
}

TEST_F(PageMachineTest, WindowSizeAndQuickLaunchBoxFollowTheWindowsVersion) {
  struct Row {
    std::uint32_t major;
    int height;
    bool quick_launch_box;
  };
  for (const Row row : {Row{5, 385, true}, Row{6, 398, false}, Row{10, 398, false}}) {
    ui::HeadlessBackend ui;
    ui::Application app(ui);
    os_.SetWindowsMajorVersion(row.major);
    wizard::TForm1 form(app, kEnglish);
    EXPECT_EQ(ui.State(u"Form1").bounds.width, 503) << row.major;
    EXPECT_EQ(ui.State(u"Form1").bounds.height, row.height) << row.major;
    EXPECT_EQ(ui.State(u"chkSCOnQuick").visible, row.quick_launch_box) << row.major;
  }
}

TEST_F(PageMachineTest, LayoutPlacesAlignedControlsAndStartState) {
  Create(kEnglish);
  EXPECT_EQ(State(u"Image1").bounds, (Rect{0, 0, 160, 308}));
  EXPECT_EQ(State(u"Panel3").bounds, (Rect{0, 0, 487, 56}));
  EXPECT_EQ(State(u"Image2").bounds, (Rect{420, 0, 67, 56}));
  EXPECT_EQ(State(u"Bevel2").bounds, (Rect{0, 56, 487, 2}));
  EXPECT_EQ(State(u"editSetupDir").bounds, (Rect{17, 24, 305, 21}));
  EXPECT_EQ(State(u"editSetupDir").parent, Form().gbFolder.Id());
  EXPECT_EQ(State(u"btnNext").style.tab_order, 0);
  EXPECT_EQ(State(u"pnlStep1").color, ui::kColorWhite);
  EXPECT_EQ(State(u"lblWelcome").color, ui::kColorWhite);
  EXPECT_EQ(State(u"lblLicense").color, ui::kColorCream);
  EXPECT_EQ(State(u"Form1").color, ui::kColorBtnFace);
  EXPECT_TRUE(State(u"Memo2").style.read_only);
  EXPECT_EQ(State(u"Memo2").style.scroll_bars, ui::ScrollBars::kVertical);
  EXPECT_FALSE(State(u"Form1").style.maximize_box);
  EXPECT_TRUE(State(u"Form1").style.screen_center);
  for (const char16_t* check : {u"chkSCOnDesktop", u"chkSCOnQuick", u"chkRunOnExit"}) {
    EXPECT_TRUE(State(check).checked) << platform::TextToUtf8(check);
  }
  const auto& bar = State(u"ProgressBar1");
  EXPECT_FALSE(bar.visible);
  EXPECT_EQ(bar.min, 0);
  EXPECT_EQ(bar.max, 100);
  EXPECT_EQ(bar.position, 0);
  EXPECT_EQ(Form().ProgressBar1.Step(), 5);
  // Pictures: the banner of the language, the header icon as a BMP file in both headers.
  EXPECT_EQ(State(u"Image1").image.back(), 2);
  EXPECT_EQ(State(u"Image1").image_type, ui::ImageType::kJpeg);
  const platform::Bytes& icon = State(u"Image2").image;
  ASSERT_GE(icon.size(), 2u);
  EXPECT_EQ(platform::Bytes(icon.begin(), icon.begin() + 2), (platform::Bytes{'B', 'M'}));
  EXPECT_EQ(State(u"Image3").image, State(u"Image2").image);
}

}  // namespace
}  // namespace wiztest
