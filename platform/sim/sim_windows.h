// SimWindows: a Windows kept in memory and over host folders, for the native tests and the Linux
// build of the tools. It keeps the contracts of the calls in os.h (results, last-error codes,
// buffer rules) closely enough that the portable code above the boundary behaves as on Windows.
//
// File system
// - Drive letters are mapped to host folders with MapDrive, or to drives kept in memory with
//   MapMemoryDrive; each drive has a type and a free-space figure. A drive mapped without a host
//   folder is a drive without a medium (not ready).
// - "\" and "/" both separate components; empty components and "." are dropped; ".." goes up one
//   level and stops at the drive's root, as on Windows. "X:" alone and "X:name" (drive-relative on
//   Windows) are taken relative to the drive's root. Paths without a drive are taken relative to
//   the current directory (SetCurrentDirectory); there is none at first, so they fail with 3.
//   UNC paths (\\server\share) are not simulated and fail with 53.
// - Length limits of the Win32 file API without the "\\?\" prefix: a full path (drive, current
//   directory and "."/".." applied) of MAX_PATH (260) characters or more fails with 3, and
//   CreateDirectory refuses one of 248 (MAX_PATH - 12) or more with 206. A name longer than 255
//   characters fails with 123, as NTFS refuses it.
// - Names are matched case-insensitively for ASCII letters: an existing host entry that differs
//   only in ASCII case is used; a new entry keeps the case it was given. Other letters compare
//   exactly. Trailing dots and spaces of a name are kept (Windows strips them).
// - A name holding a control character or one of < > : " | ? * fails with 123, as on Windows.
// - Text after a NUL character is ignored, as the NUL-terminated Windows API would.
// - Last-error codes follow Windows: 2 (no such file), 3 (no such folder or drive), 5 (a folder
//   where a file is expected, or a write to a read-only handle), 21 (drive without a medium),
//   32 (deleting a file that is still open), 145 (removing a folder that is not empty),
//   183 (creating what exists), 267 (removing a file as a folder).
//   The code is kept per SimWindows object, not per thread.
// - Files are created with the attribute FILE_ATTRIBUTE_ARCHIVE; a host symbolic link reads as a
//   reparse point (with the directory bit when it points at a folder).
//
// ANSI code page
// - 1252 (default) is a table built once from the host's iconv, with the five bytes that CP1252
//   leaves undefined (0x81 0x8D 0x8F 0x90 0x9D) mapped to U+0081 etc. both ways, as Windows does.
// - Other code pages (936 for Chinese) convert through iconv ("CP936", else "GBK").
// - Wide to ANSI: a character the code page lacks becomes "?"; Windows' best-fit mapping (for
//   example U+0100 to "A") is not simulated. An unpaired surrogate becomes "?".
// - ANSI to wide: ASCII bytes map to themselves; a byte sequence the code page does not define
//   becomes U+003F "?" (Windows uses a code-page-specific default there).
// - Any other code page (IsValidCodePage, WideToCodePage, CodePageToWide) converts through iconv
//   alone, 1252 included: the five bytes CP1252 leaves undefined are unknown there, and a code
//   page iconv does not know is not valid.
//
// The rest (registry, windows, message boxes, shell links, resources, ...) is described with its
// setters below. Nothing here throws on bad input; every failure is a status and a last error.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/os.h"

namespace platform {

namespace sim_detail {
struct Shared;
struct RegKey;
class MemoryVolume;
}  // namespace sim_detail

class SimWindows : public Os {
 public:
  explicit SimWindows(std::uint32_t code_page = 1252);
  ~SimWindows() override;
  SimWindows(const SimWindows&) = delete;
  SimWindows& operator=(const SimWindows&) = delete;

