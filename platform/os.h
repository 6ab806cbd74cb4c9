// The OS boundary: every Windows call the setup program and its tools make goes through Os.
//
// Everything above this boundary (package, crypt, shell, wizard, startup) is portable code written
// once. Two implementations exist: Win32Os forwards each call to Windows and holds no logic of its
// own; SimWindows (platform/sim) keeps the same contracts in memory and over host folders, for the
// native tests and the Linux build of stptool.
//
// Conventions that hold for every call:
// - Text is UTF-16 (Text); any 16-bit unit is allowed, NUL included.
// - Paths are Windows paths (drive letter, backslashes).
// - Calls report failure the way Windows does (a status, a false result, a null handle) and set the
//   thread's last-error code; they never throw. The portable layers above turn failures into
//   exceptions where the behaviour of the product asks for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

using Text = std::u16string;
using TextView = std::u16string_view;
using Bytes = std::vector<std::uint8_t>;
using Handle = std::uintptr_t;  // HKEY, HWND, HANDLE: opaque, 0 is null
using HResult = std::int32_t;
using LStatus = std::int32_t;

// --- Constants with their Windows values -------------------------------------------------------
inline constexpr Handle kHkeyCurrentUser = 0x80000001u;
inline constexpr Handle kHkeyLocalMachine = 0x80000002u;

inline constexpr std::uint32_t kKeyAllAccess = 0xF003F;
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kRegOptionNonVolatile = 0;

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

inline constexpr LStatus kErrorSuccess = 0;
inline constexpr std::uint32_t kErrorFileNotFound = 2;
inline constexpr std::uint32_t kErrorPathNotFound = 3;
inline constexpr std::uint32_t kErrorAccessDenied = 5;
inline constexpr std::uint32_t kErrorInvalidHandle = 6;
inline constexpr std::uint32_t kErrorNotReady = 21;
inline constexpr std::uint32_t kErrorHandleEof = 38;
inline constexpr std::uint32_t kErrorInvalidParameter = 87;
inline constexpr std::uint32_t kErrorFileExists = 80;
inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorSharingViolation = 32;
inline constexpr std::uint32_t kErrorBadNetPath = 53;
inline constexpr std::uint32_t kErrorDiskFull = 112;
inline constexpr std::uint32_t kErrorInvalidName = 123;
inline constexpr std::uint32_t kErrorNegativeSeek = 131;
inline constexpr std::uint32_t kErrorDirNotEmpty = 145;
inline constexpr std::uint32_t kErrorBadPathname = 161;
inline constexpr std::uint32_t kErrorFilenameExcedRange = 206;
inline constexpr std::uint32_t kErrorMoreData = 234;
inline constexpr std::uint32_t kErrorDirectory = 267;
inline constexpr std::uint32_t kErrorNoUnicodeTranslation = 1113;

// Length limits of the Win32 file API for paths without the "\\?\" prefix, which bind every
// program that declares no long-path awareness (ours declare none): a full path (FullPathLength)
// of kPathLimit characters or more fails with kErrorPathNotFound, and a folder to create of
// kFolderPathLimit or more (room is left for an 8.3 name) with kErrorFilenameExcedRange.
inline constexpr size_t kPathLimit = 260;
inline constexpr size_t kFolderPathLimit = kPathLimit - 12;

inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr std::uint32_t kFileAttributeDirectory = 0x10;
inline constexpr std::uint32_t kFileAttributeArchive = 0x20;
inline constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;

inline constexpr std::uint32_t kDriveUnknown = 0;
inline constexpr std::uint32_t kDriveNoRootDir = 1;
inline constexpr std::uint32_t kDriveRemovable = 2;
inline constexpr std::uint32_t kDriveFixed = 3;
inline constexpr std::uint32_t kDriveRemote = 4;
inline constexpr std::uint32_t kDriveCdrom = 5;

inline constexpr std::uint32_t kMbOk = 0x0;
inline constexpr std::uint32_t kMbYesNo = 0x4;
inline constexpr std::uint32_t kMbIconWarning = 0x30;
inline constexpr std::uint32_t kMbIconQuestion = 0x20;
inline constexpr std::uint32_t kMbIconInformation = 0x40;
inline constexpr std::uint32_t kMbDefButton2 = 0x100;
inline constexpr int kIdOk = 1;
inline constexpr int kIdYes = 6;
inline constexpr int kIdNo = 7;

inline constexpr std::uint32_t kMoveFileDelayUntilReboot = 0x4;

inline constexpr HResult kSOk = 0;
inline constexpr HResult kSFalse = 1;
inline constexpr HResult kENoInterface = static_cast<HResult>(0x80004002u);
inline constexpr HResult kEFail = static_cast<HResult>(0x80004005u);
inline constexpr bool Succeeded(HResult hr) { return hr >= 0; }

// A COM identifier in its binary layout.
struct Guid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
  friend bool operator==(const Guid&, const Guid&) = default;
};

