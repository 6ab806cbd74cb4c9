// The host of a command-line tool on Windows is Windows itself.
#include <vector>

#include "platform/host.h"
#include "platform/text.h"
#include "platform/win32/win32_os.h"
#include "platform/win32/windows_api.h"

namespace platform {

std::unique_ptr<Os> CreateHostOs(std::uint32_t /*code_page*/) {
  // The real system has its own ANSI code page; the tools do not choose one here.
  return std::make_unique<Win32Os>();
}

Text HostPathToOsPath(const std::string& host_path) {
  const Text relative = Utf8ToText(host_path);
  const auto* name = reinterpret_cast<const wchar_t*>(relative.c_str());
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetFullPathNameW(name, static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return relative;  // not a path Windows can complete; use it as given
    if (length < buffer.size()) {
      return Text(reinterpret_cast<const char16_t*>(buffer.data()), length);
    }
    buffer.assign(length + std::size_t{1}, L'\0');
  }
}

std::string HostPathsInMessage(const std::string& message) { return message; }

std::string HostExecutablePath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) {
      return TextToUtf8(TextView(reinterpret_cast<const char16_t*>(buffer.data()), n));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  struct LocalDeleter {
    void operator()(LPWSTR* p) const { ::LocalFree(p); }
  };
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalDeleter> wide(
      ::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (!wide) {
    // Without the UTF-16 command line the ANSI arguments are the best there is.
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
  }
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) {
    args.push_back(TextToUtf8(TextView(reinterpret_cast<const char16_t*>(wide.get()[i]))));
  }
  return args;
}

}  // namespace platform
