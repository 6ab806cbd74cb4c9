// The switches of setup.exe and Uninst.exe, read from command lines as administrators write them.
#include "params/command_line.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "platform/text.h"

namespace {

using params::CommandLine;
using platform::Text;

struct Row {
  Text arguments;
  bool silent;
  std::optional<Text> setup_dir;
  std::optional<Text> log_file;
  std::vector<Text> others;
  Text bad_switch;
};

TEST(CommandLineTest, SwitchesFoldersAndQuotes) {
  const std::optional<Text> none;
  const Row rows[] = {
      {u"", false, none, none, {}, u""},
      {u"/S", true, none, none, {}, u""},
      {u"/s", true, none, none, {}, u""},
      {u"  /S\t", true, none, none, {}, u""},
      {u"/SILENT -s S", false, none, none, {u"/SILENT", u"-s", u"S"}, u""},
      // Unquoted, the folder is the rest of the line: spaces and what looks like a switch.
      {u"/S /D=C:\\My Apps\\X", true, u"C:\\My Apps\\X", none, {}, u""},
      {u"/d=C:\\My Apps\\X /LOG=C:\\s.log  ",
       false,
       u"C:\\My Apps\\X /LOG=C:\\s.log",
       none,
       {},
       u""},
      // Quoted either way, it ends at the closing quote and later switches count.
      {u"\"/D=C:\\My Apps\\X\" /LOG=C:\\s.log /S", true, u"C:\\My Apps\\X", u"C:\\s.log", {}, u""},
      {u"/D=\"C:\\My Apps\\X\" /log=\"C:\\my logs\\s.log\"",
       false,
       u"C:\\My Apps\\X",
       u"C:\\my logs\\s.log",
       {},
       u""},
      {u"/D=\"C:\\Dir\\\" /S", true, u"C:\\Dir\\", none, {}, u""},
      {u"/D=\\\\server\\share\\App", false, u"\\\\server\\share\\App", none, {}, u""},
      // Not absolute, or nothing at all: a bad switch, named as written.
      {u"/S /D=Apps\\X", true, u"Apps\\X", none, {}, u"/D=Apps\\X"},
      {u"/S /D=C:Apps", true, u"C:Apps", none, {}, u"/D=C:Apps"},
      {u"/S /D=", true, u"", none, {}, u"/D="},
      {u"/D=\"\" /S", true, u"", none, {}, u"/D="},
      {u"/D=\\\\server", false, u"\\\\server", none, {}, u"/D=\\\\server"},
      {u"/D=\\\\\\share\\x", false, u"\\\\\\share\\x", none, {}, u"/D=\\\\\\share\\x"},
      // /LOG alone asks for the default file; /LOG= without a file is a mistake.
      {u"/LOG /S", true, none, u"", {}, u""},
      {u"/Log=out.log", false, none, u"out.log", {}, u""},
      {u"/LOG= /S", true, none, u"", {}, u"/LOG="},
      {u"--verbose \"a b\" /LOGX", false, none, none, {u"--verbose", u"a b", u"/LOGX"}, u""},
  };
  for (const Row& row : rows) {
    const CommandLine c = params::ParseArguments(row.arguments);
    const std::string where = platform::TextToUtf8(row.arguments);
    EXPECT_EQ(c.silent, row.silent) << where;
    EXPECT_EQ(c.setup_dir, row.setup_dir) << where;
    EXPECT_EQ(c.log_file.has_value(), row.log_file.has_value()) << where;
    if (c.log_file && row.log_file) {
      EXPECT_EQ(*c.log_file, *row.log_file) << where;
    }
    EXPECT_EQ(c.others, row.others) << where;
    EXPECT_EQ(c.bad_switch, row.bad_switch) << where;
    EXPECT_FALSE(c.help) << where;
  }
}

TEST(CommandLineTest, Help) {
  for (const Text arguments : {u"/?", u"/help", u"/S /HELP"}) {
    EXPECT_TRUE(params::ParseArguments(arguments).help) << platform::TextToUtf8(arguments);
  }
}

TEST(CommandLineTest, TheProgramNameIsNotAnArgument) {
  const std::pair<Text, Text> rows[] = {
      {u"setup.exe /S", u"/S"},
      {u"\"C:\\My Files\\setup.exe\"  /S /D=C:\\X", u"/S /D=C:\\X"},
      {u"\"C:\\My Files\\setup.exe\"/S", u"/S"},
      {u"C:\\setup.exe", u""},
      {u"", u""},
      {u"\"C:\\unclosed /S", u""},
  };
  for (const auto& [line, arguments] : rows) {
    EXPECT_EQ(params::ArgumentsOf(line), arguments) << platform::TextToUtf8(line);
  }
}

}  // namespace
