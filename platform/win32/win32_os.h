// Win32Os: the OS boundary on real Windows. Every method forwards to the Windows call of the same
// name (or the few calls its comment in os.h lists) and returns what Windows returns; nothing of
// the setup's own behaviour lives here.
#pragma once

#include "platform/os.h"

namespace platform {

class Win32Os : public Os {
 public:
  Win32Os() = default;
  Win32Os(const Win32Os&) = delete;
  Win32Os& operator=(const Win32Os&) = delete;

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
  Handle GetActiveWindow() override;
  int MessageBox(Handle owner, const Text& text, const Text& caption, std::uint32_t flags) override;

  std::uint32_t GetACP() override;
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
  Text GetTempPath() override;
  Text ModuleFileName() override;
  Text GetCommandLine() override;
  void WriteStandardError(std::string_view utf8) override;
  bool CreateProcess(const Text& application, const Text& command_line,
                     const Text& directory) override;
  void Sleep(std::uint32_t milliseconds) override;
  std::uint32_t WindowsMajorVersion() override;
  Text LocaleDecimalSeparator() override;
  Text SystemErrorMessage(std::uint32_t code) override;

  HResult CreateShellLink(std::uint32_t context, const Guid& iid,
                          std::unique_ptr<ShellLink>* link) override;
  bool BrowseForFolder(Handle owner, const Text& title, int root_csidl, std::uint32_t flags,
                       Text* path) override;
  bool ShellExecuteEx(ShellExecuteInfo* info) override;

  std::optional<Text> LoadResString(std::uint32_t id, std::uint16_t language) override;
  std::optional<std::span<const std::uint8_t>> FindResourceBytes(const Text& name,
                                                                 const Text& type) override;
};

}  // namespace platform