  // --- Set-up by tests and tools ----------------------------------------------------------------
  // Maps a drive letter (either case) to a host folder. An empty host folder makes a drive without
  // a medium: it is listed and has a type, but every access fails with 21. free_bytes < 0 takes
  // the free space of the host's file system.
  void MapDrive(char16_t letter, std::filesystem::path host_folder,
                std::uint32_t type = kDriveFixed, std::int64_t free_bytes = -1,
                std::int64_t total_bytes = -1);
  // Maps a drive letter to a drive kept in memory, empty at first, holding at most capacity bytes
  // of file data (a write beyond it fails with 112). It keeps the same contracts as a drive over a
  // host folder, except that there are no symbolic links and HostPath has no answer for it.
  // Mapping the letter again gives an empty drive; files still open keep their contents.
  void MapMemoryDrive(char16_t letter, std::int64_t capacity = std::int64_t{1} << 30,
                      std::uint32_t type = kDriveFixed);
  // The folders and files of a memory drive as they are now, kept apart from the drive: mapping
  // the image (MapMemoryDrive below) gives each test case the same prepared drive, a copy of it,
  // without building it through the file calls again. Empty when the letter names no memory drive.
  class MemoryDriveImage {
   public:
    explicit operator bool() const { return volume_ != nullptr; }

   private:
    friend class SimWindows;
    std::shared_ptr<const sim_detail::MemoryVolume> volume_;
  };
  MemoryDriveImage SaveMemoryDrive(char16_t letter) const;
  // Maps a drive letter to a memory drive holding a copy of the image's folders and files, with
  // room for capacity bytes of file data in all (the copied files count). False, and nothing
  // mapped, when the image is empty or its files alone exceed capacity.
  bool MapMemoryDrive(char16_t letter, const MemoryDriveImage& image, std::int64_t capacity,
                      std::uint32_t type = kDriveFixed);
  void UnmapDrive(char16_t letter);
  void SetCurrentDirectory(Text dir);  // a Windows path, for relative paths
  void SetCodePage(std::uint32_t code_page);
  // The host path that a Windows path names, or nullopt when it cannot be resolved or lies on a
  // memory drive.
  std::optional<std::filesystem::path> HostPath(const Text& path);

  // Registry. A process without administrator rights may read HKEY_LOCAL_MACHINE but not open it
  // for writing: any access asking for a right beyond KEY_READ fails there with 5.
  void SetAdministrator(bool administrator) { administrator_ = administrator; }
  // Stores a value as given (raw bytes, any size), creating the key path.
  void SetRegistryValue(Handle root, const Text& key_path, const Text& name, std::uint32_t type,
                        Bytes data);
  struct RegValue {
    std::uint32_t type = 0;
    Bytes data;
  };
  std::optional<RegValue> GetRegistryValue(Handle root, const Text& key_path, const Text& name);
  bool RegistryKeyExists(Handle root, const Text& key_path);
  int OpenKeyCount() const { return static_cast<int>(open_keys_.size()); }

  // Top-level windows. Class names compare without regard to ASCII case, titles exactly.
  Handle AddWindow(Text class_name, Text title);
  void SetActiveWindow(Handle window) { active_window_ = window; }

  // Message boxes: every call is recorded; the answer is taken from the queue, IDOK when empty.
  struct MessageBoxCall {
    Handle owner;
    Text text;
    Text caption;
    std::uint32_t flags;
  };
  const std::vector<MessageBoxCall>& MessageBoxes() const { return message_boxes_; }
  void QueueMessageBoxAnswer(int answer) { message_box_answers_.push_back(answer); }

