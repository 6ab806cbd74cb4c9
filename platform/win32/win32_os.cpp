#include "platform/win32/win32_os.h"

#include <climits>
#include <cstring>
#include <vector>

#include "platform/win32/windows_api.h"

namespace platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows text is UTF-16");
static_assert(sizeof(Guid) == sizeof(GUID), "Guid mirrors GUID");

namespace {

const wchar_t* W(const Text& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
const wchar_t* WOrNull(const Text* text) { return text != nullptr ? W(*text) : nullptr; }
const wchar_t* WOrNull(const std::optional<Text>& text) {
  return text.has_value() ? W(*text) : nullptr;
}

// The text of a buffer of at most max characters, up to its first NUL.
Text TextUpToNul(const wchar_t* buffer, std::size_t max) {
  std::size_t n = 0;
  while (n < max && buffer[n] != L'\0') ++n;
  return Text(reinterpret_cast<const char16_t*>(buffer), n);
}

template <typename T>
T FromHandle(Handle handle) {
  return reinterpret_cast<T>(handle);
}
template <typename T>
Handle ToHandle(T value) {
  return reinterpret_cast<Handle>(value);
}

GUID ToGuid(const Guid& guid) {
  GUID result;
  std::memcpy(&result, &guid, sizeof result);
  return result;
}

// Closes a kernel handle when it goes out of scope.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() {
    if (valid()) ::CloseHandle(handle_);
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// Owns one reference to a COM interface.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  explicit ComPtr(T* pointer) : pointer_(pointer) {}
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  void Reset(T* pointer = nullptr) {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = pointer;
  }
  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  T* pointer_ = nullptr;
};

// Frees shell item lists and other memory that the shell hands out through the COM allocator.
struct CoTaskMemDeleter {
  void operator()(void* p) const { ::CoTaskMemFree(p); }
};
using PidlPtr = std::unique_ptr<ITEMIDLIST, CoTaskMemDeleter>;

// Frees a buffer that FormatMessageW allocated.
struct LocalDeleter {
  void operator()(void* p) const { ::LocalFree(p); }
};

class Win32File : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}

  bool Read(void* buffer, std::uint32_t size, std::uint32_t* read) override {
    DWORD got = 0;
    const BOOL ok = ::ReadFile(handle_.get(), buffer, size, &got, nullptr);
    *read = got;
    return ok != FALSE;
  }

  bool Write(const void* buffer, std::uint32_t size) override {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    while (size > 0) {
      DWORD written = 0;
      if (!::WriteFile(handle_.get(), bytes, size, &written, nullptr)) return false;
      if (written == 0) {
        // A write that makes no progress would loop for ever; report it as the full disk it is.
        ::SetLastError(ERROR_DISK_FULL);
        return false;
      }
      bytes += written;
      size -= written;
    }
    return true;
  }

  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!::SetFilePointerEx(handle_.get(), distance, &position, static_cast<DWORD>(origin))) {
      return -1;
    }
    return position.QuadPart;
  }

  std::int64_t Size() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_.get(), &size)) return -1;
    return size.QuadPart;
  }

 private:
  UniqueHandle handle_;
};

// The shell link object behind the boundary's single-object view. COM hands out one pointer per
// interface; this keeps the IUnknown it was created with and asks for IShellLinkW and
// IPersistFile when a method of theirs is first used.
class Win32ShellLink : public ShellLink {
 public:
  explicit Win32ShellLink(IUnknown* unknown) : unknown_(unknown) {}

  HResult QueryInterface(const Guid& iid) override {
    const GUID guid = ToGuid(iid);
    void* pointer = nullptr;
    const HRESULT hr = unknown_->QueryInterface(guid, &pointer);
    if (SUCCEEDED(hr) && pointer != nullptr) static_cast<IUnknown*>(pointer)->Release();
    return hr;
  }

  HResult SetPath(const Text& path) override {
    if (!Ensure(IID_IShellLinkW, link_)) return E_NOINTERFACE;
    return link_->SetPath(W(path));
  }

  HResult SetWorkingDirectory(const Text& dir) override {
    if (!Ensure(IID_IShellLinkW, link_)) return E_NOINTERFACE;
    return link_->SetWorkingDirectory(W(dir));
  }

  HResult Resolve(Handle window, std::uint32_t flags) override {
    if (!Ensure(IID_IShellLinkW, link_)) return E_NOINTERFACE;
    return link_->Resolve(FromHandle<HWND>(window), flags);
  }

