#include "platform/sim/sim_windows.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <unordered_map>

#include "platform/text.h"

namespace platform {

namespace fs = std::filesystem;

namespace {

char16_t AsciiUpper(char16_t c) { return (c >= u'a' && c <= u'z') ? c - (u'a' - u'A') : c; }

Text AsciiUpper(TextView t) {
  Text out(t);
  for (auto& c : out) c = AsciiUpper(c);
  return out;
}

bool EqualsNoCase(TextView a, TextView b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// Windows stops reading a path at its first NUL.
TextView UpToNul(const Text& t) {
  TextView v(t);
  auto nul = v.find(u'\0');
  return nul == TextView::npos ? v : v.substr(0, nul);
}

bool ValidName(TextView name) {
  for (char16_t c : name) {
    if (c < 32 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' ||
        c == u'*') {
      return false;
    }
  }
  return true;
}

std::uint32_t ErrnoToWin(int e) {
  switch (e) {
    case ENOENT: return kErrorFileNotFound;
    case ENOTDIR: return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return kErrorAccessDenied;
    case EEXIST: return kErrorAlreadyExists;
    case ENOTEMPTY: return kErrorDirNotEmpty;
    case ENOSPC: return kErrorDiskFull;
    default: return kErrorAccessDenied;
  }
}

// An iconv descriptor that closes itself.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts one complete unit; false when the converter rejects it.
  bool Convert(const char* in, size_t in_size, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* src = const_cast<char*>(in);
    char* dst = buffer;
    size_t in_left = in_size;
    size_t out_left = sizeof(buffer);
    if (iconv(cd_, &src, &in_left, &dst, &out_left) == static_cast<size_t>(-1) || in_left != 0) {
      return false;
    }
    // Flush any shift state.
    if (iconv(cd_, nullptr, nullptr, &dst, &out_left) == static_cast<size_t>(-1)) return false;
    out->assign(buffer, dst);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

// --- Shared state of the Os and its open files ------------------------------------------------

namespace sim_detail {

struct Shared {
  std::uint32_t last_error = 0;
  std::map<std::string, int> open_files;  // host path -> open File objects
};

struct RegValueNode {
  Text name;
  std::uint32_t type = 0;
  Bytes data;
};

struct RegKey {
  Text name;
  bool machine = false;  // under HKEY_LOCAL_MACHINE
  std::map<Text, std::unique_ptr<RegKey>> children;  // by upper-case name
  std::map<Text, RegValueNode> values;               // by upper-case name
};

}  // namespace sim_detail

using sim_detail::RegKey;
using sim_detail::Shared;

// --- ANSI code page ----------------------------------------------------------------------------

class SimWindows::CodePage {
 public:
  explicit CodePage(std::uint32_t code_page) {
    if (code_page == 1252) {
      BuildSingleByteTable("CP1252");
      return;
    }
    std::string name = "CP" + std::to_string(code_page);
    to_wide_ = std::make_unique<Iconv>("UTF-16LE", name.c_str());
    if (!to_wide_->ok() && code_page == 936) to_wide_ = std::make_unique<Iconv>("UTF-16LE", "GBK");
    from_wide_ = std::make_unique<Iconv>(name.c_str(), "UTF-16LE");
    if (!from_wide_->ok() && code_page == 936) {
      from_wide_ = std::make_unique<Iconv>("GBK", "UTF-16LE");
    }
    if (!to_wide_->ok() || !from_wide_->ok()) {
      // An unknown code page behaves as 1252 rather than failing every conversion.
      to_wide_.reset();
      from_wide_.reset();
      BuildSingleByteTable("CP1252");
    }
  }

  std::string ToAnsi(TextView text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      char16_t c = text[i];
      if (c < 0x80) {
        out.push_back(static_cast<char>(c));
        continue;
      }
      if (single_byte_) {
        auto it = reverse_.find(c);
        out.push_back(it == reverse_.end() ? '?' : static_cast<char>(it->second));
        continue;
      }
      // One code point at a time, so an unmappable one becomes exactly one "?".
      size_t units = 1;
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF) {
        units = 2;
      } else if (c >= 0xD800 && c <= 0xDFFF) {
        out.push_back('?');
        continue;
      }
      char in[4];
      for (size_t k = 0; k < units; ++k) {
        in[2 * k] = static_cast<char>(text[i + k] & 0xFF);
        in[2 * k + 1] = static_cast<char>(text[i + k] >> 8);
      }
      std::string bytes;
      if (from_wide_->Convert(in, 2 * units, &bytes) && !bytes.empty()) {
        out += bytes;
      } else {
        out.push_back('?');
      }
      i += units - 1;
    }
    return out;
  }

  Text ToWide(std::string_view bytes) {
    Text out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
      auto b = static_cast<std::uint8_t>(bytes[i]);
      if (b < 0x80) {
        out.push_back(b);
        continue;
      }
      if (single_byte_) {
        out.push_back(table_[b]);
        continue;
      }
      // A single high byte first (936 has the euro sign at 0x80), then a lead and trail pair.
      std::string wide;
      if (to_wide_->Convert(bytes.data() + i, 1, &wide) && wide.size() == 2) {
        out.push_back(Unit(wide, 0));
        continue;
      }
      if (i + 1 < bytes.size() && to_wide_->Convert(bytes.data() + i, 2, &wide) &&
          (wide.size() == 2 || wide.size() == 4)) {
        for (size_t k = 0; k < wide.size(); k += 2) out.push_back(Unit(wide, k));
        ++i;
        continue;
      }
      out.push_back(u'?');
    }
    return out;
  }

