#include "wizard/texts.h"

#include "params/product_params.h"

namespace wizard {

using params::IsChinese;

namespace {

// The Chinese font of the composed texts, and its 9-point size at 96 DPI.
constexpr char16_t kSongTi[] = u"宋体";
constexpr int kNinePoints = 12;

}  // namespace

FieldTexts FieldTextsFor(int language) {
  if (IsChinese(language)) {
    return {
        u"上一步",
        u"下一步",
        u"取 消",
        u"我同意",
        u"完 成",
        u"安 装",
        u"无法创建目标文件夹，请重新指定文件夹路径。",
        u"提取文件到目标文件夹时发生错误。\n\n"
        u"您是否正在运行这个软件的旧版本？如果是，请先关闭它，然后再次点击“安装”。",
        u"选择或新建文件夹：",
        u"剩余空间: ",
    };
  }
  return {
      u"< &Back",
      u"&Next >",
      u"Cancel",
      u"I &Agree",
      u"&Finish",
      u"&Install",
      u"Destination folder can't be created, need to select another folder.",
      u"An error occurred extracting files to the destination folder.\n\n"
      u"Whether you're running an older version of this software? If yes, please close it and "
      u"then click Install.",
      u"Select or create a new folder:",
      u"Space available: ",
  };
}

Text FormCaption(int language, const Text& display_name) {
  return (IsChinese(language) ? Text(u"安装向导 - ") : Text(u"Setup - ")) + display_name;
}

std::vector<ControlText> ControlTexts(int language, const ProductTexts& p) {
  const Text& name = p.DisplayName;
  const Text& version = p.Version;
  if (IsChinese(language)) {
    return {
        {u"lblWelcome", u"欢迎使用 " + name + u" V" + version + u" 安装\n向导"},
        {u"lblWillInstall",
         u"此向导将引导您完成安装过程。\n\n单击 [下一步] 继续，单击 [取消] 退出安装。"},
        {u"lblSetupFolder",
         u"安装程序将安装“" + name + u" V" + version +
             u"”到下列文件夹中。\n\n"
             u"如需安装到其它的文件夹，请直接修改或单击 [浏览] 选择另一个文件夹。"},
        {u"lblNeedSize", u"所需空间: " + p.NeedSize},
        {u"lblComplete", name + u" V" + version + u" 安装成功。"},
    };
  }
  return {
      {u"lblWelcome", u"Welcome to the " + name + u" " + version + u" Setup Wizard"},
      {u"lblWillInstall", u"This will install " + name + u" " + version +
                              u" on your computer.\n\nClick Next to continue, or Cancel to exit "
                              u"Setup."},
      {u"lblLicense", u"License Agreement"},
      {u"lblLicenseTip", u"Please read the following important infomation before continuing."},
      {u"lblAgreement",
       u"If you accept the terms of the agreement, click I Agree to continue. You "
       u"must accept the agreement to install " +
           name + u"."},
      {u"lblFolder", u"Select Destination Location"},
      {u"lblFolderTip", u"Where should " + name + u" be installed?"},
      {u"lblSetupFolder", u"Setup will install " + name + u" " + version +
                              u" into the following folder.\n\nTo continue, click Next. If you "
                              u"would like to select a different folder, click Browse."},
      {u"gbFolder", u"Destination Folder"},
      {u"btnBrowse", u"&Browse..."},
      {u"lblNeedSize", u"Space required: " + p.NeedSize},
      {u"chkSCOnDesktop", u"Create a desktop icon"},
      {u"chkSCOnQuick", u"Create a Quick Launch icon"},
      {u"lblComplete", u"Completing the " + name + u" Setup Wizard"},
      {u"lblClose", u"Setup has finished installing " + name + u" " + version +
                        u" on your computer.\n\nClick Finish to close this wizard."},
      {u"chkRunOnExit", u"Launch " + name},
  };
}

std::vector<LayoutChange> LayoutChanges(int language) {
  if (IsChinese(language)) {
    // The Chinese welcome texts sit lower and further right to leave room for the banner's text.
    return {
        {u"lblWelcome", 193, 40, Text(kSongTi), std::nullopt, std::nullopt},
        {u"lblWillInstall", 193, 116, Text(kSongTi), kNinePoints, std::nullopt},
        {u"lblSetupFolder", std::nullopt, std::nullopt, Text(kSongTi), kNinePoints, std::nullopt},
        {u"lblComplete", 203, 28, Text(kSongTi), std::nullopt, std::nullopt},
    };
  }
  // English headers have a second line, the tip, under a raised title.
  return {
      {u"lblFolder", std::nullopt, 9, std::nullopt, std::nullopt, std::nullopt},
      {u"lblLicense", std::nullopt, 9, std::nullopt, std::nullopt, std::nullopt},
      {u"chkRunOnExit", 186, 170, std::nullopt, std::nullopt, std::nullopt},
      {u"lblFolderTip", std::nullopt, std::nullopt, std::nullopt, std::nullopt, true},
      {u"lblLicenseTip", std::nullopt, std::nullopt, std::nullopt, std::nullopt, true},
      {u"lblClose", std::nullopt, std::nullopt, std::nullopt, std::nullopt, true},
  };
}

std::vector<Text> LicenseAgreement(int language, const Text& name, bool freeware,
                                   const Text& publisher) {
  constexpr char16_t kChineseTermination[] =
      u"如果您违反本协议的任何条款，作者有权采取相应的措施，并有权终止本协议。";
  if (IsChinese(language)) {
    std::vector<Text> lines = {
        name + u" 用户许可协议",
        u"",
        u"请仔细阅读本协议中规定的各项权利和限制。只有在接受本协议全部条款的前提下，您才能安装"
        u"和使用本软件；如果您不接受本协议，请取消安装。",
        u"",
        u"1. " + name +
            u" 的一切知识产权归作者所有。本软件受著作权法及有关著作权的国际条约的保护。",
        u"",
        u"2. 不得对本软件进行反向工程、反编译或反汇编，不得修改本软件的任何文件。",
        u"",
        freeware
            ? u"3. 本软件为免费软件，您可以自由地复制和传播本软件，但未经作者许可，不得将本"
              u"软件用于任何商业用途。"
            : u"3. 您可以自由地复制和传播本软件，但未经作者许可，不得将本软件用于任何商业用途。",
        u"",
        u"4. 本软件不含任何恶意代码。因使用不当而产生的风险由用户自行承担；因非法使用本软件而"
        u"产生的一切法律责任由用户承担。",
        u"",
    };
    if (freeware) {
      lines.push_back(Text(u"5. ") + kChineseTermination);
    } else {
      lines.push_back(
          u"5. 本软件为共享软件。您可以在试用期内免费试用本软件；试用期满后如需继续使用，必须"
          u"向作者购买使用许可。");
      lines.push_back(u"");
      lines.push_back(Text(u"6. ") + kChineseTermination);
    }
    lines.insert(lines.end(), {u"", u"", publisher + u" 保留所有权利。"});
    return lines;
  }
  return {
      u"End User License Agreement",
      u"",
      u"Please read the following terms and conditions carefully before using " + name +
          u". Using the software means that you accept the terms of this license agreement and "
          u"warranty.",
      u"",
      u"1. Disclaimer of Warranty",
      u"",
      name +
          u" is provided \"as is\", without warranty of any kind, either expressed or implied, "
          u"including, but not limited to, the implied warranties of merchantability and "
          u"fitness for a particular purpose.",
      u"",
      u"In no event shall the author be liable for any loss of data, damages, loss of profits or "
      u"any other kind of loss arising from the use or misuse of this software.",
      u"",
      u"2. License",
      u"",
      freeware ? u"This software is freeware, you can unrestricted use of it."
               : u"This software is shareware. You may use it free of charge for an evaluation "
                 u"period; to go on using it after that period you must buy a license from the "
                 u"author.",
      u"",
      freeware ? u"You may not use this software for any commercial purpose without the permission "
                 u"of the author."
               : u"One license allows one person to use the software on one computer. You may "
                 u"copy and distribute the unregistered software freely, provided that it is "
                 u"distributed unchanged and complete.",
      u"",
      u"3. Restrictions on Use",
      u"",
      u"You may not reverse engineer, decompile or disassemble the software, nor modify it in any "
      u"other way.",
      u"",
      u"",
      u"All rights reserved by " + publisher + u".",
  };
}

std::vector<Text> LicenseLines(const Text& license) {
  std::vector<Text> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = license.find(u"\r\n", start);
    if (end == Text::npos) break;
    lines.push_back(license.substr(start, end - start));
    start = end + 2;
  }
  // Joined again with CRLF, the lines give the text back exactly, a final line end included.
  lines.push_back(license.substr(start));
  return lines;
}