  HResult GetPath(Text* path, std::uint32_t buffer_chars, std::uint32_t flags) override {
    path->clear();
    if (!Ensure(IID_IShellLinkW, link_)) return E_NOINTERFACE;
    if (buffer_chars > INT_MAX) return E_INVALIDARG;
    std::vector<wchar_t> buffer(buffer_chars + 1, L'\0');
    WIN32_FIND_DATAW find_data{};
    const HRESULT hr =
        link_->GetPath(buffer.data(), static_cast<int>(buffer_chars), &find_data, flags);
    if (SUCCEEDED(hr)) *path = TextUpToNul(buffer.data(), buffer_chars);
    return hr;
  }

  HResult Load(const Text& file, std::uint32_t mode) override {
    if (!Ensure(IID_IPersistFile, file_)) return E_NOINTERFACE;
    return file_->Load(W(file), mode);
  }

  HResult Save(const Text& file, bool remember) override {
    if (!Ensure(IID_IPersistFile, file_)) return E_NOINTERFACE;
    return file_->Save(W(file), remember ? TRUE : FALSE);
  }

 private:
  template <typename T>
  bool Ensure(REFIID iid, ComPtr<T>& target) {
    if (target) return true;
    void* pointer = nullptr;
    if (FAILED(unknown_->QueryInterface(iid, &pointer)) || pointer == nullptr) return false;
    target.Reset(static_cast<T*>(pointer));
    return true;
  }

  ComPtr<IUnknown> unknown_;
  ComPtr<IShellLinkW> link_;
  ComPtr<IPersistFile> file_;
};

}  // namespace

// --- Registry ------------------------------------------------------------------------------------

LStatus Win32Os::RegCreateKeyEx(Handle root, const Text& sub_key, std::uint32_t options,
                                std::uint32_t access, Handle* key) {
  HKEY result = nullptr;
  const LONG status = ::RegCreateKeyExW(FromHandle<HKEY>(root), W(sub_key), 0, nullptr, options,
                                        access, nullptr, &result, nullptr);
  *key = status == ERROR_SUCCESS ? ToHandle(result) : 0;
  return status;
}

LStatus Win32Os::RegOpenKeyEx(Handle root, const Text& sub_key, std::uint32_t access, Handle* key) {
  HKEY result = nullptr;
  const LONG status = ::RegOpenKeyExW(FromHandle<HKEY>(root), W(sub_key), 0, access, &result);
  *key = status == ERROR_SUCCESS ? ToHandle(result) : 0;
  return status;
}

LStatus Win32Os::RegQueryValueEx(Handle key, const Text& name, std::uint32_t* type,
                                 std::uint8_t* data, std::uint32_t* size) {
  DWORD value_type = 0;
  DWORD value_size = size != nullptr ? *size : 0;
  const LONG status = ::RegQueryValueExW(FromHandle<HKEY>(key), W(name), nullptr, &value_type, data,
                                         size != nullptr ? &value_size : nullptr);
  if (type != nullptr) *type = value_type;
  if (size != nullptr) *size = value_size;
  return status;
}

LStatus Win32Os::RegSetValueEx(Handle key, const Text& name, std::uint32_t type,
                               const std::uint8_t* data, std::uint32_t size) {
  return ::RegSetValueExW(FromHandle<HKEY>(key), W(name), 0, type, data, size);
}

LStatus Win32Os::RegCloseKey(Handle key) { return ::RegCloseKey(FromHandle<HKEY>(key)); }

LStatus Win32Os::RegDeleteKey(Handle root, const Text& sub_key) {
  return ::RegDeleteKeyW(FromHandle<HKEY>(root), W(sub_key));
}

// --- Windows and messages ------------------------------------------------------------------------

Handle Win32Os::FindWindow(const Text* class_name, const Text* title) {
  return ToHandle(::FindWindowW(WOrNull(class_name), WOrNull(title)));
}

Handle Win32Os::GetActiveWindow() { return ToHandle(::GetActiveWindow()); }

int Win32Os::MessageBox(Handle owner, const Text& text, const Text& caption, std::uint32_t flags) {
  return ::MessageBoxW(FromHandle<HWND>(owner), W(text), W(caption), flags);
}

// --- ANSI code page ------------------------------------------------------------------------------

std::uint32_t Win32Os::GetACP() { return ::GetACP(); }