 private:
  static char16_t Unit(const std::string& le, size_t at) {
    return static_cast<char16_t>(static_cast<std::uint8_t>(le[at]) |
                                 (static_cast<std::uint8_t>(le[at + 1]) << 8));
  }

  void BuildSingleByteTable(const char* name) {
    single_byte_ = true;
    Iconv decode("UTF-16LE", name);
    for (int b = 0; b < 256; ++b) {
      table_[b] = static_cast<char16_t>(b);  // the bytes CP1252 leaves undefined stay C1 controls
      char in = static_cast<char>(b);
      std::string wide;
      if (b >= 0x80 && decode.ok() && decode.Convert(&in, 1, &wide) && wide.size() == 2) {
        table_[b] = Unit(wide, 0);
      }
      if (b >= 0x80) reverse_.emplace(table_[b], static_cast<std::uint8_t>(b));
    }
  }

  bool single_byte_ = false;
  std::array<char16_t, 256> table_{};
  std::unordered_map<char16_t, std::uint8_t> reverse_;
  std::unique_ptr<Iconv> to_wide_;
  std::unique_ptr<Iconv> from_wide_;
};

// --- Files -------------------------------------------------------------------------------------

class SimWindows::SimFile : public File {
 public:
  SimFile(std::shared_ptr<Shared> shared, std::string host, int fd, bool writable)
      : shared_(std::move(shared)), host_(std::move(host)), fd_(fd), writable_(writable) {
    ++shared_->open_files[host_];
  }
  ~SimFile() override {
    ::close(fd_);
    if (--shared_->open_files[host_] == 0) shared_->open_files.erase(host_);
  }
  SimFile(const SimFile&) = delete;
  SimFile& operator=(const SimFile&) = delete;

  bool Read(void* buffer, std::uint32_t size, std::uint32_t* read) override {
    *read = 0;
    auto* p = static_cast<std::uint8_t*>(buffer);
    while (*read < size) {
      ssize_t n = ::read(fd_, p + *read, size - *read);
      if (n < 0) {
        if (errno == EINTR) continue;
        shared_->last_error = ErrnoToWin(errno);
        return false;
      }
      if (n == 0) break;
      *read += static_cast<std::uint32_t>(n);
    }
    return true;
  }

  bool Write(const void* buffer, std::uint32_t size) override {
    if (!writable_) {
      shared_->last_error = kErrorAccessDenied;
      return false;
    }
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    std::uint32_t done = 0;
    while (done < size) {
      ssize_t n = ::write(fd_, p + done, size - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        shared_->last_error = ErrnoToWin(errno);
        return false;
      }
      done += static_cast<std::uint32_t>(n);
    }
    return true;
  }

  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    std::int64_t base = 0;
    if (origin == SeekOrigin::kCurrent) base = ::lseek(fd_, 0, SEEK_CUR);
    if (origin == SeekOrigin::kEnd) base = Size();
    if (base < 0) return -1;
    if ((offset < 0 && base + offset < 0)) {
      shared_->last_error = kErrorNegativeSeek;
      return -1;
    }
    off_t pos = ::lseek(fd_, static_cast<off_t>(base + offset), SEEK_SET);
    if (pos < 0) {
      shared_->last_error = kErrorInvalidParameter;
      return -1;
    }
    return pos;
  }

  std::int64_t Size() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      shared_->last_error = ErrnoToWin(errno);
      return -1;
    }
    return st.st_size;
  }

 private:
  std::shared_ptr<Shared> shared_;
  std::string host_;
  int fd_;
  bool writable_;
};

// --- Shell links -------------------------------------------------------------------------------

