#include "wizard_fixture.h"

#include <atomic>
#include <fstream>
#include <sstream>

#include "package/package_format.h"
#include "params/product_params.h"
#include "platform/little_endian.h"
#include "platform/text.h"

namespace wiztest {

namespace {

std::filesystem::path NewRoot() {
  static std::atomic<int> counter{0};
  auto dir = std::filesystem::temp_directory_path() /
             ("wizard_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace

platform::Bytes BitmapResource(int bit_count, std::uint32_t colors_used) {
  platform::Bytes b(40);
  auto put = [&b](std::size_t at, std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put(0, 40, 4);  // biSize
  put(4, 32, 4);  // width
  put(8, 32, 4);  // height
  put(12, 1, 2);  // planes
  put(14, static_cast<std::uint32_t>(bit_count), 2);
  put(32, colors_used, 4);
  std::size_t palette = bit_count <= 8 ? (colors_used ? colors_used : 1u << bit_count) * 4 : 0;
  b.resize(40 + palette + 32 * 32 * static_cast<std::size_t>(bit_count) / 8, 0x5A);
  return b;
}

WizardTest::WizardTest() : root_(NewRoot()) {
  for (const char* d : {"c", "d", "e"}) std::filesystem::create_directories(root_ / d);
  os_.MapDrive(u'C', root_ / "c", platform::kDriveFixed, kFreeC);
  os_.MapDrive(u'D', root_ / "d", platform::kDriveFixed, kFreeD);
  os_.MapDrive(u'E', root_ / "e", platform::kDriveRemovable, kFreeE);
  os_.SetEnvironmentVariable(u"PROGRAMFILES", Text(u"C:\\Program Files"));

  constexpr std::uint16_t kLang = params::kStringTableLanguage;
  os_.SetResString(1004, kLang, u"Tavrel Demo");
  os_.SetResString(1005, kLang, u"塔维演示");
  os_.SetResString(1009, kLang, u"-1");
  os_.SetResString(1010, kLang, u"TavrelDemo");
  os_.SetResString(1011, kLang, u"1.0");
  os_.SetResString(1012, kLang, u"1.2 MB");
  os_.SetResource(u"IMAGELEFT0", u"#10", {0xFF, 0xD8, 0xFF, 0xE0, 0});
  os_.SetResource(u"IMAGELEFT2", u"#10", {0xFF, 0xD8, 0xFF, 0xE0, 2});
  os_.SetResource(u"IMAGEICON", u"#2", BitmapResource(24));

  const Text shell_folders =
      u"Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  auto sz = [](const Text& t) { return platform::Utf16LeBytes(t + u'\0'); };
  os_.SetRegistryValue(platform::kHkeyCurrentUser, shell_folders, u"Desktop", platform::kRegSz,
                       sz(kDesktop));
  os_.SetRegistryValue(platform::kHkeyCurrentUser, shell_folders, u"AppData", platform::kRegSz,
                       sz(kAppData));
  MakeFolder(kDesktop);
  MakeFolder(kQuickLaunch);

  app_.SetExceptionHandler([this](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      escaped_.push_back(x.what());
    } catch (...) {
      escaped_.push_back("unknown exception");
    }
  });
}

WizardTest::~WizardTest() {
  EXPECT_TRUE(escaped_.empty()) << escaped_.front();
  form_.reset();
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

void WizardTest::Create(int language) {
  form_ = std::make_unique<wizard::TForm1>(app_, language);
  form_->Show();
  app_.Idle();
}

bool WizardTest::Click(const Text& name) {
  const bool delivered = ui_.Click(name);
  app_.Idle();
  return delivered;
}

bool WizardTest::Type(const Text& name, const Text& text) {
  const bool delivered = ui_.Type(name, text);
  app_.Idle();
  return delivered;
}

void WizardTest::GoToPage(int step) {
  while (form_->FStep < step) {
    ASSERT_TRUE(Click(u"btnNext")) << "Next not reachable on page " << form_->FStep;
  }
  ASSERT_EQ(form_->FStep, step);
}

void WizardTest::MakeFolder(const Text& path) {
  std::filesystem::create_directories(*os_.HostPath(path));
}

void WizardTest::WriteFile(const Text& path, const std::string& content) {
  auto host = *os_.HostPath(path);
  std::filesystem::create_directories(host.parent_path());
  std::ofstream(host, std::ios::binary) << content;
}

std::string WizardTest::ReadFile(const Text& path) {
  auto host = os_.HostPath(path);
  if (!host || !std::filesystem::is_regular_file(*host)) return "<missing>";
  std::ifstream in(*host, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::pair<std::string, std::string>> WizardTest::TreeOf(const Text& folder) {
  std::vector<std::pair<std::string, std::string>> files;
  auto host = *os_.HostPath(folder);
  if (!std::filesystem::exists(host)) return files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(host)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    files.emplace_back(std::filesystem::relative(e.path(), host).generic_string(), s.str());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void WizardTest::AddShortcut(const Text& folder, const Text& target) {
  MakeFolder(folder);
  ASSERT_TRUE(os_.WriteShortcutFile(folder + u"\\Tavrel Demo.lnk", target, u""));
}

void WizardTest::SetPackageResource(bool damaged) {
  // Built on the simulated disk by the package writer, then read back as the resource.
  WriteFile(u"C:\\src\\TavrelDemo.exe", "MZ demo program");
  WriteFile(u"C:\\src\\readme.txt", std::string(5000, 'r'));
  const Text package = u"C:\\src\\package.stp";
  {
    package::PackageWriter writer(os_.CreateFileForWrite(package), package::PackOptions{});
    auto exe = os_.OpenFileForRead(u"C:\\src\\TavrelDemo.exe");
    writer.AddFile({u"", u"TavrelDemo.exe"}, *exe);
    auto readme = os_.OpenFileForRead(u"C:\\src\\readme.txt");
    writer.AddFile({u"doc\\", u"readme.txt"}, *readme);
    writer.Finish();
  }
  std::string bytes = ReadFile(package);
  if (damaged) bytes[4] = static_cast<char>(bytes[4] ^ 0xFF);
  os_.SetResource(u"SETUPPACKAGE", u"STPFILE", platform::Bytes(bytes.begin(), bytes.end()));
}

}  // namespace wiztest