namespace {

// WideCharToMultiByte over a whole text; empty on failure. used_default may be null.
std::string ToMultiByte(UINT code_page, DWORD flags, TextView text, BOOL* used_default) {
  if (text.empty()) return {};
  if (text.size() > INT_MAX) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return {};
  }
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  const int needed =
      ::WideCharToMultiByte(code_page, flags, wide, length, nullptr, 0, nullptr, used_default);
  if (needed <= 0) return {};
  std::string result(static_cast<std::size_t>(needed), '\0');
  const int written = ::WideCharToMultiByte(code_page, flags, wide, length, result.data(), needed,
                                            nullptr, used_default);
  result.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
  return result;
}

// MultiByteToWideChar over all the bytes; nullopt on failure.
std::optional<Text> ToWide(UINT code_page, DWORD flags, std::string_view bytes) {
  if (bytes.empty()) return Text();
  if (bytes.size() > INT_MAX) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return std::nullopt;
  }
  const int length = static_cast<int>(bytes.size());
  const int needed = ::MultiByteToWideChar(code_page, flags, bytes.data(), length, nullptr, 0);
  if (needed <= 0) return std::nullopt;
  std::vector<wchar_t> buffer(static_cast<std::size_t>(needed));
  const int written =
      ::MultiByteToWideChar(code_page, flags, bytes.data(), length, buffer.data(), needed);
  if (written <= 0) return std::nullopt;
  return Text(reinterpret_cast<const char16_t*>(buffer.data()), static_cast<std::size_t>(written));
}

}  // namespace

std::string Win32Os::WideToAnsi(TextView text) { return ToMultiByte(CP_ACP, 0, text, nullptr); }

Text Win32Os::AnsiToWide(std::string_view bytes) {
  return ToWide(CP_ACP, 0, bytes).value_or(Text());
}

bool Win32Os::IsValidCodePage(std::uint32_t code_page) {
  return ::IsValidCodePage(code_page) != FALSE;
}

std::string Win32Os::WideToCodePage(std::uint32_t code_page, TextView text, bool* used_default) {
  BOOL defaulted = FALSE;
  std::string bytes = ToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, text, &defaulted);
  *used_default = defaulted != FALSE;
  return bytes;
}

std::optional<Text> Win32Os::CodePageToWide(std::uint32_t code_page, std::string_view bytes) {
  return ToWide(code_page, MB_ERR_INVALID_CHARS, bytes);
}

// --- Files and folders ---------------------------------------------------------------------------