namespace {

constexpr char kLinkMagic[] = "StpSimShellLink 1\n";

HResult HResultFromWin32(std::uint32_t code) {
  return code == 0 ? kSOk : static_cast<HResult>(0x80070000u | (code & 0xFFFF));
}

std::string EncodeLink(const Text& target, const Text& working_dir) {
  return kLinkMagic + TextToUtf8(target) + "\n" + TextToUtf8(working_dir) + "\n";
}

std::optional<std::pair<Text, Text>> DecodeLink(const std::string& content) {
  std::string_view rest(content);
  std::string_view magic(kLinkMagic);
  if (rest.substr(0, magic.size()) != magic) return std::nullopt;
  rest.remove_prefix(magic.size());
  auto first = rest.find('\n');
  if (first == std::string_view::npos) return std::nullopt;
  auto second = rest.find('\n', first + 1);
  if (second == std::string_view::npos || second + 1 != rest.size()) return std::nullopt;
  return std::make_pair(Utf8ToText(rest.substr(0, first)),
                        Utf8ToText(rest.substr(first + 1, second - first - 1)));
}

}  // namespace

// The link object keeps a pointer to its SimWindows: it must not outlive it.
class SimWindows::SimShellLink : public ShellLink {
 public:
  explicit SimShellLink(SimWindows* os) : os_(os) { ++os_->link_log_.live_objects; }
  ~SimShellLink() override { --os_->link_log_.live_objects; }
  SimShellLink(const SimShellLink&) = delete;
  SimShellLink& operator=(const SimShellLink&) = delete;

  HResult QueryInterface(const Guid& iid) override { return os_->InterfaceResult(iid); }

  HResult SetPath(const Text& path) override {
    target_ = Text(UpToNul(path));
    return kSOk;
  }

  HResult SetWorkingDirectory(const Text& dir) override {
    working_dir_ = Text(UpToNul(dir));
    return kSOk;
  }

  HResult Resolve(Handle window, std::uint32_t flags) override {
    os_->link_log_.resolves.push_back({window, flags});
    if (os_->resolve_failure_) return *os_->resolve_failure_;
    return target_.empty() ? kEFail : kSOk;
  }

  HResult GetPath(Text* path, std::uint32_t buffer_chars, std::uint32_t flags) override {
    os_->link_log_.get_paths.push_back({buffer_chars, flags});
    if (buffer_chars == 0) return static_cast<HResult>(0x80070057u);  // E_INVALIDARG
    // The buffer receives at most buffer_chars - 1 characters and a NUL.
    *path = target_.substr(0, buffer_chars - 1);
    return target_.empty() ? kSFalse : kSOk;
  }

  HResult Load(const Text& file, std::uint32_t mode) override {
    os_->link_log_.loads.push_back({file, mode});
    auto content = os_->ReadShortcutFile(file);
    if (!content) {
      std::uint32_t err = os_->GetLastError();
      return err == kErrorFileNotFound || err == kErrorPathNotFound ? HResultFromWin32(err)
                                                                    : kEFail;
    }
    target_ = content->first;
    working_dir_ = content->second;
    return kSOk;
  }

  HResult Save(const Text& file, bool remember) override {
    os_->link_log_.saves.push_back({file, remember});
    if (!os_->WriteShortcutFile(file, target_, working_dir_)) {
      return HResultFromWin32(os_->GetLastError());
    }
    return kSOk;
  }

 private:
  SimWindows* os_;
  Text target_;
  Text working_dir_;
};

HResult SimWindows::InterfaceResult(const Guid& iid) const {
  for (const auto& failing : failing_interfaces_) {
    if (failing == iid) return kENoInterface;
  }
  return (iid == kIidIUnknown || iid == kIidIShellLinkW || iid == kIidIPersistFile)
             ? kSOk
             : kENoInterface;
}

HResult SimWindows::CreateShellLink(std::uint32_t context, const Guid& iid,
                                    std::unique_ptr<ShellLink>* link) {
  link_log_.creates.push_back({context, iid});
  link->reset();
  if (create_link_failure_) return *create_link_failure_;
  HResult hr = InterfaceResult(iid);
  if (!Succeeded(hr)) return hr;
  *link = std::make_unique<SimShellLink>(this);
  return kSOk;
}

std::optional<std::pair<Text, Text>> SimWindows::ReadShortcutFile(const Text& path) {
  auto file = OpenFileForRead(path);
  if (!file) return std::nullopt;
  std::int64_t size = file->Size();
  // A shortcut of this simulation is small; anything large is not one.
  if (size < 0 || size > (1 << 20)) {
    SetLastError(kErrorInvalidParameter);
    return std::nullopt;
  }
  std::string content(static_cast<size_t>(size), '\0');
  std::uint32_t read = 0;
  if (!file->Read(content.data(), static_cast<std::uint32_t>(size), &read) || read != size) {
    return std::nullopt;
  }
  auto link = DecodeLink(content);
  if (!link) SetLastError(kErrorInvalidParameter);
  return link;
}

