// The Win32 implementation for the Os contract suite: a folder of the test's own under %TEMP% and
// a key under HKEY_CURRENT_USER\Software\StpOsContract, each removed with everything in it before
// and after the test.
#include <gtest/gtest.h>

#include <memory>

#include "platform/text.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/windows_api.h"
#include "tests/platform/os_contract_env.h"

// After windows_api.h, which includes <windows.h> as this code needs it.
// clang-format off
#include <shlwapi.h>
// clang-format on

namespace platform::contract {
namespace {

class Win32Env : public Env {
 public:
  Win32Env() {
    wchar_t temp[MAX_PATH];
    if (::GetTempPathW(MAX_PATH, temp) == 0) ADD_FAILURE() << "no temporary folder";
    folder_ = Text(reinterpret_cast<const char16_t*>(temp)) + AsciiToText("stp-contract-") +
              Utf8ToText(::testing::UnitTest::GetInstance()->current_test_info()->name());
    // Parameterised test names carry a slash, which a file name may not.
    for (char16_t& c : folder_) {
      if (c == u'/') c = u'-';
    }
    Clean();
    os_.CreateDirectory(folder_);
  }
  ~Win32Env() override { Clean(); }
  Os& os() override { return os_; }
  const Text& folder() const override { return folder_; }
  const Text& key() const override { return key_; }

 private:
  void Clean() {
    ::SHDeleteKeyW(HKEY_CURRENT_USER, L"Software\\StpOsContract");
    // SHFileOperation wants a list ending in two NULs.
    const Text from = folder_ + Text(2, u'\0');
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = reinterpret_cast<const wchar_t*>(from.c_str());
    op.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    ::SHFileOperationW(&op);
  }

  Win32Os os_;
  Text folder_;
  const Text key_ = AsciiToText("Software\\StpOsContract\\Sub");
};

}  // namespace

std::vector<std::string> Implementations() { return {"Win32"}; }

std::unique_ptr<Env> OpenEnv(const std::string&) { return std::make_unique<Win32Env>(); }

}  // namespace platform::contract