  // Shell links. A saved shortcut is a small text file of this simulation's own (a first line
  // "StpSimShellLink 1", then the target path and the working directory, UTF-8); Load refuses any
  // other file. Resolve succeeds for a loaded or filled link (it does not search for a moved
  // target). Calls are recorded.
  // nullopt ends a failure set before.
  void FailCreateShellLink(std::optional<HResult> hr) { create_link_failure_ = hr; }
  void FailShellLinkInterface(const Guid& iid) { failing_interfaces_.push_back(iid); }
  void FailShellLinkResolve(std::optional<HResult> hr) { resolve_failure_ = hr; }
  struct ShellLinkLog {
    struct Create {
      std::uint32_t context;
      Guid iid;
    };
    struct Resolve {
      Handle window;
      std::uint32_t flags;
    };
    struct GetPath {
      std::uint32_t buffer_chars;
      std::uint32_t flags;
    };
    struct Save {
      Text file;
      bool remember;
    };
    struct Load {
      Text file;
      std::uint32_t mode;
    };
    std::vector<Create> creates;
    std::vector<Resolve> resolves;
    std::vector<GetPath> get_paths;
    std::vector<Save> saves;
    std::vector<Load> loads;
    int live_objects = 0;  // link objects not yet released
  };
  const ShellLinkLog& ShellLinks() const;
  // Reads a shortcut file written by this simulation: {target, working directory}.
  std::optional<std::pair<Text, Text>> ReadShortcutFile(const Text& path);
  // Writes a shortcut file as Save would (fixtures for tests).
  bool WriteShortcutFile(const Text& path, const Text& target, const Text& working_dir);

  // System folder, environment, version, locale, error texts.
  void SetSystemDirectory(std::optional<Text> dir) { system_dir_ = std::move(dir); }
  void SetEnvironmentVariable(const Text& name, std::optional<Text> value);
  const std::vector<std::uint32_t>& Sleeps() const { return sleeps_; }
  void SetWindowsMajorVersion(std::uint32_t major) { major_version_ = major; }
  void SetDecimalSeparator(Text separator) { decimal_separator_ = std::move(separator); }
  void SetSystemErrorMessage(std::uint32_t code, Text message);

  // Folder picker: each call is recorded and takes the next scripted answer; nullopt (or an empty
  // queue) is Cancel.
  struct BrowseCall {
    Handle owner;
    Text title;
    int root_csidl;
    std::uint32_t flags;
  };
  void QueueBrowseResult(std::optional<Text> path) { browse_results_.push_back(std::move(path)); }
  const std::vector<BrowseCall>& BrowseCalls() const { return browse_calls_; }

  // ShellExecuteEx: recorded; succeeds with the given process handle unless told to fail.
  void SetShellExecuteResult(bool ok, Handle process = 0x4711) {
    shell_execute_ok_ = ok;
    shell_execute_process_ = process;
  }
  const std::vector<ShellExecuteInfo>& ShellExecutes() const { return shell_executes_; }

  // The running program and the processes it starts. ModuleFileName returns the path set here
  // (empty at first). CreateProcess only records its arguments and succeeds unless told to fail.
  void SetModuleFileName(Text path) { module_file_name_ = std::move(path); }
  // The command line GetCommandLine returns (empty at first: no program name, no arguments).
  void SetCommandLine(Text command_line) { command_line_ = std::move(command_line); }
  // What was written to standard error, in order.
  const std::string& StandardError() const { return standard_error_; }
  struct ProcessStart {
    Text application;
    Text command_line;
    Text directory;
  };
  void SetCreateProcessResult(bool ok) { create_process_ok_ = ok; }
  const std::vector<ProcessStart>& ProcessStarts() const { return process_starts_; }
  // The temporary folder GetTempPath returns (default C:\WINDOWS\Temp\); empty makes it fail.
  void SetTempPath(Text path) { temp_path_ = std::move(path); }
  // Files that MoveFileEx scheduled for deletion at the next start of Windows, in call order.
  // Only that form of MoveFileEx is simulated; any other fails with 87.
  const std::vector<Text>& DeletionsAtReboot() const { return deletions_at_reboot_; }

  // Resources. Names and types compare without regard to ASCII case, as Windows stores them in
  // upper case. A string asked for in a language it lacks falls back to the neutral language 0.
  void SetResString(std::uint32_t id, std::uint16_t language, Text text);
  void SetResource(const Text& name, const Text& type, Bytes bytes);

