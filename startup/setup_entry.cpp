#include "startup/setup_entry.h"

#include "params/product_params.h"
#include "startup/running_check.h"
#include "wizard/setup_form.h"

namespace startup {

int RunSetup(ui::Backend& backend) {
  platform::Os& os = platform::CurrentOs();
  params::SetLanguage(params::LanguageFromCodePage(os.GetACP()));

  StartupStrings strings = LoadStartupStrings();
  strings.RunningTitle = FindRunningTitle(strings);
  if (!strings.RunningTitle.empty()) {
    // Shown before the application exists, so it has no owner window.
    const Refusal refusal = RefusalMessage(params::Language(), strings);
    os.MessageBox(0, refusal.text, refusal.caption, platform::kMbOk);
    return 0;
  }

  ui::Application app(backend);
  app.Initialize();  // COM, for the shell link object
  app.SetIcon(u"AppIcon");
  wizard::TForm1 form(app, params::Language());
  app.Run();
  return 0;
}

}  // namespace startup