bool SimWindows::WriteShortcutFile(const Text& path, const Text& target, const Text& working_dir) {
  auto file = CreateFileForWrite(path);
  if (!file) return false;
  std::string content = EncodeLink(target, working_dir);
  return file->Write(content.data(), static_cast<std::uint32_t>(content.size()));
}

const SimWindows::ShellLinkLog& SimWindows::ShellLinks() const { return link_log_; }

// --- Construction and set-up -------------------------------------------------------------------

SimWindows::SimWindows(std::uint32_t code_page)
    : shared_(std::make_shared<Shared>()),
      code_page_(code_page),
      ansi_(std::make_unique<CodePage>(code_page)),
      hkcu_(std::make_unique<RegKey>()),
      hklm_(std::make_unique<RegKey>()) {
  hklm_->machine = true;
  // The texts FormatMessage gives on an English Windows, trailing line break included.
  error_messages_ = {
      {0, AsciiText("The operation completed successfully.\r\n")},
      {2, AsciiText("The system cannot find the file specified.\r\n")},
      {3, AsciiText("The system cannot find the path specified.\r\n")},
      {5, AsciiText("Access is denied.\r\n")},
      {0x80004002u, AsciiText("No such interface supported\r\n")},
      {0x80004005u, AsciiText("Unspecified error\r\n")},
      {0x80040154u, AsciiText("Class not registered\r\n")},
  };
}

SimWindows::~SimWindows() = default;

void SimWindows::MapDrive(char16_t letter, fs::path host_folder, std::uint32_t type,
                          std::int64_t free_bytes, std::int64_t total_bytes) {
  drives_[AsciiUpper(letter)] = Drive{std::move(host_folder), type, free_bytes, total_bytes};
}

void SimWindows::UnmapDrive(char16_t letter) { drives_.erase(AsciiUpper(letter)); }

void SimWindows::SetCurrentDirectory(Text dir) { current_dir_ = std::move(dir); }

void SimWindows::SetCodePage(std::uint32_t code_page) {
  code_page_ = code_page;
  ansi_ = std::make_unique<CodePage>(code_page);
}

std::optional<fs::path> SimWindows::HostPath(const Text& path) {
  auto r = Resolve(path);
  if (!r) return std::nullopt;
  return r->host;
}

bool SimWindows::Fail(std::uint32_t code) {
  shared_->last_error = code;
  return false;
}

std::uint32_t SimWindows::GetLastError() { return shared_->last_error; }
void SimWindows::SetLastError(std::uint32_t code) { shared_->last_error = code; }

// --- Path resolution ---------------------------------------------------------------------------

std::optional<SimWindows::Resolved> SimWindows::Resolve(const Text& path_in) {
  Text path(UpToNul(path_in));
  for (auto& c : path) {
    if (c == u'/') c = u'\\';
  }
  if (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\') {
    Fail(kErrorBadNetPath);
    return std::nullopt;
  }
  bool has_drive = path.size() >= 2 && path[1] == u':' &&
                   ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
  if (!has_drive) {
    Text cur(UpToNul(current_dir_));
    for (auto& c : cur) {
      if (c == u'/') c = u'\\';
    }
    if (cur.size() < 2 || cur[1] != u':') {
      Fail(kErrorPathNotFound);
      return std::nullopt;
    }
    // "\x" is relative to the current drive's root, "x" to the current directory.
    path = (!path.empty() && path[0] == u'\\') ? cur.substr(0, 2) + path : cur + u'\\' + path;
  }
  char16_t letter = AsciiUpper(path[0]);
  auto drive = drives_.find(letter);
  if (drive == drives_.end()) {
    Fail(kErrorPathNotFound);
    return std::nullopt;
  }
  if (drive->second.host.empty()) {
    Fail(kErrorNotReady);
    return std::nullopt;
  }

  std::vector<Text> parts;
  TextView rest = TextView(path).substr(2);
  while (!rest.empty()) {
    auto sep = rest.find(u'\\');
    TextView part = rest.substr(0, sep);
    rest = sep == TextView::npos ? TextView() : rest.substr(sep + 1);
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    if (!ValidName(part)) {
      Fail(kErrorInvalidName);
      return std::nullopt;
    }
    parts.emplace_back(part);
  }

  fs::path host = drive->second.host;
  for (const auto& part : parts) {
    std::string name = TextToUtf8(part);
    std::error_code ec;
    fs::path exact = host / name;
    if (!fs::exists(fs::symlink_status(exact, ec))) {
      // Look for an entry that differs only in ASCII case; the smallest name wins so the choice
      // does not depend on the order of the host directory.
      std::optional<std::string> match;
      for (fs::directory_iterator it(host, ec), end; !ec && it != end; it.increment(ec)) {
        std::string candidate = it->path().filename().string();
        if (EqualsNoCase(Utf8ToText(candidate), part) && (!match || candidate < *match)) {
          match = candidate;
        }
      }
      if (match) name = *match;
    }
    host /= name;
  }
  return Resolved{host, letter, parts.empty()};
}