  // --- Os ---------------------------------------------------------------------------------------
  LStatus RegCreateKeyEx(Handle root, const Text& sub_key, std::uint32_t options,
                         std::uint32_t access, Handle* key) override;
  LStatus RegOpenKeyEx(Handle root, const Text& sub_key, std::uint32_t access,
                       Handle* key) override;
  LStatus RegQueryValueEx(Handle key, const Text& name, std::uint32_t* type, std::uint8_t* data,
                          std::uint32_t* size) override;
  LStatus RegSetValueEx(Handle key, const Text& name, std::uint32_t type, const std::uint8_t* data,
                        std::uint32_t size) override;
  LStatus RegCloseKey(Handle key) override;
  LStatus RegDeleteKey(Handle root, const Text& sub_key) override;

  Handle FindWindow(const Text* class_name, const Text* title) override;
  Handle GetActiveWindow() override { return active_window_; }
  int MessageBox(Handle owner, const Text& text, const Text& caption, std::uint32_t flags) override;

  std::uint32_t GetACP() override { return code_page_; }
  std::string WideToAnsi(TextView text) override;
  Text AnsiToWide(std::string_view bytes) override;
  bool IsValidCodePage(std::uint32_t code_page) override;
  std::string WideToCodePage(std::uint32_t code_page, TextView text, bool* used_default) override;
  std::optional<Text> CodePageToWide(std::uint32_t code_page, std::string_view bytes) override;

  bool FileExists(const Text& path) override;
  bool DirectoryExists(const Text& path) override;
  bool CreateDirectory(const Text& path) override;
  bool RemoveDirectory(const Text& path) override;
  bool DeleteFile(const Text& path) override;
  std::uint32_t GetFileAttributes(const Text& path) override;
  std::unique_ptr<File> OpenFileForRead(const Text& path) override;
  std::unique_ptr<File> CreateFileForWrite(const Text& path) override;
  std::uint32_t GetLastError() override;
  void SetLastError(std::uint32_t code) override;
  bool CopyFile(const Text& from, const Text& to, bool fail_if_exists) override;
  bool MoveFileEx(const Text& from, const Text* to, std::uint32_t flags) override;
  bool ListDirectory(const Text& folder, std::vector<Text>* names) override;

  std::uint32_t GetLogicalDrives() override;
  std::uint32_t GetDriveType(const Text& root) override;
  bool GetDiskFreeSpaceEx(const Text& root, std::int64_t* free_to_caller,
                          std::int64_t* total) override;
  std::uint32_t GetSystemDirectory(Text* dir, std::uint32_t buffer_chars) override;

  std::optional<Text> GetEnvironmentVariable(const Text& name) override;
  Text GetTempPath() override { return temp_path_; }
  Text ModuleFileName() override { return module_file_name_; }
  Text GetCommandLine() override { return command_line_; }
  void WriteStandardError(std::string_view utf8) override { standard_error_ += utf8; }
  bool CreateProcess(const Text& application, const Text& command_line,
                     const Text& directory) override;
  void Sleep(std::uint32_t milliseconds) override { sleeps_.push_back(milliseconds); }
  std::uint32_t WindowsMajorVersion() override { return major_version_; }
  Text LocaleDecimalSeparator() override { return decimal_separator_; }
  Text SystemErrorMessage(std::uint32_t code) override;

  HResult CreateShellLink(std::uint32_t context, const Guid& iid,
                          std::unique_ptr<ShellLink>* link) override;
  bool BrowseForFolder(Handle owner, const Text& title, int root_csidl, std::uint32_t flags,
                       Text* path) override;
  bool ShellExecuteEx(ShellExecuteInfo* info) override;

  std::optional<Text> LoadResString(std::uint32_t id, std::uint16_t language) override;
  std::optional<std::span<const std::uint8_t>> FindResourceBytes(const Text& name,
                                                                 const Text& type) override;

 private:
  static constexpr size_t kMaxName = 255;

