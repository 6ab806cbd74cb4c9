#include "uninstall/uninstall_texts.h"

#include "params/product_params.h"

namespace uninstall {

using params::IsChinese;

UninstallTexts UninstallTextsFor(int language, const Text& display_name) {
  if (IsChinese(language)) {
    return {
        u"卸载 - " + display_name,
        u"您确实要完全移除“" + display_name + u"”及其所有组件吗？",
        u"“" + display_name + u"”已成功地从您的计算机中移除。",
        u"“" + display_name + u"”已从您的计算机中移除，但下列项目无法移除，您可以手动删除它们：",
    };
  }
  return {
      u"Uninstall - " + display_name,
      u"Are you sure you want to completely remove " + display_name +
          u" and all of its components?",
      display_name + u" was successfully removed from your computer.",
      display_name +
          u" was removed from your computer, but the following items could not be "
          u"removed. You can remove them yourself:",
  };
}

Text UninstallRunningMessage(int language, const Text& running_title, const Text& window_title) {
  if (IsChinese(language)) return running_title + u"正在运行，请先退出后再进行卸载。";
  return window_title + u" program is running, please close it first.";
}

Text UninstallUsage(int language) {
  if (IsChinese(language)) {
    return u"用法：Uninst.exe [/S] [/LOG[=文件]]\n\n"
           u"/S\t静默卸载：不询问，不显示消息。\n"
           u"/LOG=文件\t把卸载过程写入日志（UTF-8）；只写 /LOG 时写入 %TEMP% 文件夹。\n"
           u"/?\t显示本说明。\n\n"
           u"退出代码：0 已移除；1 用户取消；2 软件正在运行；3 有内容未能移除。";
  }
  return u"Usage: Uninst.exe [/S] [/LOG[=FILE]]\n\n"
         u"/S\tUninstall silently: no question and no message.\n"
         u"/LOG=FILE\tWrite a log of the run (UTF-8); /LOG alone writes it to the %TEMP% folder.\n"
         u"/?\tShow this text.\n\n"
         u"Exit codes: 0 removed; 1 declined; 2 the product is running; 3 something stayed.";
}

}  // namespace uninstall
