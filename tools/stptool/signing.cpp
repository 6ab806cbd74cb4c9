#include "tools/stptool/signing.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <system_error>

#include "builder/host_paths.h"

#ifdef _WIN32
#include "platform/text.h"
#include "platform/win32/windows_api.h"
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
extern char** environ;
#endif

namespace stptool {

namespace fs = std::filesystem;

using builder::HostPath;  // command-line paths are UTF-8 on every host

#ifdef _WIN32

namespace {

// One argument quoted for CommandLineToArgvW and the C runtime's parser.
std::wstring QuoteArgument(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote escaped.
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(backslashes * 2, L'\\');  // before the closing quote
  out += L'"';
  return out;
}

std::wstring Wide(const std::string& utf8) {
  const platform::Text t = platform::Utf8ToText(utf8);
  return std::wstring(t.begin(), t.end());
}

struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h) ::CloseHandle(h);
  }
};

}  // namespace

int RunProgram(const std::string& program, const std::vector<std::string>& args, bool quiet) {
  std::wstring command_line = QuoteArgument(Wide(program));
  for (const std::string& a : args) command_line += L" " + QuoteArgument(Wide(a));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::unique_ptr<void, HandleCloser> null_device;
  if (quiet) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    null_device.reset(::CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit,
                                    OPEN_EXISTING, 0, nullptr));
    if (null_device.get() != INVALID_HANDLE_VALUE) {
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
      startup.hStdOutput = null_device.get();
      startup.hStdError = null_device.get();
    }
  }
  PROCESS_INFORMATION info{};
  // A null application name makes CreateProcessW search the PATH (adding ".exe").
  if (!::CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, quiet ? TRUE : FALSE, 0,
                        nullptr, nullptr, &startup, &info)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return -1;
    throw std::runtime_error("cannot start " + program + " (Windows error " +
                             std::to_string(error) + ")");
  }
  const std::unique_ptr<void, HandleCloser> process(info.hProcess);
  const std::unique_ptr<void, HandleCloser> thread(info.hThread);
  ::WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 1;
  ::GetExitCodeProcess(info.hProcess, &code);
  return static_cast<int>(code);
}

#else

// posix_spawn's file actions, released on every path.
class SpawnActions {
 public:
  SpawnActions() { ::posix_spawn_file_actions_init(&actions_); }
  ~SpawnActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

int RunProgram(const std::string& program, const std::vector<std::string>& args, bool quiet) {
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  SpawnActions actions;
  if (quiet) {
    ::posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), 1, 2);
  }
  pid_t pid = 0;
  const int rc =
      ::posix_spawnp(&pid, program.c_str(), actions.get(), nullptr, argv.data(), environ);
  if (rc == ENOENT) return -1;
  if (rc != 0) {
    throw std::runtime_error("cannot start " + program + ": " +
                             std::generic_category().message(rc));
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("lost track of " + program);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#endif

namespace {

const char* MissingToolMessage() {
#ifdef _WIN32
  return "--sign needs osslsigncode.exe on the PATH; install it, or sign the setup afterwards "
         "with your own signing tool";
#else
  return "--sign needs osslsigncode (Debian package osslsigncode: apt-get install osslsigncode)";
#endif
}

void CheckReadable(const std::string& path, const char* what) {
  std::error_code ec;
  if (!fs::is_regular_file(HostPath(path), ec)) {
    throw std::runtime_error(std::string(what) + " " + path + " is not a file that can be read");
  }
}

}  // namespace

void CheckSigning(const SignOptions& options) {
  CheckReadable(options.certificate, "the certificate");
  if (!options.password_file.empty()) CheckReadable(options.password_file, "the password file");
  if (RunProgram("osslsigncode", {"--version"}, true) == -1) {
    throw std::runtime_error(MissingToolMessage());
  }
}

void SignExecutable(const std::string& host_path, const SignOptions& options) {
  const std::string signed_copy = host_path + ".signing";
  std::vector<std::string> args = {"sign", "-pkcs12", options.certificate, "-h", "sha256"};
  if (!options.password_file.empty()) {
    args.insert(args.end(), {"-readpass", options.password_file});
  }
  if (!options.description.empty()) args.insert(args.end(), {"-n", options.description});
  args.insert(args.end(), {"-in", host_path, "-out", signed_copy});

  std::error_code ec;
  fs::remove(HostPath(signed_copy), ec);
  const int code = RunProgram("osslsigncode", args);
  if (code == -1) throw std::runtime_error(MissingToolMessage());
  if (code != 0) {
    fs::remove(HostPath(signed_copy), ec);
    throw std::runtime_error("osslsigncode could not sign " + host_path + " with " +
                             options.certificate + " (exit code " + std::to_string(code) +
                             "; its messages are above)");
  }
  fs::rename(HostPath(signed_copy), HostPath(host_path), ec);
  if (ec) {
    fs::remove(HostPath(signed_copy), ec);
    throw std::runtime_error("cannot replace " + host_path + " by its signed copy");
  }
}

}  // namespace stptool
