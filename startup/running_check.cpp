#include "startup/running_check.h"

#include "params/product_params.h"

namespace startup {

StartupStrings LoadStartupStrings() {
  StartupStrings s;
  s.WindowClass = params::LoadParamString(params::kIdWindowClass);
  s.WindowTitle = params::LoadParamString(params::kIdWindowTitle);
  s.WindowTitleCn = params::LoadParamString(params::kIdWindowTitleCn);
  return s;
}

Text FindRunningTitle(const StartupStrings& strings) {
  platform::Os& os = platform::CurrentOs();
  if (os.FindWindow(&strings.WindowClass, &strings.WindowTitle) != 0) return strings.WindowTitle;
  if (os.FindWindow(&strings.WindowClass, &strings.WindowTitleCn) != 0) {
    return strings.WindowTitleCn;
  }
  return Text();
}

Refusal RefusalMessage(int language, const StartupStrings& strings) {
  if (params::IsChinese(language)) {
    return {strings.RunningTitle + u"正在运行，请先退出后再进行安装。", u"安装向导"};
  }
  return {strings.WindowTitle + u" program is running, please close it first.", u"Setup"};
}

}  // namespace startup