  struct Drive {
    std::filesystem::path host;  // empty: no medium
    std::uint32_t type;
    std::int64_t free_bytes;
    std::int64_t total_bytes;
    std::shared_ptr<sim_detail::MemoryVolume> memory;  // set for a drive kept in memory
  };
  struct Resolved {
    std::filesystem::path host;
    char16_t drive = 0;
    bool is_root = false;
    sim_detail::MemoryVolume* memory = nullptr;  // on a memory drive: the drive and
    std::vector<Text> parts;                     // the path's components
  };
  struct Window {
    Handle handle;
    Text class_name;
    Text title;
  };
  class SimFile;
  class SimShellLink;
  class CodePage;

  // Resolves a Windows path whose full form is shorter than limit characters; on failure sets the
  // last error and returns nullopt.
  std::optional<Resolved> Resolve(const Text& path, size_t limit = kPathLimit);
  // After a failed lookup of an entry: 2 when its folder exists, else 3.
  std::uint32_t MissingCode(const std::filesystem::path& host);
  bool Fail(std::uint32_t code);
  // True for kErrorSuccess, else Fail(code).
  bool Succeed(std::uint32_t code);
  // The key node for a root or open handle, or null.
  sim_detail::RegKey* KeyOf(Handle key, std::uint32_t* access);
  LStatus OpenOrCreate(Handle root, const Text& sub_key, std::uint32_t access, bool create,
                       Handle* key);

  std::shared_ptr<sim_detail::Shared> shared_;
  std::map<char16_t, Drive> drives_;
  Text current_dir_;
  std::uint32_t code_page_;
  std::unique_ptr<CodePage> ansi_;

  bool administrator_ = true;
  std::unique_ptr<sim_detail::RegKey> hkcu_;
  std::unique_ptr<sim_detail::RegKey> hklm_;
  struct OpenKey {
    sim_detail::RegKey* node;
    std::uint32_t access;
  };
  std::map<Handle, OpenKey> open_keys_;
  Handle next_key_ = 0x1000;

  std::vector<Window> windows_;
  Handle next_window_ = 0x10010;
  Handle active_window_ = 0;
  std::vector<MessageBoxCall> message_boxes_;
  std::deque<int> message_box_answers_;

  std::optional<HResult> create_link_failure_;
  std::vector<Guid> failing_interfaces_;
  std::optional<HResult> resolve_failure_;
  ShellLinkLog link_log_;
  HResult InterfaceResult(const Guid& iid) const;

  std::optional<Text> system_dir_ = AsciiText("C:\\WINDOWS\\system32");
  std::map<Text, std::pair<Text, Text>> environment_;  // upper-case name -> (name, value)
  std::vector<std::uint32_t> sleeps_;
  std::uint32_t major_version_ = 6;
  Text decimal_separator_ = AsciiText(".");
  std::map<std::uint32_t, Text> error_messages_;

  std::deque<std::optional<Text>> browse_results_;
  std::vector<BrowseCall> browse_calls_;
  bool shell_execute_ok_ = true;
  Handle shell_execute_process_ = 0x4711;
  std::vector<ShellExecuteInfo> shell_executes_;

  Text module_file_name_;
  Text command_line_;
  std::string standard_error_;
  Text temp_path_ = AsciiText("C:\\WINDOWS\\Temp\\");
  bool create_process_ok_ = true;
  std::vector<ProcessStart> process_starts_;
  std::vector<Text> deletions_at_reboot_;
  // Deleted keys that a handle may still name; kept so that the handle stays harmless.
  std::vector<std::unique_ptr<sim_detail::RegKey>> deleted_keys_;

  std::map<std::pair<std::uint32_t, std::uint16_t>, Text> res_strings_;
  std::map<std::pair<Text, Text>, Bytes> resources_;

  static Text AsciiText(const char* s) { return Text(s, s + std::char_traits<char>::length(s)); }
};

}  // namespace platform
