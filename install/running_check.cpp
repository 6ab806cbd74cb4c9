#include "install/running_check.h"

#include "params/product_params.h"

namespace install {

ProductWindow LoadProductWindow() {
  ProductWindow w;
  w.WindowClass = params::LoadParamString(params::kIdWindowClass);
  w.WindowTitle = params::LoadParamString(params::kIdWindowTitle);
  w.WindowTitleCn = params::LoadParamString(params::kIdWindowTitleCn);
  return w;
}

Text FindRunningTitle(const ProductWindow& window) {
  platform::Os& os = platform::CurrentOs();
  if (os.FindWindow(&window.WindowClass, &window.WindowTitle) != 0) return window.WindowTitle;
  if (os.FindWindow(&window.WindowClass, &window.WindowTitleCn) != 0) {
    return window.WindowTitleCn;
  }
  return Text();
}

}  // namespace install