std::uint32_t SimWindows::MissingCode(const fs::path& host) {
  std::error_code ec;
  return fs::is_directory(host.parent_path(), ec) ? kErrorFileNotFound : kErrorPathNotFound;
}

// --- Files and folders -------------------------------------------------------------------------

std::uint32_t SimWindows::GetFileAttributes(const Text& path) {
  auto r = Resolve(path);
  if (!r) return kInvalidFileAttributes;
  std::error_code ec;
  auto link = fs::symlink_status(r->host, ec);
  if (!fs::exists(link)) {
    Fail(MissingCode(r->host));
    return kInvalidFileAttributes;
  }
  std::uint32_t attrs = 0;
  if (fs::is_symlink(link)) {
    attrs |= kFileAttributeReparsePoint;
    if (fs::is_directory(fs::status(r->host, ec))) attrs |= kFileAttributeDirectory;
  } else if (fs::is_directory(link)) {
    attrs |= kFileAttributeDirectory;
  }
  if ((attrs & kFileAttributeDirectory) == 0) attrs |= kFileAttributeArchive;
  return attrs;
}

bool SimWindows::FileExists(const Text& path) {
  std::uint32_t a = GetFileAttributes(path);
  return a != kInvalidFileAttributes && (a & kFileAttributeDirectory) == 0;
}

bool SimWindows::DirectoryExists(const Text& path) {
  std::uint32_t a = GetFileAttributes(path);
  return a != kInvalidFileAttributes && (a & kFileAttributeDirectory) != 0;
}

bool SimWindows::CreateDirectory(const Text& path) {
  auto r = Resolve(path);
  if (!r) return false;
  std::error_code ec;
  if (r->is_root || fs::exists(fs::symlink_status(r->host, ec))) return Fail(kErrorAlreadyExists);
  if (!fs::is_directory(r->host.parent_path(), ec)) return Fail(kErrorPathNotFound);
  if (::mkdir(r->host.c_str(), 0777) != 0) return Fail(ErrnoToWin(errno));
  return true;
}

bool SimWindows::RemoveDirectory(const Text& path) {
  auto r = Resolve(path);
  if (!r) return false;
  std::error_code ec;
  auto link = fs::symlink_status(r->host, ec);
  if (!fs::exists(link)) return Fail(MissingCode(r->host));
  if (fs::is_symlink(link)) {
    // A directory symbolic link is removed as a folder; the folder it points at stays.
    if (!fs::is_directory(fs::status(r->host, ec))) return Fail(kErrorDirectory);
    if (::unlink(r->host.c_str()) != 0) return Fail(ErrnoToWin(errno));
    return true;
  }
  if (!fs::is_directory(link)) return Fail(kErrorDirectory);
  if (r->is_root) return Fail(kErrorAccessDenied);
  if (::rmdir(r->host.c_str()) != 0) {
    return Fail(errno == ENOTEMPTY || errno == EEXIST ? kErrorDirNotEmpty : ErrnoToWin(errno));
  }
  return true;
}

bool SimWindows::DeleteFile(const Text& path) {
  auto r = Resolve(path);
  if (!r) return false;
  std::error_code ec;
  auto link = fs::symlink_status(r->host, ec);
  if (!fs::exists(link)) return Fail(MissingCode(r->host));
  // A folder, or a symbolic link to one, cannot be deleted as a file.
  if (fs::is_directory(link) ||
      (fs::is_symlink(link) && fs::is_directory(fs::status(r->host, ec)))) {
    return Fail(kErrorAccessDenied);
  }
  // Windows refuses to delete a file that is still open (opened without delete sharing).
  if (shared_->open_files.count(r->host.string()) != 0) return Fail(kErrorSharingViolation);
  if (::unlink(r->host.c_str()) != 0) return Fail(ErrnoToWin(errno));
  return true;
}

