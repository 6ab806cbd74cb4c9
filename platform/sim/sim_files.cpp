// Files and folders of the simulated Windows: drives, path resolution, the file objects.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_memory_drive.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"

namespace platform {

namespace fs = std::filesystem;

using sim_detail::AsciiUpper;
using sim_detail::Shared;
using sim_detail::UpToNul;

namespace {

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
    case ENAMETOOLONG: return kErrorFilenameExcedRange;
    default: return kErrorAccessDenied;
  }
}

// A file descriptor that closes itself.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  bool ok() const { return fd_ >= 0; }
  int get() const { return fd_; }

 private:
  int fd_;
};

// The entry of the folder open as dir whose name differs from name only in ASCII case; the
// smallest such name wins so the choice does not depend on the order of the host folder.
std::optional<std::string> CaseVariant(int dir, TextView name) {
  int fd = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) {
    ::close(fd);
    return std::nullopt;
  }
  std::optional<std::string> match;
  while (const dirent* entry = ::readdir(listing)) {
    std::string candidate = entry->d_name;
    if (EqualsIgnoringAsciiCase(Utf8ToText(candidate), name) && (!match || candidate < *match)) {
      match = std::move(candidate);
    }
  }
  ::closedir(listing);
  return match;
}

}  // namespace

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

// --- Drive set-up ------------------------------------------------------------------------------

void SimWindows::MapDrive(char16_t letter, fs::path host_folder, std::uint32_t type,
                          std::int64_t free_bytes, std::int64_t total_bytes) {
  drives_[AsciiUpper(letter)] = Drive{std::move(host_folder), type, free_bytes, total_bytes, {}};
}

void SimWindows::MapMemoryDrive(char16_t letter, std::int64_t capacity, std::uint32_t type) {
  drives_[AsciiUpper(letter)] =
      Drive{{}, type, -1, -1, std::make_shared<sim_detail::MemoryVolume>(capacity)};
}

SimWindows::MemoryDriveImage SimWindows::SaveMemoryDrive(char16_t letter) const {
  MemoryDriveImage image;
  auto drive = drives_.find(AsciiUpper(letter));
  if (drive != drives_.end() && drive->second.memory) {
    image.volume_ = drive->second.memory->Copy(drive->second.memory->Capacity());
  }
  return image;
}

bool SimWindows::MapMemoryDrive(char16_t letter, const MemoryDriveImage& image,
                                std::int64_t capacity, std::uint32_t type) {
  if (!image) return false;
  std::shared_ptr<sim_detail::MemoryVolume> volume = image.volume_->Copy(capacity);
  if (!volume) return false;
  drives_[AsciiUpper(letter)] = Drive{{}, type, -1, -1, std::move(volume)};
  return true;
}

void SimWindows::UnmapDrive(char16_t letter) { drives_.erase(AsciiUpper(letter)); }

void SimWindows::SetCurrentDirectory(Text dir) { current_dir_ = std::move(dir); }

std::optional<fs::path> SimWindows::HostPath(const Text& path) {
  auto r = Resolve(path);
  if (!r || r->memory != nullptr) return std::nullopt;
  return r->host;
}

// --- Path resolution ---------------------------------------------------------------------------

std::optional<SimWindows::Resolved> SimWindows::Resolve(const Text& path_in, size_t limit) {
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
  if (drive->second.host.empty() && !drive->second.memory) {
    Fail(kErrorNotReady);
    return std::nullopt;
  }

  std::vector<Text> parts;
  parts.reserve(static_cast<size_t>(std::count(path.begin(), path.end(), u'\\')));
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
    if (part.size() > kMaxName || !ValidName(part)) {
      Fail(kErrorInvalidName);
      return std::nullopt;
    }
    parts.emplace_back(part);
  }
  // The full path as GetFullPathName would give it: "X:\" and the parts joined by "\".
  size_t full_length = 3;
  for (const Text& part : parts) full_length += part.size() + 1;
  if (!parts.empty()) --full_length;
  if (full_length >= kPathLimit || full_length >= limit) {
    Fail(full_length >= kPathLimit ? kErrorPathNotFound : kErrorFilenameExcedRange);
    return std::nullopt;
  }

  if (drive->second.memory) {
    return Resolved{{}, letter, parts.empty(), drive->second.memory.get(), std::move(parts)};
  }
  // Walked one folder descriptor at a time, so each component costs one lookup whatever its
  // depth. Past the first component that does not exist nothing more is looked up.
  fs::path host = drive->second.host;
  UniqueFd dir(::open(host.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string name = TextToUtf8(parts[i]);
    if (dir.ok()) {
      struct stat st {};
      if (::fstatat(dir.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        std::optional<std::string> match = CaseVariant(dir.get(), parts[i]);
        if (match) name = *match;
      }
      dir = UniqueFd(i + 1 < parts.size()
                         ? ::openat(dir.get(), name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)
                         : -1);
    }
    host /= name;
  }
  return Resolved{host, letter, parts.empty(), nullptr, {}};
}

std::uint32_t SimWindows::MissingCode(const fs::path& host) {
  std::error_code ec;
  return fs::is_directory(host.parent_path(), ec) ? kErrorFileNotFound : kErrorPathNotFound;
}

// --- Files and folders -------------------------------------------------------------------------

std::uint32_t SimWindows::GetFileAttributes(const Text& path) {
  auto r = Resolve(path);
  if (!r) return kInvalidFileAttributes;
  if (r->memory != nullptr) {
    std::uint32_t attributes = 0;
    std::uint32_t code = r->memory->Attributes(r->parts, &attributes);
    if (code != kErrorSuccess) {
      Fail(code);
      return kInvalidFileAttributes;
    }
    return attributes;
  }
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
  auto r = Resolve(path, kFolderPathLimit);
  if (!r) return false;
  if (r->memory != nullptr) return Succeed(r->memory->CreateFolder(r->parts));
  std::error_code ec;
  if (r->is_root || fs::exists(fs::symlink_status(r->host, ec))) return Fail(kErrorAlreadyExists);
  if (!fs::is_directory(r->host.parent_path(), ec)) return Fail(kErrorPathNotFound);
  if (::mkdir(r->host.c_str(), 0777) != 0) return Fail(ErrnoToWin(errno));
  return true;
}

bool SimWindows::RemoveDirectory(const Text& path) {
  auto r = Resolve(path);
  if (!r) return false;
  if (r->memory != nullptr) return Succeed(r->memory->RemoveFolder(r->parts));
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
  if (r->memory != nullptr) return Succeed(r->memory->DeleteFile(r->parts));
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
  if (r->memory != nullptr) {
    std::unique_ptr<File> file;
    return Succeed(r->memory->OpenForRead(r->parts, shared_, &file)) ? std::move(file) : nullptr;
  }
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
  if (r->memory != nullptr) {
    std::unique_ptr<File> file;
    return Succeed(r->memory->CreateForWrite(r->parts, shared_, &file)) ? std::move(file) : nullptr;
  }
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
  const Drive& drive = drives_.at(r->drive);
  if (r->memory != nullptr) {
    std::uint32_t attributes = 0;
    if (r->memory->Attributes(r->parts, &attributes) != kErrorSuccess ||
        (attributes & kFileAttributeDirectory) == 0) {
      return Fail(kErrorPathNotFound);
    }
    if (free_to_caller != nullptr) *free_to_caller = r->memory->FreeBytes();
    if (total != nullptr) *total = r->memory->Capacity();
    return true;
  }
  std::error_code ec;
  if (!fs::is_directory(r->host, ec)) return Fail(kErrorPathNotFound);
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

}  // namespace platform
