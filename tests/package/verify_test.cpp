// VerifyPackage: a sound package passes; each kind of damage gives its own problem line.
#include "package/verify.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "package/package_format.h"
#include "platform/text.h"
#include "tests/package/package_fixture.h"

namespace pkgtest {
namespace {

using platform::AsciiToText;

Text Num(size_t n) { return AsciiToText(std::to_string(n)); }

class VerifyTest : public PackageTest {
 protected:
  std::vector<std::string> Verify(const std::string& bytes, const Text& password = Text()) {
    WriteFile(kPackage, bytes);
    auto file = os_.OpenFileForRead(kPackage);
    EXPECT_TRUE(file);
    std::vector<std::string> lines;
    for (const Text& t : package::VerifyPackage(*file, password)) {
      lines.push_back(platform::TextToUtf8(t));
    }
    return lines;
  }
};

const std::string kAlpha = Pattern(300'000, 4, true);  // several inflate pieces
const std::string kBeta = "beta";

// Two members and the manifest describing them; each case alters one part.
struct Parts {
  std::string alpha_member = Deflate(kAlpha);
  std::string beta_member = Deflate(kBeta);
  std::string between;  // bytes after the members, before the manifest
  Text alpha_folder = u"sub\\";
  Text alpha_sizes;  // "C,U" of row 0; computed when empty
  Text password;
};

std::string Build(const Parts& d) {
  const Text alpha_sizes = d.alpha_sizes.empty()
                               ? Num(d.alpha_member.size()) + u"," + Num(kAlpha.size())
                               : d.alpha_sizes;
  RawPackage raw(d.alpha_member + d.beta_member + d.between,
                 u"#Package,2#" + d.alpha_folder + u",alpha.txt," + alpha_sizes + u"|,beta.txt," +
                     Num(d.beta_member.size()) + u"," + Num(kBeta.size()));
  raw.password = d.password;
  return BuildPackage(raw);
}

TEST_F(VerifyTest, EachDamageGivesOneProblemLine) {
  const std::string good = Deflate(kAlpha);
  const std::string c = std::to_string(good.size());
  const std::string u = std::to_string(kAlpha.size());
  struct Case {
    const char* what;
    std::function<void(Parts&)> alter;
    const char* expected;  // a piece of the one problem line; nullptr for a sound package
  };
  const Case cases[] = {
      {"sound", [](Parts&) {}, nullptr},
      {"size cell one too large",
       [&](Parts& p) { p.alpha_sizes = AsciiToText(c + "," + std::to_string(kAlpha.size() + 1)); },
       "row 0 (sub\\alpha.txt): inflates to 300000 bytes, its size cell says 300001"},
      {"size cell one too small",
       [&](Parts& p) { p.alpha_sizes = AsciiToText(c + "," + std::to_string(kAlpha.size() - 1)); },
       "inflates to more than its size cell of 299999 bytes"},
      {"stream ends before the member does", [&](Parts& p) { p.alpha_member = good + "X"; },
       "the zlib stream ends 1 bytes before the end of the member"},
      {"stream cut short", [&](Parts& p) { p.alpha_member = good.substr(0, good.size() - 10); },
       "does not end within the member's"},
      {"bad checksum", [](Parts& p) { p.alpha_member.back() ^= 0x01; }, "corrupt data"},
      {"gap before the manifest", [](Parts& p) { p.between = "junk"; },
       "the members end at offset"},
      {"member runs into the manifest",
       [&](Parts& p) { p.alpha_sizes = AsciiToText(std::to_string(good.size() + 50) + "," + u); },
       "row 0 (sub\\alpha.txt): the member runs 38 bytes into the manifest"},
      {"wrong password", [](Parts& p) { p.password = u"other"; }, "does not decrypt"},
      {"path leaves the target", [](Parts& p) { p.alpha_folder = u"..\\"; },
       "row 0 (..\\alpha.txt): the path leaves the target folder"},
  };
  for (const Case& k : cases) {
    Parts parts;
    k.alter(parts);
    const std::vector<std::string> problems = Verify(Build(parts));
    if (k.expected == nullptr) {
      EXPECT_TRUE(problems.empty()) << k.what << ": " << ::testing::PrintToString(problems);
      continue;
    }
    ASSERT_EQ(problems.size(), 1u) << k.what << ": " << ::testing::PrintToString(problems);
    EXPECT_NE(problems[0].find(k.expected), std::string::npos) << k.what << ": " << problems[0];
  }
}

TEST_F(VerifyTest, ManifestProblemsAreListedForEveryRow) {
  // Bad cells in two rows: both are reported, and the members are not inflated.
  const std::string member = Deflate("x");
  RawPackage raw(member + member,
                 u"#P,2#,a.txt,1x,1|,b.txt," + Num(member.size()) + u",-3,maybe|short");
  const std::vector<std::string> problems = Verify(BuildPackage(raw));
  const char* expected[] = {
      "row 0 (a.txt): the compressed size cell \"1x\" is not an integer",
      "row 1 (b.txt): the flat cell \"maybe\" is neither a number nor True/False",
      "row 1 (b.txt): the size cell is negative (-3)",
      "row 2: 1 cells, a row needs folder, name, compressed size and size",
      "the members are not checked: their sizes are not all known",
  };
  ASSERT_EQ(problems.size(), std::size(expected)) << ::testing::PrintToString(problems);
  for (size_t i = 0; i < problems.size(); ++i) EXPECT_EQ(problems[i], expected[i]);
}

TEST_F(VerifyTest, NoManifestIsOneProblem) {
  std::string bytes = Build(Parts{});
  // Length field at E-7 made larger than the file.
  bytes[bytes.size() - 4] = '\x7f';
  EXPECT_EQ(Verify(bytes).size(), 1u);
  EXPECT_NE(Verify(bytes)[0].find("no manifest: the length field"), std::string::npos);
  EXPECT_NE(Verify("ab")[0].find("no manifest:"), std::string::npos);
}

TEST_F(VerifyTest, PackageInsideALargerFileIsReadInPlace) {
  const std::string package = Build(Parts{});
  WriteFile(kPackage, std::string(4097, 'P') + package + "trailing bytes");
  auto file = os_.OpenFileForRead(kPackage);
  ASSERT_TRUE(file);
  package::FileRange range(*file, 4097, static_cast<std::int64_t>(package.size()));
  EXPECT_TRUE(package::VerifyPackage(range, Text()).empty());
  // The same range one byte short no longer ends with the package's tail.
  package::FileRange shifted(*file, 4097, static_cast<std::int64_t>(package.size()) - 1);
  EXPECT_FALSE(package::VerifyPackage(shifted, Text()).empty());
}

}  // namespace
}  // namespace pkgtest