Text SetupUsage(int language) {
  if (IsChinese(language)) {
    return u"用法：setup.exe [/S] [/LOG[=文件]] [/D=文件夹]\n\n"
           u"/S\t静默安装：不显示向导和消息，使用默认选项，安装后不启动软件。\n"
           u"/D=文件夹\t安装文件夹，须为绝对路径（C:\\... 或 \\\\服务器\\共享\\...）。"
           u"不加引号时它占用命令行的其余部分，因此须放在最后。\n"
           u"/LOG=文件\t把安装过程写入日志（UTF-8）；只写 /LOG 时写入 %TEMP% 文件夹。\n"
           u"/?\t显示本说明。\n\n"
           u"退出代码：0 已安装；1 开关有误；2 软件正在运行；3 文件夹不可用或空间不足；"
           u"4 解压失败；5 快捷方式或卸载项失败（文件已安装）。";
  }
  return u"Usage: setup.exe [/S] [/LOG[=FILE]] [/D=FOLDER]\n\n"
         u"/S\tInstall silently: no wizard and no message, the default options, and the "
         u"product is not started.\n"
         u"/D=FOLDER\tThe destination folder, an absolute path (C:\\... or "
         u"\\\\server\\share\\...). Unquoted it takes the rest of the command line, so it "
         u"comes last.\n"
         u"/LOG=FILE\tWrite a log of the run (UTF-8); /LOG alone writes it to the %TEMP% folder.\n"
         u"/?\tShow this text.\n\n"
         u"Exit codes: 0 installed; 1 bad switch; 2 the product is running; 3 folder refused or "
         u"not enough space; 4 unpacking failed; 5 shortcuts or uninstall entry failed (the files "
         u"are installed).";
}

Text SetupRunningMessage(int language, const Text& running_title, const Text& window_title) {
  if (IsChinese(language)) return running_title + u"正在运行，请先退出后再进行安装。";
  return window_title + u" program is running, please close it first.";
}

}  // namespace wizard
