#include "params/command_line.h"

#include "params/product_params.h"
#include "platform/ascii.h"

namespace params {

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool StartsWithIgnoringCase(TextView text, TextView prefix) {
  return text.size() >= prefix.size() &&
         platform::EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

// One argument from position at: quotes start and end quoted runs, in which blanks do not end the
// argument, and are removed.
Text ReadArgument(TextView text, std::size_t& at) {
  Text argument;
  bool quoted = false;
  for (; at < text.size(); ++at) {
    const char16_t c = text[at];
    if (c == u'"') {
      quoted = !quoted;
    } else if (IsBlank(c) && !quoted) {
      break;
    } else {
      argument += c;
    }
  }
  return argument;
}

void NoteBadSwitch(CommandLine& result, TextView argument) {
  if (result.bad_switch.empty()) result.bad_switch = Text(argument);
}

}  // namespace

bool IsAbsoluteFolder(TextView path) {
  if (path.size() >= 3 && IsLetter(path[0]) && path[1] == u':' && path[2] == u'\\') return true;
  if (path.size() < 5 || path[0] != u'\\' || path[1] != u'\\') return false;
  const std::size_t share = path.find(u'\\', 2);
  return share != TextView::npos && share > 2 && share + 1 < path.size() &&
         path[share + 1] != u'\\';
}

CommandLine ParseArguments(TextView text) {
  CommandLine result;
  std::size_t at = 0;
  while (true) {
    while (at < text.size() && IsBlank(text[at])) ++at;
    if (at >= text.size()) break;
    if (StartsWithIgnoringCase(text.substr(at), u"/D=") &&
        (at + 3 >= text.size() || text[at + 3] != u'"')) {
      // Unquoted: the folder is the rest of the line, so it may hold spaces.
      TextView rest = text.substr(at + 3);
      while (!rest.empty() && IsBlank(rest.back())) rest.remove_suffix(1);
      result.setup_dir = Text(rest);
      if (!IsAbsoluteFolder(rest)) NoteBadSwitch(result, text.substr(at));
      break;
    }
    const Text argument = ReadArgument(text, at);
    const TextView a = argument;
    if (platform::EqualsIgnoringAsciiCase(a, u"/S")) {
      result.silent = true;
    } else if (platform::EqualsIgnoringAsciiCase(a, u"/?") ||
               platform::EqualsIgnoringAsciiCase(a, u"/HELP")) {
      result.help = true;
    } else if (StartsWithIgnoringCase(a, u"/D=")) {
      result.setup_dir = argument.substr(3);
      if (!IsAbsoluteFolder(*result.setup_dir)) NoteBadSwitch(result, a);
    } else if (platform::EqualsIgnoringAsciiCase(a, u"/LOG")) {
      result.log_file = Text();
    } else if (StartsWithIgnoringCase(a, u"/LOG=")) {
      result.log_file = argument.substr(5);
      if (result.log_file->empty()) NoteBadSwitch(result, a);
    } else {
      result.others.push_back(argument);
    }
  }
  return result;
}

TextView ArgumentsOf(TextView command_line) {
  std::size_t at = 0;
  if (!command_line.empty() && command_line[0] == u'"') {
    // Quoted, the name ends at the closing quote, as Windows splits it.
    const std::size_t close = command_line.find(u'"', 1);
    at = close == TextView::npos ? command_line.size() : close + 1;
  } else {
    while (at < command_line.size() && !IsBlank(command_line[at])) ++at;
  }
  while (at < command_line.size() && IsBlank(command_line[at])) ++at;
  return command_line.substr(at);
}

CommandLine ParseProcessCommandLine() {
  const Text line = platform::CurrentOs().GetCommandLine();
  return ParseArguments(ArgumentsOf(line));
}

Text BadSwitchMessage(int language, const Text& bad_switch, const Text& usage) {
  if (IsChinese(language)) return u"无法使用开关“" + bad_switch + u"”。\n\n" + usage;
  return u"The switch \"" + bad_switch + u"\" cannot be used.\n\n" + usage;
}

}  // namespace params
