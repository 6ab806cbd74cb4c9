#include "wizard/silent_setup.h"

#include "install/install_engine.h"
#include "params/product_params.h"
#include "platform/errors.h"
#include "shell/system_info.h"
#include "wizard/setup_form.h"
#include "wizard/texts.h"

namespace wizard {

int RunSilentSetup(int language, const std::optional<Text>& setup_dir, install::InstallLog& log) {
  platform::Os& os = platform::CurrentOs();
  const params::ProductParams product = params::LoadProductParams();
  const bool chinese = params::IsChinese(language);
  const Text display_name = chinese ? product.DisplayNameCn : product.DisplayNameEn;

  Text folder;
  if (setup_dir) {
    folder = *setup_dir;
    log.Line({u"Folder: ", folder, u" (from /D=)"});
  } else {
    const ProposedFolder proposed =
        ProposeFolder(display_name, product.PublisherFolder, product.ExeBaseName);
    folder = proposed.folder;
    log.Line({u"Folder: ", folder,
              (proposed.earlier_installation ? u" (an earlier installation's folder)"
                                             : u" (proposed below Program Files)")});
  }

  // Page 3's rule: a folder on a fixed drive, written with its drive letter.
  if (!TypedFolderUsable(folder, shell::GetFixedDrives())) {
    log.Line(u"Folder refused: it must begin with the letter of a fixed drive and \":\\\"");
    return kExitFolderRefused;
  }
  std::int64_t required = 0;
  try {
    required = install::RequiredBytes();
  } catch (const platform::Exception& e) {
    log.Line({u"The package cannot be read: ", e.Message()});
    return kExitUnpackFailed;
  }
  const std::int64_t free = shell::GetDriveFreeSpace(folder[0]);
  log.Line({u"Free space on ", folder.substr(0, 2), u" ", install::NumberText(free),
            u" bytes, needed ", install::NumberText(required), u" bytes"});
  if (free >= 0 && free < required) {
    log.Line(u"Folder refused: not enough free space");
    return kExitFolderRefused;
  }

  const Text dir = SetupDirFromEditText(folder);
  Text created;
  if (!install::CreateSetupDir(dir, &created)) {
    log.Line(u"Folder refused: it cannot be created");
    return kExitFolderRefused;
  }
  if (!created.empty()) log.Line({u"Folders created from: ", created});

  try {
    install::UnpackPackage(dir, {.log = &log});
  } catch (const platform::Exception& e) {
    log.Line({u"Unpacking failed: ", e.Message()});
    return kExitUnpackFailed;
  }

  const bool quick_launch = HasQuickLaunch(os.WindowsMajorVersion());
  const bool complete = install::AddShortcutsAndUninstallEntry(
      {.setup_dir = dir,
       .exe_name = product.ExeBaseName,
       .display_name = display_name,
       .version = product.Version,
       .publisher = chinese ? product.PublisherNameCn : product.PublisherName,
       .url_info_about = chinese ? product.PublisherUrlCn : product.PublisherUrl,
       .desktop_shortcut = CheckedAtStart(u"chkSCOnDesktop"),
       .quick_launch_shortcut = quick_launch && CheckedAtStart(u"chkSCOnQuick"),
       .created_folder = created},
      &log);
  return complete ? kExitInstalled : kExitShortcutsOrEntryFailed;
}

}  // namespace wizard
