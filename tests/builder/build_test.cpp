// stptool build's core: the product description, the input checks and the setup it writes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>

#include "builder/memory_file.h"
#include "builder/pe_image.h"
#include "builder/setup_builder.h"
#include "package/extract.h"
#include "package/verify.h"
#include "params/product_params.h"
#include "platform/host.h"
#include "platform/text.h"
#include "tests/builder/minimal_image.h"

namespace builder {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void Put(const fs::path& p, const std::string& content) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << content;
}

void PutBytes(const fs::path& p, const Bytes& b) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
}

const char kDescription[] =
    "\xEF\xBB\xBF; a product outside the tree\n"
    "[product]\n"
    "WindowClass   = AcmeMain\n"
    "WindowTitle   = Acme Writer   ; English edition\n"
    "WindowTitleCn = 极客写作\n"
    "DisplayNameEn = Acme Writer\n"
    "DisplayNameCn = 极客写作\n"
    "Freeware      = false\n"
    "ExeBaseName   = AcmeWriter\n"
    "Version       = 2.5;beta\n"
    "[images]\n"
    "BannerCn   = art/cn.jpg\n"
    "BannerEn   = art/en.jpg\n"
    "HeaderIcon = art/header.bmp\n"
    "AppIcon    = art/app.ico\n"
    "FileIcon   = art/file.ico\n"
    "[package]\n"
    "Payload  = files\n"
    "Cipher   = twofish\n"
    "Digest   = SHA1\n";