std::unique_ptr<File> SimWindows::OpenFileForRead(const Text& path) {
  auto r = Resolve(path);
  if (!r) return nullptr;
  std::error_code ec;
  auto st = fs::status(r->host, ec);
  if (!fs::exists(st)) {
    Fail(MissingCode(r->host));
    return nullptr;
  }
  if (fs::is_directory(st)) {
    Fail(kErrorAccessDenied);
    return nullptr;
  }
  int fd = ::open(r->host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Fail(ErrnoToWin(errno));
    return nullptr;
  }
  return std::make_unique<SimFile>(shared_, r->host.string(), fd, false);
}

std::unique_ptr<File> SimWindows::CreateFileForWrite(const Text& path) {
  auto r = Resolve(path);
  if (!r) return nullptr;
  std::error_code ec;
  if (r->is_root || fs::is_directory(fs::status(r->host, ec))) {
    Fail(kErrorAccessDenied);
    return nullptr;
  }
  if (!fs::is_directory(r->host.parent_path(), ec)) {
    Fail(kErrorPathNotFound);
    return nullptr;
  }
  int fd = ::open(r->host.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    Fail(ErrnoToWin(errno));
    return nullptr;
  }
  return std::make_unique<SimFile>(shared_, r->host.string(), fd, true);
}

// --- Drives ------------------------------------------------------------------------------------

std::uint32_t SimWindows::GetLogicalDrives() {
  std::uint32_t mask = 0;
  for (const auto& [letter, drive] : drives_) mask |= 1u << (letter - u'A');
  return mask;
}

std::uint32_t SimWindows::GetDriveType(const Text& root_in) {
  TextView root = UpToNul(root_in);
  // Only a drive root is a root: "X:\" (or "X:" / "X:/").
  bool form = (root.size() == 2 || (root.size() == 3 && (root[2] == u'\\' || root[2] == u'/'))) &&
              root[1] == u':';
  if (!form) return kDriveNoRootDir;
  auto drive = drives_.find(AsciiUpper(root[0]));
  return drive == drives_.end() ? kDriveNoRootDir : drive->second.type;
}

bool SimWindows::GetDiskFreeSpaceEx(const Text& root, std::int64_t* free_to_caller,
                                    std::int64_t* total) {
  auto r = Resolve(root);
  if (!r) return false;
  std::error_code ec;
  if (!fs::is_directory(r->host, ec)) return Fail(kErrorPathNotFound);
  const Drive& drive = drives_.at(r->drive);
  std::int64_t free_bytes = drive.free_bytes;
  std::int64_t total_bytes = drive.total_bytes;
  if (free_bytes < 0 || total_bytes < 0) {
    auto space = fs::space(drive.host, ec);
    if (ec) return Fail(kErrorNotReady);
    if (free_bytes < 0) free_bytes = static_cast<std::int64_t>(space.available);
    if (total_bytes < 0) total_bytes = static_cast<std::int64_t>(space.capacity);
  }
  if (free_to_caller != nullptr) *free_to_caller = free_bytes;
  if (total != nullptr) *total = total_bytes;
  return true;
}

std::uint32_t SimWindows::GetSystemDirectory(Text* dir, std::uint32_t buffer_chars) {
  if (!system_dir_) {
    Fail(kErrorAccessDenied);
    return 0;
  }
  auto length = static_cast<std::uint32_t>(system_dir_->size());
  // As Windows: with room for the text and its NUL the length is returned; otherwise the size
  // needed (NUL included) and the buffer is left alone.
  if (buffer_chars <= length) return length + 1;
  *dir = *system_dir_;
  return length;
}

// --- Code page ---------------------------------------------------------------------------------

std::string SimWindows::WideToAnsi(TextView text) { return ansi_->ToAnsi(text); }
Text SimWindows::AnsiToWide(std::string_view bytes) { return ansi_->ToWide(bytes); }

// --- Registry ----------------------------------------------------------------------------------

RegKey* SimWindows::KeyOf(Handle key, std::uint32_t* access) {
  if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) {
    if (access != nullptr) *access = kKeyAllAccess;
    return key == kHkeyCurrentUser ? hkcu_.get() : hklm_.get();
  }
  auto it = open_keys_.find(key);
  if (it == open_keys_.end()) return nullptr;
  if (access != nullptr) *access = it->second.access;
  return it->second.node;
}

