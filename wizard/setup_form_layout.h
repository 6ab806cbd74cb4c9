// The setup form as a designer keeps it: every control in creation (and tab) order, with its
// class, its parent and its place, look and starting state. This list is the only one: the form's
// members, their construction, the layout applied to them and the form's list of controls all
// come from it (setup_form.h, setup_form.cpp).
//
// X(name, class in ui::, parent, (layout fields)). Texts here are the layout's own (Chinese); the
// language set-up replaces the composed ones, and in English all of them.
#pragma once

// clang-format off
#define WIZARD_TFORM1_CONTROLS(X) \
  /* welcome page */ \
  X(pnlStep1, Panel, *this, (.bounds = {0, 0, 0, 308}, .align = Align::kTop, \
      .color = ui::kColorWhite)) \
  X(Image1, Image, pnlStep1, (.bounds = {0, 0, 160, 308}, .align = Align::kLeft)) \
  X(lblWelcome, Label, pnlStep1, (.bounds = {183, 20, 305, 53}, .font_height = 16, .bold = true, \
      .style = kWrap)) \
  X(lblWillInstall, Label, pnlStep1, (.bounds = {184, 96, 304, 148}, .style = kWrap)) \
  /* licence page */ \
  X(pnlStep2, Panel, *this, (.bounds = {0, 0, 0, 308}, .align = Align::kTop, .visible = false)) \
  X(Panel3, Panel, pnlStep2, (.bounds = {0, 0, 0, 56}, .align = Align::kTop, \
      .color = ui::kColorCream)) \
  X(lblLicense, Label, Panel3, (.bounds = {17, 20, 0, 0}, .bold = true, .style = kAutoSize, \
      .text = u"在安装之前，请阅读许可协议")) \
  X(lblLicenseTip, Label, Panel3, (.bounds = {36, 28, 0, 0}, .visible = false, \
      .style = kAutoSize)) \
  X(Image2, Image, Panel3, (.bounds = {0, 0, 67, 56}, .align = Align::kRight, \
      .style = kHeaderIcon)) \
  X(Bevel2, Bevel, pnlStep2, (.bounds = {0, 0, 0, 2}, .align = Align::kTop)) \
  X(Memo2, Memo, pnlStep2, (.bounds = {18, 75, 459, 177}, .style = {.read_only = true, \
      .scroll_bars = ui::ScrollBars::kVertical})) \
  X(lblAgreement, Label, pnlStep2, (.bounds = {23, 267, 437, 32}, .style = kWrap, \
      .text = u"如果您接受协议中的条款，请单击 [我同意] 继续安装。")) \
  /* destination folder and options page */ \
  X(pnlStep3, Panel, *this, (.bounds = {0, 0, 0, 308}, .align = Align::kTop, .visible = false)) \
  X(Panel4, Panel, pnlStep3, (.bounds = {0, 0, 0, 56}, .align = Align::kTop, \
      .color = ui::kColorCream)) \
  X(lblFolder, Label, Panel4, (.bounds = {17, 20, 0, 0}, .bold = true, .style = kAutoSize, \
      .text = u"选择安装位置并设置选项")) \
  X(lblFolderTip, Label, Panel4, (.bounds = {36, 28, 0, 0}, .visible = false, .style = kAutoSize)) \
  X(Image3, Image, Panel4, (.bounds = {0, 0, 67, 56}, .align = Align::kRight, \
      .style = kHeaderIcon)) \
  X(Bevel3, Bevel, pnlStep3, (.bounds = {0, 0, 0, 2}, .align = Align::kTop)) \
  /* 7 px taller than the classic 49 so that a fourth wrapped line fits where Tahoma runs wide */ \
  /* (Wine's Tahoma wraps the English text onto four lines); it still ends above gbFolder. */ \
  X(lblSetupFolder, Label, pnlStep3, (.bounds = {40, 75, 420, 56}, .style = kWrap)) \
  X(gbFolder, GroupBox, pnlStep3, (.bounds = {40, 132, 419, 63}, .text = u"目标文件夹")) \
  X(editSetupDir, Edit, gbFolder, (.bounds = {17, 24, 305, 21})) \
  X(btnBrowse, Button, gbFolder, (.bounds = {325, 24, 77, 21}, .text = u"浏览(&S)...")) \
  X(lblNeedSize, Label, pnlStep3, (.bounds = {41, 221, 0, 0}, .style = kAutoSize)) \
  X(lblFreeSize, Label, pnlStep3, (.bounds = {41, 247, 0, 0}, .style = kAutoSize, \
      .text = u"剩余空间:")) \
  X(chkSCOnDesktop, CheckBox, pnlStep3, (.bounds = {237, 217, 151, 20}, .text = u"创建桌面快捷方式", \
      .checked = true)) \
  X(chkSCOnQuick, CheckBox, pnlStep3, (.bounds = {237, 243, 184, 20}, .text = u"创建快速启动栏快捷方式", \
      .checked = true)) \
  /* completion page */ \
  X(pnlStep4, Panel, *this, (.bounds = {0, 0, 0, 308}, .align = Align::kTop, .visible = false, \
      .color = ui::kColorWhite)) \
  X(lblComplete, Label, pnlStep4, (.bounds = {183, 20, 305, 53}, .font_height = 16, .bold = true, \
      .style = kWrap)) \
  X(lblClose, Label, pnlStep4, (.bounds = {184, 89, 302, 65}, .visible = false, .style = kWrap)) \
  X(chkRunOnExit, CheckBox, pnlStep4, (.bounds = {207, 111, 203, 14}, .text = u"立即运行软件", \
      .checked = true)) \
  /* the button row */ \
  X(Bevel1, Bevel, *this, (.bounds = {-1, 308, 555, 2})) \
  X(btnPrev, Button, *this, (.bounds = {253, 323, 77, 22})) \
  X(btnNext, Button, *this, (.bounds = {330, 323, 77, 22}, .style = {.tab_order = 0})) \
  X(btnClose, Button, *this, (.bounds = {417, 323, 62, 22})) \
  X(ProgressBar1, ProgressBar, *this, (.bounds = {35, 328, 185, 12}, .visible = false))
// clang-format on
