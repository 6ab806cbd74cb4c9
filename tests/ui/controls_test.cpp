// The control layer on the headless backend: layout, inherited looks, user input, message loop.
#include "ui/controls.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "ui/headless_backend.h"

namespace {

using ui::Align;
using ui::Rect;

class ControlsTest : public ::testing::Test {
 protected:
  ui::HeadlessBackend ui_;  // frame 16 x 38: a 200 x 150 form has a 184 x 112 client area
  ui::Application app_{ui_};
};

TEST_F(ControlsTest, AlignedControlsShareTheClientAreaAndHiddenOnesTakeNoRoom) {
  ui::Form form(app_, u"form");
  ui::Panel first(form, u"first");
  ui::Panel second(form, u"second");
  ui::Image left(second, u"left");
  ui::Image right(second, u"right");
  ui::Label free(second, u"free");
  form.SetBounds({10, 10, 200, 150});
  first.SetBounds({5, 5, 0, 50});
  first.SetAlign(Align::kTop);
  second.SetBounds({0, 0, 0, 40});
  second.SetAlign(Align::kTop);
  left.SetBounds({0, 0, 30, 0});
  left.SetAlign(Align::kLeft);
  right.SetBounds({0, 0, 20, 0});
  right.SetAlign(Align::kRight);
  free.SetBounds({50, 7, 60, 13});

  EXPECT_EQ(ui_.State(u"first").bounds, (Rect{0, 0, 184, 50}));
  EXPECT_EQ(ui_.State(u"second").bounds, (Rect{0, 50, 184, 40}));
  EXPECT_EQ(ui_.State(u"left").bounds, (Rect{0, 0, 30, 40}));
  EXPECT_EQ(ui_.State(u"right").bounds, (Rect{164, 0, 20, 40}));
  EXPECT_EQ(ui_.State(u"free").bounds, (Rect{50, 7, 60, 13}));

  first.Hide();
  EXPECT_EQ(ui_.State(u"second").bounds, (Rect{0, 0, 184, 40}));
  first.Show();
  EXPECT_EQ(ui_.State(u"second").bounds, (Rect{0, 50, 184, 40}));

  // A wider form widens the aligned panels and moves what is aligned to their right edge.
  form.SetWidth(300);
  EXPECT_EQ(ui_.State(u"second").bounds, (Rect{0, 50, 284, 40}));
  EXPECT_EQ(ui_.State(u"right").bounds, (Rect{264, 0, 20, 40}));
}

TEST_F(ControlsTest, FontsAndColoursFollowTheParentUntilSetOwn) {
  ui::Form form(app_, u"form");
  ui::Panel panel(form, u"panel");
  ui::Label plain(panel, u"plain");
  ui::Label own(panel, u"own");
  ui::Edit edit(panel, u"edit");
  own.SetColor(ui::kColorCream);
  EXPECT_EQ(ui_.State(u"plain").color, ui::kColorBtnFace);
  EXPECT_EQ(ui_.State(u"edit").color, ui::kColorWindow);

  panel.SetColor(ui::kColorWhite);
  EXPECT_EQ(ui_.State(u"plain").color, ui::kColorWhite);
  EXPECT_EQ(ui_.State(u"own").color, ui::kColorCream);
  EXPECT_EQ(ui_.State(u"edit").color, ui::kColorWindow);

  ui::Font bold = form.GetFont();
  bold.bold = true;
  form.SetFont(bold);
  EXPECT_TRUE(ui_.State(u"plain").font.bold);
  EXPECT_EQ(ui_.State(u"plain").font.name, u"Tahoma");
  EXPECT_EQ(ui_.State(u"plain").font.height, 11);

  // Moved onto another parent, an inheriting control takes that parent's looks.
  ui::Panel other(form, u"other");
  other.SetColor(ui::kColorCream);
  plain.SetParent(other);
  EXPECT_EQ(ui_.State(u"plain").color, ui::kColorCream);
  EXPECT_EQ(ui_.State(u"plain").parent, other.Id());
}

TEST_F(ControlsTest, ControlMovedOntoALaterParentIsDestroyedSafely) {
  // The later parent is destroyed first; the moved child must not reach back into it.
  auto form = std::make_unique<ui::Form>(app_, u"form");
  auto image = std::make_unique<ui::Image>(*form, u"image");
  auto later = std::make_unique<ui::Panel>(*form, u"later");
  image->SetParent(*later);
  later.reset();
  image.reset();
  form.reset();
  EXPECT_EQ(ui_.Find(u"image"), nullptr);
}

TEST_F(ControlsTest, UserInputReachesOnlyShownAndEnabledControls) {
  ui::Form form(app_, u"form");
  ui::Panel panel(form, u"panel");
  ui::Button button(panel, u"button");
  ui::CheckBox check(panel, u"check");
  ui::Edit edit(panel, u"edit");
  int clicks = 0;
  int check_clicks = 0;
  std::vector<platform::Text> changes;
  button.OnClick = [&] { ++clicks; };
  check.OnClick = [&] { ++check_clicks; };
  edit.OnChange = [&] { changes.push_back(edit.GetText()); };

  EXPECT_FALSE(ui_.Click(u"button")) << "the form is not shown yet";
  form.Show();
  EXPECT_TRUE(ui_.Click(u"button"));
  button.SetEnabled(false);
  EXPECT_FALSE(ui_.Click(u"button"));
  button.SetEnabled(true);
  panel.Hide();
  EXPECT_FALSE(ui_.Click(u"button"));
  EXPECT_FALSE(ui_.Toggle(u"check"));
  panel.Show();
  EXPECT_EQ(clicks, 1);

  EXPECT_TRUE(ui_.Toggle(u"check"));
  EXPECT_TRUE(check.Checked());
  EXPECT_EQ(check_clicks, 1);
  check.SetChecked(false);
  EXPECT_FALSE(ui_.State(u"check").checked);
  EXPECT_EQ(check_clicks, 1) << "setting the check from code is not a click";

  // Typing and assigning both report a change; typing does not echo back to the backend.
  EXPECT_TRUE(ui_.Type(u"edit", u"typed"));
  edit.SetText(u"assigned");
  edit.SetText(u"assigned");
  EXPECT_EQ(changes, (std::vector<platform::Text>{u"typed", u"assigned", u"assigned"}));
  EXPECT_EQ(ui_.State(u"edit").text, u"assigned");
}

TEST_F(ControlsTest, MemoKeepsLinesAndShowsThemSeparatedByCrLf) {
  ui::Form form(app_, u"form");
  ui::Memo memo(form, u"memo");
  memo.SetText(u"a\r\nb\rc\n\nd");
  EXPECT_EQ(memo.Lines(), (std::vector<platform::Text>{u"a", u"b", u"c", u"", u"d"}));
  EXPECT_EQ(ui_.State(u"memo").text, u"a\r\nb\r\nc\r\n\r\nd");
  memo.SetLines({u"x", u""});
  EXPECT_EQ(ui_.State(u"memo").text, u"x\r\n");
}

TEST_F(ControlsTest, ProgressStaysInItsRange) {
  ui::Form form(app_, u"form");
  ui::ProgressBar bar(form, u"bar");
  bar.SetRange(0, 100);
  bar.SetPosition(150);
  EXPECT_EQ(ui_.State(u"bar").position, 100);
  bar.SetPosition(-3);
  EXPECT_EQ(ui_.State(u"bar").position, 0);
  bar.SetStep(5);
  bar.StepIt();
  EXPECT_EQ(ui_.State(u"bar").position, 5);
}

TEST_F(ControlsTest, RunDispatchesQueuedInputRunsIdleWhenEmptyAndEndsWhenTheMainFormCloses) {
  ui::Form form(app_, u"form");
  ui::Button close(form, u"close");
  close.OnClick = [&] { form.Close(); };
  std::vector<std::string> log;
  app_.OnIdle = [&] { log.push_back("idle"); };
  ui_.Post([&] { log.push_back("input"); });
  ui_.Post([&] { ui_.Click(u"close"); });
  app_.Run();
  EXPECT_TRUE(ui_.State(u"form").visible == false);
  EXPECT_TRUE(app_.Terminated());
  EXPECT_TRUE(ui_.QuitPosted());
  EXPECT_EQ(log, (std::vector<std::string>{"input"})) << "closing ends the loop before idle";

  // ProcessMessages never runs the idle notification.
  ui::Application app2(ui_);
  ui::Form form2(app2, u"form2");
  int idles = 0;
  app2.OnIdle = [&] { ++idles; };
  app2.ProcessMessages();
  EXPECT_EQ(idles, 0);
}

// During long work: messages sent by others are answered, input waits, close requests are
// ignored; afterwards the normal loop takes the input and closing works again.
TEST_F(ControlsTest, AnswerMessagesRunsSentMessagesOnlyAndIgnoresClosing) {
  ui::Form form(app_, u"form");
  form.Show();
  std::vector<std::string> log;
  ui_.Post([&] { log.push_back("input"); });
  ui_.Send([&] { log.push_back("sent"); });
  ui_.Send([&] { ui_.CloseWindow(); });
  app_.AnswerMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"sent"}));
  EXPECT_TRUE(ui_.State(u"form").visible);
  EXPECT_FALSE(app_.Terminated());
  EXPECT_EQ(ui_.AnswerCalls(), 1);

  app_.ProcessMessages();
  EXPECT_EQ(log, (std::vector<std::string>{"sent", "input"}));
  ui_.CloseWindow();
  EXPECT_FALSE(ui_.State(u"form").visible);
}

TEST_F(ControlsTest, ThrowingHandlerIsContainedAndReported) {
  ui::Form form(app_, u"form");
  ui::Button button(form, u"button");
  form.Show();
  button.OnClick = [] { throw std::runtime_error("boom"); };
  std::string reported;
  app_.SetExceptionHandler([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      reported = x.what();
    }
  });
  EXPECT_TRUE(ui_.Click(u"button"));
  EXPECT_EQ(reported, "boom");
}

TEST_F(ControlsTest, InitializeIsUndoneOnceWhenTheApplicationEnds) {
  {
    ui::Application app(ui_);
    app.Initialize();
    app.Initialize();
  }
  EXPECT_EQ(ui_.InitializeCalls(), 1);
  EXPECT_EQ(ui_.FinalizeCalls(), 1);
}

}  // namespace