LStatus SimWindows::OpenOrCreate(Handle root, const Text& sub_key_in, std::uint32_t access,
                                 bool create, Handle* key) {
  RegKey* node = KeyOf(root, nullptr);
  if (node == nullptr) return static_cast<LStatus>(kErrorInvalidHandle);
  TextView sub_key = UpToNul(sub_key_in);
  // Windows rejects a key path that begins with a backslash.
  if (!sub_key.empty() && sub_key[0] == u'\\') return static_cast<LStatus>(kErrorBadPathname);

  // Rights beyond reading are refused under HKEY_LOCAL_MACHINE without administrator rights.
  const std::uint32_t write_rights = access & ~kKeyRead & 0xFFFF;
  if (node->machine && !administrator_ && write_rights != 0) {
    return static_cast<LStatus>(kErrorAccessDenied);
  }

  std::vector<Text> parts;
  while (!sub_key.empty()) {
    auto sep = sub_key.find(u'\\');
    parts.emplace_back(sub_key.substr(0, sep));
    sub_key = sep == TextView::npos ? TextView() : sub_key.substr(sep + 1);
  }
  for (const auto& part : parts) {
    if (part.empty()) return static_cast<LStatus>(kErrorBadPathname);
    Text folded = AsciiUpper(part);
    auto it = node->children.find(folded);
    if (it == node->children.end()) {
      if (!create) return static_cast<LStatus>(kErrorFileNotFound);
      auto child = std::make_unique<RegKey>();
      child->name = part;
      child->machine = node->machine;
      it = node->children.emplace(folded, std::move(child)).first;
    }
    node = it->second.get();
  }
  Handle h = next_key_;
  next_key_ += 4;
  open_keys_[h] = OpenKey{node, access};
  *key = h;
  return kErrorSuccess;
}

LStatus SimWindows::RegCreateKeyEx(Handle root, const Text& sub_key, std::uint32_t /*options*/,
                                   std::uint32_t access, Handle* key) {
  return OpenOrCreate(root, sub_key, access, true, key);
}

LStatus SimWindows::RegOpenKeyEx(Handle root, const Text& sub_key, std::uint32_t access,
                                 Handle* key) {
  return OpenOrCreate(root, sub_key, access, false, key);
}

LStatus SimWindows::RegQueryValueEx(Handle key, const Text& name, std::uint32_t* type,
                                    std::uint8_t* data, std::uint32_t* size) {
  std::uint32_t access = 0;
  RegKey* node = KeyOf(key, &access);
  if (node == nullptr) return static_cast<LStatus>(kErrorInvalidHandle);
  if ((access & 0x1) == 0) return static_cast<LStatus>(kErrorAccessDenied);  // KEY_QUERY_VALUE
  auto it = node->values.find(AsciiUpper(UpToNul(name)));
  if (it == node->values.end()) return static_cast<LStatus>(kErrorFileNotFound);
  const auto& value = it->second;
  if (type != nullptr) *type = value.type;
  auto needed = static_cast<std::uint32_t>(value.data.size());
  if (data == nullptr) {
    if (size != nullptr) *size = needed;
    return kErrorSuccess;
  }
  if (size == nullptr) return static_cast<LStatus>(kErrorInvalidParameter);
  if (*size < needed) {
    *size = needed;
    return static_cast<LStatus>(kErrorMoreData);
  }
  // The data is returned exactly as stored: no NUL is added to a string that lacks one.
  std::copy(value.data.begin(), value.data.end(), data);
  *size = needed;
  return kErrorSuccess;
}

LStatus SimWindows::RegSetValueEx(Handle key, const Text& name, std::uint32_t type,
                                  const std::uint8_t* data, std::uint32_t size) {
  std::uint32_t access = 0;
  RegKey* node = KeyOf(key, &access);
  if (node == nullptr) return static_cast<LStatus>(kErrorInvalidHandle);
  if ((access & 0x2) == 0) return static_cast<LStatus>(kErrorAccessDenied);  // KEY_SET_VALUE
  if (data == nullptr && size != 0) return static_cast<LStatus>(kErrorInvalidParameter);
  Text n(UpToNul(name));
  auto& value = node->values[AsciiUpper(n)];
  value.name = n;
  value.type = type;
  value.data.assign(data, data + size);
  return kErrorSuccess;
}

LStatus SimWindows::RegCloseKey(Handle key) {
  if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) return kErrorSuccess;
  return open_keys_.erase(key) != 0 ? kErrorSuccess : static_cast<LStatus>(kErrorInvalidHandle);
}