// The shell link class and the interfaces the product asks of it (published by Windows).
inline constexpr Guid kClsidShellLink = {
    0x00021401, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Guid kIidIUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Guid kIidIShellLinkW = {
    0x000214F9, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr Guid kIidIPersistFile = {
    0x0000010B, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// --- Files ---------------------------------------------------------------------------------------
enum class SeekOrigin { kBegin = 0, kCurrent = 1, kEnd = 2 };

// An open file; closing happens when the object is destroyed.
class File {
 public:
  virtual ~File() = default;
  // Reads up to size bytes; *read receives the count (0 at the end). False on an I/O error.
  virtual bool Read(void* buffer, std::uint32_t size, std::uint32_t* read) = 0;
  // Writes all size bytes or fails.
  virtual bool Write(const void* buffer, std::uint32_t size) = 0;
  // Moves the position; returns the new position, or -1 on failure.
  virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
  // The file's size in bytes, or -1 on failure.
  virtual std::int64_t Size() = 0;
};

// --- Shell link object (CLSID_ShellLink with IShellLinkW and IPersistFile) ----------------------
class ShellLink {
 public:
  virtual ~ShellLink() = default;
  // IUnknown::QueryInterface: kSOk when the object has the interface, kENoInterface otherwise.
  virtual HResult QueryInterface(const Guid& iid) = 0;
  virtual HResult SetPath(const Text& path) = 0;
  virtual HResult SetWorkingDirectory(const Text& dir) = 0;
  virtual HResult Resolve(Handle window, std::uint32_t flags) = 0;
  // IShellLinkW::GetPath into a buffer of buffer_chars characters; *path receives the text up to
  // its first NUL.
  virtual HResult GetPath(Text* path, std::uint32_t buffer_chars, std::uint32_t flags) = 0;
  virtual HResult Load(const Text& file, std::uint32_t mode) = 0;
  virtual HResult Save(const Text& file, bool remember) = 0;
};

// SHELLEXECUTEINFOW with the fields the launcher fills.
struct ShellExecuteInfo {
  std::uint32_t cbSize = 0;
  std::uint32_t fMask = 0;
  Handle hwnd = 0;
  std::optional<Text> lpVerb;  // nullopt: no verb (the default verb)
  Text lpFile;
  std::optional<Text> lpParameters;
  std::optional<Text> lpDirectory;
  int nShow = 0;
  Handle hInstApp = 0;
  Handle hProcess = 0;  // out
};

// --- The boundary --------------------------------------------------------------------------------
class Os {
 public:
  virtual ~Os() = default;

  // Registry (advapi32). Keys are Handles; roots are kHkeyCurrentUser and kHkeyLocalMachine.
  virtual LStatus RegCreateKeyEx(Handle root, const Text& sub_key, std::uint32_t options,
                                 std::uint32_t access, Handle* key) = 0;
  virtual LStatus RegOpenKeyEx(Handle root, const Text& sub_key, std::uint32_t access,
                               Handle* key) = 0;
  // With data == nullptr only the type and the size in bytes are asked for. With a buffer,
  // *size holds its capacity on entry and the byte count on return (kErrorMoreData if too small).
  virtual LStatus RegQueryValueEx(Handle key, const Text& name, std::uint32_t* type,
                                  std::uint8_t* data, std::uint32_t* size) = 0;
  virtual LStatus RegSetValueEx(Handle key, const Text& name, std::uint32_t type,
                                const std::uint8_t* data, std::uint32_t size) = 0;
  virtual LStatus RegCloseKey(Handle key) = 0;
  // RegDeleteKeyW: removes a key that has no subkeys (5 when it has some, 2 when it is missing).
  virtual LStatus RegDeleteKey(Handle root, const Text& sub_key) = 0;

  // Windows and messages (user32). A null class or title matches any.
  virtual Handle FindWindow(const Text* class_name, const Text* title) = 0;
  virtual Handle GetActiveWindow() = 0;
  virtual int MessageBox(Handle owner, const Text& text, const Text& caption,
                         std::uint32_t flags) = 0;

  // ANSI code page (kernel32).
  virtual std::uint32_t GetACP() = 0;
  // WideCharToMultiByte(CP_ACP, 0, ...) with the default replacement character.
  virtual std::string WideToAnsi(TextView text) = 0;
  // MultiByteToWideChar(CP_ACP, 0, ...).
  virtual Text AnsiToWide(std::string_view bytes) = 0;
  // Any code page the system knows, whatever the ANSI one: IsValidCodePage;
  // WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, ...), where a character the code page
  // lacks becomes the default character and sets *used_default (empty on failure); and
  // MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, ...), nullopt when the bytes hold a
  // sequence the code page does not define. Not for UTF-8 (65001), which takes no such flags.
  virtual bool IsValidCodePage(std::uint32_t code_page) = 0;
  virtual std::string WideToCodePage(std::uint32_t code_page, TextView text,
                                     bool* used_default) = 0;
  virtual std::optional<Text> CodePageToWide(std::uint32_t code_page, std::string_view bytes) = 0;

  // Files and folders (kernel32).
  virtual bool FileExists(const Text& path) = 0;       // a file, not a folder
  virtual bool DirectoryExists(const Text& path) = 0;  // a folder
  virtual bool CreateDirectory(const Text& path) = 0;  // one level; parents must exist
  virtual bool RemoveDirectory(const Text& path) = 0;
  virtual bool DeleteFile(const Text& path) = 0;
  virtual std::uint32_t GetFileAttributes(const Text& path) = 0;
  virtual std::unique_ptr<File> OpenFileForRead(const Text& path) = 0;  // null on failure
  // Creates a file for writing; an existing file is truncated. Null on failure.
  virtual std::unique_ptr<File> CreateFileForWrite(const Text& path) = 0;
  virtual std::uint32_t GetLastError() = 0;
  virtual void SetLastError(std::uint32_t code) = 0;
  // CopyFileW; with fail_if_exists an existing target fails with 80.
  virtual bool CopyFile(const Text& from, const Text& to, bool fail_if_exists) = 0;
  // MoveFileExW. to == nullptr with kMoveFileDelayUntilReboot deletes the file when Windows next
  // starts (needs administrator rights).
  virtual bool MoveFileEx(const Text& from, const Text* to, std::uint32_t flags) = 0;
  // The names of a folder's entries (FindFirstFileW/FindNextFileW on folder + "\*"), without
  // "." and "..", in no fixed order. False when the folder cannot be listed.
  virtual bool ListDirectory(const Text& folder, std::vector<Text>* names) = 0;

  // Drives and system folder.
  virtual std::uint32_t GetLogicalDrives() = 0;
  virtual std::uint32_t GetDriveType(const Text& root) = 0;
  virtual bool GetDiskFreeSpaceEx(const Text& root, std::int64_t* free_to_caller,
                                  std::int64_t* total) = 0;
  // GetSystemDirectoryW into a buffer of buffer_chars; returns its result (0 on failure).
  virtual std::uint32_t GetSystemDirectory(Text* dir, std::uint32_t buffer_chars) = 0;

  // Process environment.
  virtual std::optional<Text> GetEnvironmentVariable(const Text& name) = 0;
  // GetTempPathW: the temporary folder with a trailing backslash, or empty on failure.
  virtual Text GetTempPath() = 0;
  // GetModuleFileNameW(nullptr): the full path of the running program's executable.
  virtual Text ModuleFileName() = 0;
  // GetCommandLineW: the process's whole command line as it was given, program name included.
  virtual Text GetCommandLine() = 0;
  // The text (UTF-8) on the process's standard error, when it has one; nothing otherwise.
  virtual void WriteStandardError(std::string_view utf8) = 0;
  // CreateProcessW(application, command_line) with the caller's environment, in the folder
  // directory; the new process runs on its own (its handles are closed at once). False when it
  // cannot start.
  virtual bool CreateProcess(const Text& application, const Text& command_line,
                             const Text& directory) = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
  virtual std::uint32_t WindowsMajorVersion() = 0;
  virtual Text LocaleDecimalSeparator() = 0;  // LOCALE_SDECIMAL of the user locale
  // FormatMessage(FROM_SYSTEM) text for a code; empty when the system has none.
  virtual Text SystemErrorMessage(std::uint32_t code) = 0;

  // COM and shell (ole32, shell32). CoCreateInstance(CLSID_ShellLink, nullptr, context, iid).
  virtual HResult CreateShellLink(std::uint32_t context, const Guid& iid,
                                  std::unique_ptr<ShellLink>* link) = 0;
  // SHGetSpecialFolderLocation(root_csidl) + SHBrowseForFolderW + SHGetPathFromIDListW.
  // Returns false when the user cancels or no path results.
  virtual bool BrowseForFolder(Handle owner, const Text& title, int root_csidl, std::uint32_t flags,
                               Text* path) = 0;
  virtual bool ShellExecuteEx(ShellExecuteInfo* info) = 0;

  // Resources of the running executable.
  virtual std::optional<Text> LoadResString(std::uint32_t id, std::uint16_t language) = 0;
  // The bytes of a named resource of a named type; the view lives as long as the process image.
  virtual std::optional<std::span<const std::uint8_t>> FindResourceBytes(const Text& name,
                                                                         const Text& type) = 0;
};

// The process's OS. Set once at start-up (Win32Os in setup.exe, SimWindows in tests and the Linux
// tools); every portable routine reaches Windows through it.
Os& CurrentOs();
void SetCurrentOs(Os* os);

// Makes an Os current for a scope (tests) and restores the previous one afterwards.
class ScopedOs {
 public:
  explicit ScopedOs(Os& os);
  ~ScopedOs();
  ScopedOs(const ScopedOs&) = delete;
  ScopedOs& operator=(const ScopedOs&) = delete;

 private:
  Os* previous_;
};

}  // namespace platform