bool Win32Os::FileExists(const Text& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool Win32Os::DirectoryExists(const Text& path) {
  const DWORD attributes = ::GetFileAttributesW(W(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool Win32Os::CreateDirectory(const Text& path) {
  return ::CreateDirectoryW(W(path), nullptr) != FALSE;
}

bool Win32Os::RemoveDirectory(const Text& path) { return ::RemoveDirectoryW(W(path)) != FALSE; }

bool Win32Os::DeleteFile(const Text& path) { return ::DeleteFileW(W(path)) != FALSE; }

std::uint32_t Win32Os::GetFileAttributes(const Text& path) { return ::GetFileAttributesW(W(path)); }

std::unique_ptr<File> Win32Os::OpenFileForRead(const Text& path) {
  HANDLE handle = ::CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return std::make_unique<Win32File>(handle);
}

std::unique_ptr<File> Win32Os::CreateFileForWrite(const Text& path) {
  HANDLE handle = ::CreateFileW(W(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  // CREATE_ALWAYS reports an overwritten file through the last error even on success.
  ::SetLastError(ERROR_SUCCESS);
  return std::make_unique<Win32File>(handle);
}

std::uint32_t Win32Os::GetLastError() { return ::GetLastError(); }

void Win32Os::SetLastError(std::uint32_t code) { ::SetLastError(code); }

bool Win32Os::CopyFile(const Text& from, const Text& to, bool fail_if_exists) {
  return ::CopyFileW(W(from), W(to), fail_if_exists ? TRUE : FALSE) != FALSE;
}

bool Win32Os::MoveFileEx(const Text& from, const Text* to, std::uint32_t flags) {
  return ::MoveFileExW(W(from), WOrNull(to), flags) != FALSE;
}

bool Win32Os::ListDirectory(const Text& folder, std::vector<Text>* names) {
  names->clear();
  const bool has_separator = !folder.empty() && folder.back() == u'\\';
  const Text pattern = folder + (has_separator ? u"*" : u"\\*");
  WIN32_FIND_DATAW data{};
  HANDLE find = ::FindFirstFileW(W(pattern), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    Text name = TextUpToNul(data.cFileName, MAX_PATH);
    if (name != u"." && name != u"..") names->push_back(std::move(name));
  } while (::FindNextFileW(find, &data));
  const DWORD error = ::GetLastError();
  ::FindClose(find);
  if (error != ERROR_NO_MORE_FILES) {
    ::SetLastError(error);
    return false;
  }
  return true;
}

// --- Drives and system folder --------------------------------------------------------------------

std::uint32_t Win32Os::GetLogicalDrives() { return ::GetLogicalDrives(); }

std::uint32_t Win32Os::GetDriveType(const Text& root) { return ::GetDriveTypeW(W(root)); }

bool Win32Os::GetDiskFreeSpaceEx(const Text& root, std::int64_t* free_to_caller,
                                 std::int64_t* total) {
  ULARGE_INTEGER free_bytes;
  ULARGE_INTEGER total_bytes;
  if (!::GetDiskFreeSpaceExW(W(root), &free_bytes, &total_bytes, nullptr)) return false;
  if (free_to_caller != nullptr) *free_to_caller = static_cast<std::int64_t>(free_bytes.QuadPart);
  if (total != nullptr) *total = static_cast<std::int64_t>(total_bytes.QuadPart);
  return true;
}

std::uint32_t Win32Os::GetSystemDirectory(Text* dir, std::uint32_t buffer_chars) {
  std::vector<wchar_t> buffer(buffer_chars + std::size_t{1}, L'\0');
  const UINT result =
      ::GetSystemDirectoryW(buffer_chars > 0 ? buffer.data() : nullptr, buffer_chars);
  // A result of buffer_chars or more is the size needed; the buffer then holds nothing usable.
  if (result > 0 && result < buffer_chars) {
    *dir = TextUpToNul(buffer.data(), buffer_chars);
  } else {
    dir->clear();
  }
  return result;
}

// --- Process environment -------------------------------------------------------------------------

std::optional<Text> Win32Os::GetEnvironmentVariable(const Text& name) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    ::SetLastError(ERROR_SUCCESS);
    const DWORD result =
        ::GetEnvironmentVariableW(W(name), buffer.data(), static_cast<DWORD>(buffer.size()));
    if (result == 0) {
      if (::GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return Text();  // set, but empty
    }
    if (result < buffer.size()) {
      return Text(reinterpret_cast<const char16_t*>(buffer.data()), result);
    }
    // Too small: result is the size needed, NUL included. The value may grow between calls.
    buffer.assign(result + std::size_t{1}, L'\0');
  }
}

Text Win32Os::GetTempPath() {
  wchar_t buffer[MAX_PATH + 1] = {};
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return {};
  return TextUpToNul(buffer, length);
}

Text Win32Os::ModuleFileName() {
  // A path longer than the buffer is cut short (and not terminated on XP): grow until it fits.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) return TextUpToNul(buffer.data(), length);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

Text Win32Os::GetCommandLine() {
  const wchar_t* line = ::GetCommandLineW();
  return line != nullptr ? Text(reinterpret_cast<const char16_t*>(line)) : Text();
}

void Win32Os::WriteStandardError(std::string_view utf8) {
  // A program of the GUI subsystem has a standard error only when its starter handed one over
  // (a redirection, a console it was started from).
  const HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
  if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(error, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

bool Win32Os::CreateProcess(const Text& application, const Text& command_line,
                            const Text& directory) {
  // CreateProcessW may write into the command line: it gets a copy of its own.
  std::vector<wchar_t> line(command_line.begin(), command_line.end());
  line.push_back(L'\0');
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(W(application), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        W(directory), &startup, &process)) {
    return false;
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

void Win32Os::Sleep(std::uint32_t milliseconds) { ::Sleep(milliseconds); }

std::uint32_t Win32Os::WindowsMajorVersion() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!::GetVersionExW(&info)) return 0;
  return info.dwMajorVersion;
}

Text Win32Os::LocaleDecimalSeparator() {
  wchar_t buffer[16] = {};
  const int length = ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, 16);
  if (length <= 0) return {};
  return TextUpToNul(buffer, static_cast<std::size_t>(length));
}

Text Win32Os::SystemErrorMessage(std::uint32_t code) {
  wchar_t* raw = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&raw), 0, nullptr);
  const std::unique_ptr<wchar_t, LocalDeleter> message(raw);
  if (length == 0 || raw == nullptr) return {};
  return Text(reinterpret_cast<const char16_t*>(raw), length);
}

// --- COM and shell -------------------------------------------------------------------------------

HResult Win32Os::CreateShellLink(std::uint32_t context, const Guid& iid,
                                 std::unique_ptr<ShellLink>* link) {
  link->reset();
  void* pointer = nullptr;
  const HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, context, ToGuid(iid), &pointer);
  if (SUCCEEDED(hr) && pointer != nullptr) {
    *link = std::make_unique<Win32ShellLink>(static_cast<IUnknown*>(pointer));
  }
  return hr;
}

bool Win32Os::BrowseForFolder(Handle owner, const Text& title, int root_csidl, std::uint32_t flags,
                              Text* path) {
  LPITEMIDLIST root_raw = nullptr;
  // Without the root item the dialog starts at the desktop, as Windows does for a null root.
  if (FAILED(::SHGetSpecialFolderLocation(FromHandle<HWND>(owner), root_csidl, &root_raw))) {
    root_raw = nullptr;
  }
  const PidlPtr root(root_raw);

  wchar_t display_name[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = FromHandle<HWND>(owner);
  info.pidlRoot = root.get();
  info.pszDisplayName = display_name;
  info.lpszTitle = W(title);
  info.ulFlags = flags;
  const PidlPtr chosen(::SHBrowseForFolderW(&info));
  if (!chosen) return false;

  wchar_t buffer[MAX_PATH] = {};
  if (!::SHGetPathFromIDListW(chosen.get(), buffer)) return false;
  *path = TextUpToNul(buffer, MAX_PATH);
  return true;
}

bool Win32Os::ShellExecuteEx(ShellExecuteInfo* info) {
  SHELLEXECUTEINFOW sei{};
  sei.cbSize = info->cbSize;
  sei.fMask = info->fMask;
  sei.hwnd = FromHandle<HWND>(info->hwnd);
  sei.lpVerb = WOrNull(info->lpVerb);
  sei.lpFile = W(info->lpFile);
  sei.lpParameters = WOrNull(info->lpParameters);
  sei.lpDirectory = WOrNull(info->lpDirectory);
  sei.nShow = info->nShow;
  sei.hInstApp = FromHandle<HINSTANCE>(info->hInstApp);
  const BOOL ok = ::ShellExecuteExW(&sei);
  info->hInstApp = ToHandle(sei.hInstApp);
  info->hProcess = ToHandle(sei.hProcess);
  return ok != FALSE;
}

// --- Resources -----------------------------------------------------------------------------------

std::optional<Text> Win32Os::LoadResString(std::uint32_t id, std::uint16_t language) {
  // Strings live in blocks of 16: block id/16 + 1 holds, for each of its ids, a length (in
  // characters) followed by that many characters, without terminators.
  if (id > 0xFFFF) return std::nullopt;
  HRSRC info = ::FindResourceExW(nullptr, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), language);
  if (info == nullptr) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(nullptr, info);
  const auto* block = static_cast<const WORD*>(::LockResource(loaded));
  if (block == nullptr) return std::nullopt;
  const std::size_t units = ::SizeofResource(nullptr, info) / sizeof(WORD);
  std::size_t at = 0;
  for (std::uint32_t index = 0; index < id % 16; ++index) {
    if (at >= units) return std::nullopt;
    at += 1 + std::size_t{block[at]};
  }
  if (at >= units) return std::nullopt;
  const std::size_t length = block[at];
  if (length > units - at - 1) return std::nullopt;  // a block cut short
  return Text(reinterpret_cast<const char16_t*>(block + at + 1), length);
}

std::optional<std::span<const std::uint8_t>> Win32Os::FindResourceBytes(const Text& name,
                                                                        const Text& type) {
  HRSRC info = ::FindResourceW(nullptr, W(name), W(type));
  if (info == nullptr) return std::nullopt;
  HGLOBAL loaded = ::LoadResource(nullptr, info);
  const void* bytes = ::LockResource(loaded);
  if (bytes == nullptr) return std::nullopt;
  return std::span<const std::uint8_t>(static_cast<const std::uint8_t*>(bytes),
                                       ::SizeofResource(nullptr, info));
}

}  // namespace platform
