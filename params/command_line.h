// The switches setup.exe and Uninst.exe understand, read once from the process's command line into
// one value that the entry routines, the install engine and the uninstaller read.
//
//   /S            no window and no message: the run is decided by the switches and the defaults
//   /D=FOLDER     the destination folder, absolute (X:\... or \\server\share\...). Unquoted it
//                 takes the rest of the command line, spaces included; in quotes ("/D=..." or
//                 /D="...") it ends at the closing quote and later switches are still read.
//   /LOG[=FILE]   a log of the run; without a file, %TEMP%\<program>-setup.log
//   /? or /HELP   the usage
//
// Switch names are read in any letter case. Arguments that are none of these are kept in order
// and otherwise ignored, so a launcher may pass anything. Backslashes are plain characters (no
// escaping as in the C runtime's rules), so "C:\Dir\" keeps its last backslash.
#pragma once

#include <optional>
#include <vector>

#include "platform/os.h"

namespace params {

using platform::Text;
using platform::TextView;

struct CommandLine {
  bool silent = false;
  bool help = false;
  std::optional<Text> setup_dir;  // as given, without quotes
  std::optional<Text> log_file;   // an empty text: the default file
  std::vector<Text> others;       // every argument that is not a switch above, quotes removed
  // The first switch that cannot be used (a relative or empty /D=, a /LOG= without a file), as
  // it was written; empty when every switch is usable.
  Text bad_switch;
};

// Reads the arguments (the command line without the program's name).
CommandLine ParseArguments(TextView arguments);

// The arguments of a whole command line as GetCommandLineW gives it: what follows the program's
// name, which is either quoted or ends at the first space or tab.
TextView ArgumentsOf(TextView command_line);

// The arguments of this process, through the current Os.
CommandLine ParseProcessCommandLine();

// An absolute Windows folder: a drive letter, ":" and "\", or "\\server\share".
bool IsAbsoluteFolder(TextView path);

// The message for a switch that cannot be used, as written on the command line, followed by the
// program's usage; in the language given (params::IsChinese), as both programs show it.
Text BadSwitchMessage(int language, const Text& bad_switch, const Text& usage);

}  // namespace params