// A product folder with the demo product's pictures, a description and a nested payload; the
// stubs are minimal images.
class BuildTest : public ::testing::Test {
 protected:
  BuildTest() : os_(platform::CreateHostOs(1252)), scope_(*os_) {
    dir_ = fs::temp_directory_path() /
           ("builder-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    MakeProduct();
    options_.description = (dir_ / "product/product.ini").string();
    options_.output = (dir_ / "out/setup.exe").string();
    options_.stub_dir = (dir_ / "stubs").string();
  }
  ~BuildTest() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void MakeProduct() {
    fs::remove_all(dir_);
    const fs::path images = fs::path(STP_SOURCE_DIR) / "products/demo/images";
    fs::create_directories(dir_ / "product/art");
    fs::copy_file(images / "imageleft0.jpg", dir_ / "product/art/cn.jpg");
    fs::copy_file(images / "imageleft2.jpg", dir_ / "product/art/en.jpg");
    fs::copy_file(images / "imageicon.bmp", dir_ / "product/art/header.bmp");
    fs::copy_file(images / "appicon.ico", dir_ / "product/art/app.ico");
    fs::copy_file(images / "mainicon.ico", dir_ / "product/art/file.ico");
    Put(dir_ / "product/product.ini", kDescription);
    Put(dir_ / "product/files/AcmeWriter.exe", "MZ program");
    Put(dir_ / "product/files/readme, first.txt", "read me");
    Put(dir_ / "product/files/lib/plugins/one.dll", std::string(100000, 'x'));
    Put(dir_ / "product/files/lib/empty.dat", "");
    PutBytes(dir_ / "stubs/setup-stub.exe", MinimalImage(4096));
    PutBytes(dir_ / "stubs/uninst-stub.exe", MinimalImage(512));
    fs::create_directories(dir_ / "out");
  }

  fs::path dir_;
  std::unique_ptr<platform::Os> os_;
  platform::ScopedOs scope_;
  BuildOptions options_;
};

std::optional<platform::Text> StringOf(platform::File& f, const PeImage& image, std::uint32_t id) {
  return LoadString(f, image, id, 2052);
}

TEST_F(BuildTest, SetupCarriesTheProductAndItsPackageExtractsToThePayload) {
  const BuildResult result = BuildSetup(options_);
  EXPECT_EQ(result.files, 5);
  EXPECT_TRUE(result.uninstaller_added);
  EXPECT_FALSE(fs::exists(options_.output + ".partial"));

  MemoryFile setup(Slurp(options_.output));
  const PeImage image(setup);
  EXPECT_EQ(StringOf(setup, image, 1001), u"AcmeMain");
  EXPECT_EQ(StringOf(setup, image, 1003), u"极客写作");
  EXPECT_EQ(StringOf(setup, image, 1009), u"0");
  EXPECT_EQ(StringOf(setup, image, 1010), u"AcmeWriter");
  EXPECT_EQ(StringOf(setup, image, 1011), u"2.5;beta") << "a ; inside a value is no comment";
  EXPECT_EQ(StringOf(setup, image, 1006), std::nullopt);
  // Computed from the payload and the uninstaller: a little over 100 KB.
  const std::optional<platform::Text> space = StringOf(setup, image, 1012);
  ASSERT_TRUE(space.has_value());
  EXPECT_EQ(*space, RequiredSpaceText(result.payload_bytes));
  EXPECT_EQ(RequiredSpaceText(1), u"1 KB");
  EXPECT_EQ(RequiredSpaceText(1024 * 1024 + 1), u"1.1 MB");

  auto bytes_of = [&](std::uint16_t type, const char16_t* name) {
    const ResourceEntry* e = image.Find(ResourceId::Id(type), ResourceId::Name(name));
    return e ? ReadResourceBytes(setup, *e) : Bytes();
  };
  EXPECT_EQ(bytes_of(kRtRcData, u"ImageLeft0"), Slurp(dir_ / "product/art/cn.jpg"));
  EXPECT_EQ(bytes_of(kRtRcData, u"ImageLeft2"), Slurp(dir_ / "product/art/en.jpg"));
  const Bytes bmp = Slurp(dir_ / "product/art/header.bmp");
  EXPECT_EQ(bytes_of(kRtBitmap, u"ImageIcon"), Bytes(bmp.begin() + 14, bmp.end()));
  const Bytes app_group = bytes_of(kRtGroupIcon, u"AppIcon");
  ASSERT_EQ(app_group.size(), 6u + 14u) << "one image";
  const Bytes app_ico = Slurp(dir_ / "product/art/app.ico");
  const ResourceEntry* icon =
      image.Find(ResourceId::Id(kRtIcon), ResourceId::Id(platform::ReadLe16(&app_group[6 + 12])));
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(ReadResourceBytes(setup, *icon),
            Bytes(app_ico.begin() + platform::ReadLe32(&app_ico[18]), app_ico.end()));
  EXPECT_EQ(bytes_of(kRtGroupIcon, u"MainIcon").size(), 6u + 2 * 14u);

  // The package, unpacked the way the setup unpacks it, gives the payload and the uninstaller.
  const ResourceEntry* pkg =
      image.Find(ResourceId::Name(u"StpFile"), ResourceId::Name(u"SetupPackage"));
  ASSERT_NE(pkg, nullptr);
  EXPECT_EQ(pkg->file_offset % 4096, 0);
  const Bytes& all = setup.bytes();
  PutBytes(dir_ / "Setup.stp",
           Bytes(all.begin() + pkg->file_offset, all.begin() + pkg->file_offset + pkg->size));
  package::ExtractPackage(platform::HostPathToOsPath((dir_ / "Setup.stp").string()),
                          platform::HostPathToOsPath((dir_ / "installed").string()) + u"\\", u"",
                          {});
  for (const char* f :
       {"AcmeWriter.exe", "readme, first.txt", "lib/plugins/one.dll", "lib/empty.dat"}) {
    EXPECT_TRUE(fs::exists(dir_ / "installed" / f)) << f;
    EXPECT_EQ(Slurp(dir_ / "installed" / f), Slurp(dir_ / "product/files" / f)) << f;
  }

  // The uninstaller: the product's strings and the list of the installed files, itself included.
  MemoryFile uninst(Slurp(dir_ / "installed/Uninst.exe"));
  const PeImage uninst_image(uninst);
  EXPECT_EQ(StringOf(uninst, uninst_image, 1004), u"Acme Writer");
  EXPECT_EQ(StringOf(uninst, uninst_image, 1012), space);
  EXPECT_NE(uninst_image.Find(ResourceId::Id(kRtGroupIcon), ResourceId::Name(u"APPICON")), nullptr);
  EXPECT_EQ(uninst_image.Find(ResourceId::Name(u"StpFile"), ResourceId::Name(u"SetupPackage")),
            nullptr);
  const ResourceEntry* list =
      uninst_image.Find(ResourceId::Id(kRtRcData), ResourceId::Name(u"InstalledFiles"));
  ASSERT_NE(list, nullptr);
  const Bytes text = ReadResourceBytes(uninst, *list);
  const platform::Text expected =
      u"AcmeWriter.exe\r\nlib\\empty.dat\r\nlib\\plugins\\one.dll\r\nreadme, "
      u"first.txt\r\nUninst.exe\r\n";
  EXPECT_EQ(text,
            InstalledFilesResource({u"AcmeWriter.exe", u"lib\\empty.dat", u"lib\\plugins\\one.dll",
                                    u"readme, first.txt", u"Uninst.exe"}));
  EXPECT_EQ(platform::Text(reinterpret_cast<const char16_t*>(text.data()), text.size() / 2),
            expected);
}

TEST_F(BuildTest, PayloadsOwnUninstallerIsKept) {
  Put(dir_ / "product/files/UNINST.EXE", "the product's own");
  const BuildResult result = BuildSetup(options_);
  EXPECT_FALSE(result.uninstaller_added);
  EXPECT_EQ(result.files, 5);
}

TEST_F(BuildTest, SameSeedGivesTheSameBytes) {
  options_.seed = 42;
  BuildSetup(options_);
  const Bytes first = Slurp(options_.output);
  BuildSetup(options_);
  EXPECT_EQ(Slurp(options_.output), first);
  options_.seed = 43;
  BuildSetup(options_);
  EXPECT_NE(Slurp(options_.output), first);
  options_.seed.reset();
  BuildSetup(options_);
  EXPECT_NE(Slurp(options_.output), first) << "without a seed the salt is random";
}

// The members are compressed several at once; the setup is the same bytes whatever the number of
// jobs. zlib for every member (the former way) gives other bytes that read back as well.
TEST_F(BuildTest, SameBytesWhateverTheJobs) {
  Put(dir_ / "product/files/lib/zeros.bin", std::string(300000, '\0'));
  for (int i = 0; i < 30; ++i)
    Put(dir_ / "product/files/docs" / (std::to_string(i) + ".txt"),
        std::string(5000 + 100 * i, 'a' + i % 26));
  options_.seed = 42;
  options_.jobs = 1;
  BuildSetup(options_);
  const Bytes first = Slurp(options_.output);
  options_.jobs = 4;
  BuildSetup(options_);
  EXPECT_TRUE(Slurp(options_.output) == first);
  options_.compressor = package::MemberCompressor::kZlib;
  options_.level = 9;
  BuildSetup(options_);  // read back and verified inside
  EXPECT_FALSE(Slurp(options_.output) == first);
}

// A disk that fills up while the setup is written: the command fails and leaves no file.
// (RLIMIT_FSIZE stands in for the full disk: with SIGXFSZ ignored, a write past it fails.)
TEST_F(BuildTest, CommandLeavesNoFileWhenTheDiskFills) {
  std::string noise(400000, '\0');
  std::uint32_t x = 7;
  for (char& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  Put(dir_ / "product/files/noise.bin", noise);
  for (const char* jobs : {"1", "4"}) {
    const std::string cmd =
        "cd '" + dir_.string() +
        "' && trap '' XFSZ && ulimit -f 200 && '" STPTOOL_PATH
        "' build product/product.ini -o out/setup.exe --stub-dir stubs --jobs " +
        jobs + " 2>err";
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 1) << jobs;
    const Bytes err = Slurp(dir_ / "err");
    EXPECT_NE(std::string(err.begin(), err.end()).find("Cannot write"), std::string::npos)
        << std::string(err.begin(), err.end());
    EXPECT_TRUE(fs::is_empty(dir_ / "out")) << "a partial setup was left";
  }
}

// Each bad input gives its own message, and nothing is written.
TEST_F(BuildTest, BadInputsAreReportedAndNothingIsWritten) {
  auto edit = [this](const std::string& from, const std::string& to) {
    return [this, from, to] {
      std::string text(kDescription);
      const std::size_t at = text.find(from);
      ASSERT_NE(at, std::string::npos) << from;
      text.replace(at, from.size(), to);
      Put(dir_ / "product/product.ini", text);
    };
  };
  auto patch = [this](const char* file, std::size_t offset, std::uint8_t value) {
    return [this, file, offset, value] {
      Bytes b = Slurp(dir_ / "product" / file);
      if (offset == SIZE_MAX) {
        // The JPEG frame header: baseline becomes progressive.
        for (std::size_t i = 2; i + 1 < b.size(); ++i) {
          if (b[i] == 0xFF && b[i + 1] == 0xC0) {
            b[i + 1] = value;
            break;
          }
        }
      } else {
        b[offset] = value;
      }
      PutBytes(dir_ / "product" / file, b);
    };
  };
  struct Case {
    std::function<void()> damage;
    std::string message;
  };
  const std::string ini = options_.description;
  const Case cases[] = {
      {edit("WindowClass   = AcmeMain\n", ""),
       ini + ": [product] WindowClass is missing; expected id 1001"},
      {edit("Version       = 2.5;beta", "Version ="), ini + ":10: [product] Version is empty"},
      {edit("[images]", "Colour = red\n[images]"),
       ini + ":11: unknown key Colour in [product]; the keys there are WindowClass,"},
      {edit("[package]", "[extras]"), ini + ":17: unknown section [extras]"},
      {edit("Freeware      = false", "Freeware = maybe"),
       ini + ":8: Freeware = maybe: expected true or false"},
      {edit("WindowClass   = AcmeMain", "WindowClass   = A\nWindowClass = B"),
       ini + ":4: WindowClass is given twice (first at line 3)"},
      {edit("DisplayNameEn = Acme Writer", "DisplayNameEn = Acme: Writer"),
       ini + ":6: DisplayNameEn \"Acme: Writer\" cannot name the shortcut and the uninstall "
             "registry key: it holds the character :"},
      {edit("DisplayNameCn = 极客写作", "DisplayNameCn = 极客写作."),
       "DisplayNameCn \"极客写作.\" cannot name the shortcut and the uninstall registry key: it "
       "ends with a space or a dot"},
      {edit("DisplayNameEn = Acme Writer", "DisplayNameEn = COM1"),
       "it is the name of a Windows device"},
      {edit("ExeBaseName   = AcmeWriter", "ExeBaseName   = Acme"),
       "Payload: " + (dir_ / "product/files").string() + " has no Acme.exe in its top folder"},
      {edit("ExeBaseName   = AcmeWriter", "ExeBaseName   = AcmeWriter.exe"),
       "ExeBaseName \"AcmeWriter.exe\" is not a program name without .exe"},
      {edit("Cipher   = twofish", "Cipher = ROT13"),
       ini + ":19: unknown cipher ROT13; expected Blowfish"},
      {edit("Digest   = SHA1", "Digest = SHA3"), ini + ":20: unknown digest SHA3"},
      {edit("Digest   = SHA1", "CodePage = 1252x"),
       "CodePage = 1252x: expected a Windows code page number"},
      {edit("BannerEn   = art/en.jpg", "BannerEn = art/none.jpg"),
       "BannerEn: " + (dir_ / "product/art/none.jpg").string() + " cannot be read"},
      {patch("art/cn.jpg", SIZE_MAX, 0xC2),
       "BannerCn: " + (dir_ / "product/art/cn.jpg").string() +
           " is a progressive JPEG (a baseline one is needed); expected a baseline JPEG of 160 x "
           "308 pixels"},
      {patch("art/en.jpg", 0, 0x00),
       "BannerEn: " + (dir_ / "product/art/en.jpg").string() + " is not a JPEG file"},
      {patch("art/header.bmp", 14 + 14, 8),
       "is a BMP of 32 x 32 pixels with 8 bits per pixel; expected an uncompressed BMP of 32 x 32 "
       "pixels, 24 bits per pixel"},
      {patch("art/app.ico", 6 + 16 + 4, 16),
       "AppIcon: " + (dir_ / "product/art/app.ico").string() +
           " lacks the image 32 x 32 with 8 bits per pixel (it has 16 x 32 with 8 bits per pixel)"},
      {patch("art/file.ico", 2, 2),
       "FileIcon: " + (dir_ / "product/art/file.ico").string() + " is not an icon file"},
      {[this] {
         fs::remove_all(dir_ / "product/files");
         fs::create_directories(dir_ / "product/files/sub");
       },
       "Payload: " + (dir_ / "product/files").string() + " holds no files"},
      {[this] {
         Put(dir_ / "product/files/日本/読.txt", "x");
         Put(dir_ / "product/files/ä.txt", "x");
       },
       "Payload: these names cannot be written in code page 1252 (CodePage in [package]); rename "
       "them or choose another code page:\n  日本\\読.txt"},
      {[this] {
         Put(dir_ / "product/files/Lib/other.dll", "x");
         Put(dir_ / "product/files/acmewriter.EXE", "x");
       },
       "differ only in letter case; Windows holds one of them"},
      {[this] { Put(dir_ / "product/files/a|b.txt", "x"); },
       "\"a|b.txt\": it holds the character |"},
      // The publisher's keys and the licence files.
      {edit("[images]", "[publisher]\nUrl = ftp://acme.example/\n[images]"),
       ini + ":12: [publisher] Url \"ftp://acme.example/\": it does not begin with http:// or "
             "https://"},
      {edit("[images]", "[publisher]\nUrlCn = https://acme.example/a b\n[images]"),
       "[publisher] UrlCn \"https://acme.example/a b\": it holds a space"},
      {edit("[images]", "[publisher]\nUrl = https:///path\n[images]"),
       "[publisher] Url \"https:///path\": it names no host"},
      {edit("[images]",
            "[publisher]\nUrl = https://a.example/" + std::string(2031, 'p') + "\n[images]"),
       "is longer than 2048 characters"},
      {edit("[images]", "[publisher]\nName =\n[images]"),
       ini + ":12: [publisher] Name \"\": it is empty"},
      {edit("[images]", "[publisher]\nNameCn = " + std::string(256, 'n') + "\n[images]"),
       "it is longer than 255 characters"},
      {edit("[images]", "[publisher]\nFolder = Acme\\Soft\n[images]"),
       ini + ":12: [publisher] Folder \"Acme\\Soft\": it holds the character \\"},
      {edit("[images]", "[publisher]\nFolder = Acme/Soft\n[images]"), "it holds the character /"},
      {edit("[images]", "[publisher]\nFolder = LPT1\n[images]"),
       "[publisher] Folder \"LPT1\": it is the name of a Windows device"},
      {edit("[images]", "[publisher]\nFolder = Acme.\n[images]"), "it ends with a space or a dot"},
      {edit("[images]", "[publisher]\nFolder = " + std::string(65, 'f') + "\n[images]"),
       "it is longer than 64 characters"},
      {edit("[images]", "[publisher]\nFolder = 极客\n[images]"),
       "[publisher] Folder \"极客\": it cannot be written in code page 1252"},
      {edit("[images]", "[texts]\nLicense = none.txt\n[images]"),
       ini + ":12: [texts] License: " + (dir_ / "product/none.txt").string() +
           " cannot be read; expected a UTF-8 text file"},
      {[this, edit] {
         edit("[images]", "[texts]\nLicenseCn = cn.txt\n[images]")();
         Put(dir_ / "product/cn.txt", "\xC4\xE3\xBA\xC3 GBK");
       },
       "[texts] LicenseCn: " + (dir_ / "product/cn.txt").string() + " is not UTF-8 text"},
      {[this, edit] {
         edit("[images]", "[texts]\nLicense = en.txt\n[images]")();
         Put(dir_ / "product/en.txt", std::string("a\0b", 3));
       },
       "holds a NUL character"},
      {[this, edit] {
         edit("[images]", "[texts]\nLicense = en.txt\n[images]")();
         Put(dir_ / "product/en.txt", std::string(60001, 'x'));
       },
       "has 60001 characters, more than 60000"},
      {[this, edit] {
         edit("[images]", "[texts]\nLicense = en.txt\n[images]")();
         Put(dir_ / "product/en.txt", std::string(40000, '\n'));
       },
       "too long once its line ends become CRLF"},
      {[this] { fs::remove(dir_ / "stubs/uninst-stub.exe"); },
       (dir_ / "stubs/uninst-stub.exe").string() + " cannot be read; expected the generic program"},
      {[this] { Put(dir_ / "stubs/setup-stub.exe", "MZ but nothing else"); },
       "setup-stub.exe: not a usable Windows program"},
      {[this] { options_.output = (dir_ / "out/missing/setup.exe").string(); },
       (dir_ / "out/missing/setup.exe").string() + ": the folder " +
           (dir_ / "out/missing").string() + " does not exist"},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  if (::geteuid() != 0) {  // root reads every file
    all.push_back(
        {[this] { fs::permissions(dir_ / "product/files/lib/empty.dat", fs::perms::none); },
         "Payload: " + (dir_ / "product/files/lib/empty.dat").string() + " cannot be read"});
  }
  for (const Case& c : all) {
    SCOPED_TRACE(c.message);
    MakeProduct();
    options_.output = (dir_ / "out/setup.exe").string();
    c.damage();
    std::vector<std::string> problems;
    try {
      BuildSetup(options_);
      ADD_FAILURE() << "no problem reported";
    } catch (const BuildProblems& e) {
      problems = e.problems();
    }
    const bool found = std::any_of(problems.begin(), problems.end(), [&](const std::string& p) {
      return p.find(c.message) != std::string::npos;
    });
    std::string got;
    for (const std::string& p : problems) got += "\n  " + p;
    EXPECT_TRUE(found) << "got:" << got;
    EXPECT_TRUE(fs::is_empty(dir_ / "out")) << "something was written";
  }
}

// Every publisher key, built and read back with stptool info; the licences keep every character
// (a BOM dropped, line ends made CRLF), also at 60,000 characters of Chinese text.
TEST_F(BuildTest, PublisherKeysRoundTripThroughInfo) {
  std::string description(kDescription);
  description.replace(
      description.find("[images]"), 8,
      "[publisher]\nName = Acme Tools Ltd.\nNameCn = 极客工具\n"
      "Url = https://acme.example/\nurlcn = HTTPS://acme.example/cn/?a=1\n"
      "Folder = Acme Tools\n[texts]\nLicense = legal/en.txt\nLicenseCn = legal/cn.txt\n[images]");
  Put(dir_ / "product/product.ini", description);
  Put(dir_ / "product/legal/en.txt",
      "\xEF\xBB\xBF"
      "Acme licence\n\n\tIndented\tterms.\r\nold Mac\rend\n");
  std::string cn = "极客许可协议\n";
  while (cn.size() < 3 * 60000 - 3) cn += "条";  // 60,000 characters in all
  Put(dir_ / "product/legal/cn.txt", cn);
  BuildSetup(options_);

  MemoryFile setup(Slurp(options_.output));
  const PeImage image(setup);
  EXPECT_EQ(StringOf(setup, image, params::kIdLicense),
            u"Acme licence\r\n\r\n\tIndented\tterms.\r\nold Mac\r\nend\r\n");
  const std::optional<platform::Text> cn_text = StringOf(setup, image, params::kIdLicenseCn);
  ASSERT_TRUE(cn_text.has_value());
  EXPECT_EQ(cn_text->size(), 60001u) << "one line end became CRLF";

  const std::string cmd =
      "'" STPTOOL_PATH "' info '" + options_.output + "' >'" + (dir_ / "info").string() + "'";
  ASSERT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 0);
  const Bytes out = Slurp(dir_ / "info");
  const std::string info(out.begin(), out.end());
  for (const char* line :
       {"1013\tpublisher.Name\tAcme Tools Ltd.\n", "1014\tpublisher.NameCn\t极客工具\n",
        "1015\tpublisher.Url\thttps://acme.example/\n",
        "1016\tpublisher.UrlCn\tHTTPS://acme.example/cn/?a=1\n",
        "1017\tpublisher.Folder\tAcme Tools\n",
        "1018\ttexts.License\t48 characters: Acme licence\n",
        "1019\ttexts.LicenseCn\t60001 characters: 极客许可协议\n"}) {
    EXPECT_NE(info.find(line), std::string::npos) << line << info;
  }

  // Only the English names given: the Chinese ones follow them; the rest keep their defaults,
  // which are not stored.
  description = kDescription;
  description.replace(description.find("[images]"), 8,
                      "[publisher]\nName = Acme Tools Ltd.\nUrl = https://acme.example/\n[images]");
  Put(dir_ / "product/product.ini", description);
  BuildSetup(options_);
  MemoryFile again(Slurp(options_.output));
  const PeImage again_image(again);
  EXPECT_EQ(StringOf(again, again_image, params::kIdPublisherNameCn), u"Acme Tools Ltd.");
  EXPECT_EQ(StringOf(again, again_image, params::kIdPublisherUrlCn), u"https://acme.example/");
  EXPECT_EQ(StringOf(again, again_image, params::kIdPublisherFolder), std::nullopt);
  EXPECT_EQ(StringOf(again, again_image, params::kIdLicense), std::nullopt);
}

// The command as a user runs it: problems on stderr with the paths as given, exit code 1.
TEST_F(BuildTest, CommandReportsEveryProblemWithThePathsAsGiven) {
  MakeProduct();
  Put(dir_ / "product/product.ini", std::string(kDescription) + "Extra = 1\n");
  const std::string cmd = "cd '" + dir_.string() +
                          "' && '" STPTOOL_PATH
                          "' build product/product.ini -o out/setup.exe --stub-dir stubs 2>err";
  const int status = std::system(cmd.c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  const Bytes err = Slurp(dir_ / "err");
  const std::string text(err.begin(), err.end());
  EXPECT_NE(text.find("stptool build: product/product.ini:21: unknown key Extra in [package]"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("1 problem; nothing was written"), std::string::npos) << text;
  EXPECT_TRUE(fs::is_empty(dir_ / "out"));
  const std::string good =
      "cd '" + dir_.string() +
      "' && '" STPTOOL_PATH
      "' build product/product.ini -o out/setup.exe --stub-dir stubs --payload product/files 2>err";
  Put(dir_ / "product/product.ini", kDescription);
  EXPECT_EQ(WEXITSTATUS(std::system(good.c_str())), 0);
  EXPECT_TRUE(fs::exists(dir_ / "out/setup.exe"));
}
}  // namespace
}  // namespace builder