void SimWindows::SetRegistryValue(Handle root, const Text& key_path, const Text& name,
                                  std::uint32_t type, Bytes data) {
  bool admin = administrator_;
  administrator_ = true;
  Handle key = 0;
  if (OpenOrCreate(root, key_path, kKeyAllAccess, true, &key) == kErrorSuccess) {
    RegSetValueEx(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
    RegCloseKey(key);
  }
  administrator_ = admin;
}

std::optional<SimWindows::RegValue> SimWindows::GetRegistryValue(Handle root,
                                                                 const Text& key_path,
                                                                 const Text& name) {
  Handle key = 0;
  if (OpenOrCreate(root, key_path, kKeyRead, false, &key) != kErrorSuccess) return std::nullopt;
  std::optional<RegValue> result;
  RegKey* node = open_keys_.at(key).node;
  auto it = node->values.find(AsciiUpper(UpToNul(name)));
  if (it != node->values.end()) result = RegValue{it->second.type, it->second.data};
  RegCloseKey(key);
  return result;
}

bool SimWindows::RegistryKeyExists(Handle root, const Text& key_path) {
  Handle key = 0;
  if (OpenOrCreate(root, key_path, kKeyRead, false, &key) != kErrorSuccess) return false;
  RegCloseKey(key);
  return true;
}

// --- Windows and message boxes -----------------------------------------------------------------

Handle SimWindows::AddWindow(Text class_name, Text title) {
  Handle h = next_window_;
  next_window_ += 2;
  windows_.push_back(Window{h, std::move(class_name), std::move(title)});
  return h;
}

Handle SimWindows::FindWindow(const Text* class_name, const Text* title) {
  for (const auto& w : windows_) {
    if (class_name != nullptr && !EqualsNoCase(UpToNul(*class_name), w.class_name)) continue;
    if (title != nullptr && UpToNul(*title) != TextView(w.title)) continue;
    return w.handle;
  }
  shared_->last_error = 0;
  return 0;
}

int SimWindows::MessageBox(Handle owner, const Text& text, const Text& caption,
                           std::uint32_t flags) {
  message_boxes_.push_back(MessageBoxCall{owner, text, caption, flags});
  if (message_box_answers_.empty()) return kIdOk;
  int answer = message_box_answers_.front();
  message_box_answers_.pop_front();
  return answer;
}

// --- Environment, errors -----------------------------------------------------------------------

void SimWindows::SetEnvironmentVariable(const Text& name, std::optional<Text> value) {
  if (!value) {
    environment_.erase(AsciiUpper(name));
  } else {
    environment_[AsciiUpper(name)] = {name, std::move(*value)};
  }
}

std::optional<Text> SimWindows::GetEnvironmentVariable(const Text& name) {
  auto it = environment_.find(AsciiUpper(UpToNul(name)));
  if (it == environment_.end()) {
    shared_->last_error = 203;  // ERROR_ENVVAR_NOT_FOUND
    return std::nullopt;
  }
  return it->second.second;
}

void SimWindows::SetSystemErrorMessage(std::uint32_t code, Text message) {
  error_messages_[code] = std::move(message);
}

Text SimWindows::SystemErrorMessage(std::uint32_t code) {
  auto it = error_messages_.find(code);
  return it == error_messages_.end() ? Text() : it->second;
}

// --- Shell -------------------------------------------------------------------------------------

bool SimWindows::BrowseForFolder(Handle owner, const Text& title, int root_csidl,
                                 std::uint32_t flags, Text* path) {
  browse_calls_.push_back(BrowseCall{owner, title, root_csidl, flags});
  if (browse_results_.empty()) return false;
  std::optional<Text> answer = std::move(browse_results_.front());
  browse_results_.pop_front();
  if (!answer || answer->empty()) return false;
  *path = *answer;
  return true;
}

bool SimWindows::ShellExecuteEx(ShellExecuteInfo* info) {
  shell_executes_.push_back(*info);
  if (!shell_execute_ok_) {
    info->hProcess = 0;
    shared_->last_error = kErrorFileNotFound;
    return false;
  }
  info->hProcess = shell_execute_process_;
  info->hInstApp = 42;  // ShellExecuteEx reports success with a value above 32
  return true;
}

// --- Resources ---------------------------------------------------------------------------------

void SimWindows::SetResString(std::uint32_t id, std::uint16_t language, Text text) {
  res_strings_[{id, language}] = std::move(text);
}

void SimWindows::SetResource(const Text& name, const Text& type, Bytes bytes) {
  resources_[{AsciiUpper(name), AsciiUpper(type)}] = std::move(bytes);
}

std::optional<Text> SimWindows::LoadResString(std::uint32_t id, std::uint16_t language) {
  auto it = res_strings_.find({id, language});
  if (it == res_strings_.end()) it = res_strings_.find({id, std::uint16_t{0}});
  if (it == res_strings_.end()) return std::nullopt;
  return it->second;
}

std::optional<std::span<const std::uint8_t>> SimWindows::FindResourceBytes(const Text& name,
                                                                            const Text& type) {
  auto it = resources_.find({AsciiUpper(UpToNul(name)), AsciiUpper(UpToNul(type))});
  if (it == resources_.end()) {
    shared_->last_error = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
    return std::nullopt;
  }
  return std::span<const std::uint8_t>(it->second);
}

}  // namespace platform
