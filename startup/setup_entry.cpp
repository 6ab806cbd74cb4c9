#include "startup/setup_entry.h"

#include "install/install_log.h"
#include "install/running_check.h"
#include "params/command_line.h"
#include "params/product_params.h"
#include "params/resource_names.h"
#include "wizard/setup_form.h"
#include "wizard/silent_setup.h"
#include "wizard/texts.h"

namespace startup {

using platform::Text;

namespace {

int Finish(install::InstallLog& log, const Text& result, int code) {
  log.Line({u"Result: ", result});
  log.Line({u"Exit code: ", install::NumberText(code)});
  return code;
}

}  // namespace

int RunSetup(ui::Backend& backend) {
  platform::Os& os = platform::CurrentOs();
  const std::uint32_t code_page = os.GetACP();
  params::SetLanguage(params::LanguageFromCodePage(code_page));
  const int language = params::Language();

  const Text command_line = os.GetCommandLine();
  const params::CommandLine switches = params::ParseArguments(params::ArgumentsOf(command_line));
  install::InstallLog log;
  install::OpenRequestedLog(log, switches.log_file, params::LoadParamString(params::kIdExeBaseName),
                            u"-setup.log");
  log.Line({u"Command line: ", command_line});
  for (const Text& other : switches.others) log.Line({u"Argument ignored: ", other});
  log.Line({u"Language: ", params::IsChinese(language) ? u"Chinese" : u"English", u" (code page ",
            install::NumberText(code_page), u")"});
  log.Line(switches.silent ? u"Mode: silent" : u"Mode: wizard");

  // Without a window of its own yet, the boxes below have no owner.
  const Text caption = params::IsChinese(language) ? u"安装向导" : u"Setup";
  if (!switches.bad_switch.empty()) {
    log.Line({u"Bad switch: ", switches.bad_switch});
    if (!switches.silent) {
      os.MessageBox(
          0, params::BadSwitchMessage(language, switches.bad_switch, wizard::SetupUsage(language)),
          caption, platform::kMbOk);
    }
    return Finish(log, u"nothing done", wizard::kExitBadSwitch);
  }
  if (switches.help) {
    os.MessageBox(0, wizard::SetupUsage(language), caption, platform::kMbOk);
    return Finish(log, u"usage shown", 0);
  }

  install::ProductWindow window = install::LoadProductWindow();
  window.RunningTitle = install::FindRunningTitle(window);
  if (!window.RunningTitle.empty()) {
    log.Line({u"The product is running: ", window.RunningTitle});
    if (switches.silent) return Finish(log, u"nothing done", wizard::kExitProductRunning);
    // Shown before the application exists, so it has no owner window.
    os.MessageBox(0, wizard::SetupRunningMessage(language, window.RunningTitle, window.WindowTitle),
                  caption, platform::kMbOk);
    return Finish(log, u"nothing done", 0);
  }

  ui::Application app(backend);
  app.Initialize();  // COM, for the shell link object
  if (switches.silent) {
    const int code = wizard::RunSilentSetup(language, switches.setup_dir, log);
    return Finish(log, code == wizard::kExitInstalled ? u"installed" : u"not installed", code);
  }
  app.SetIcon(params::kAppIconName);
  wizard::TForm1 form(app, language, switches.setup_dir, log.Active() ? &log : nullptr);
  app.Run();
  return Finish(log, form.FStep == 4 ? u"wizard closed after installing" : u"wizard closed", 0);
}

}  // namespace startup
