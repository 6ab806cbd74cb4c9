// The contract of platform::Os that the portable layers rely on, run on every implementation a
// build has: the simulated Windows on both kinds of drive natively, the Win32 implementation
// under Wine. What only one implementation can show stays beside its own tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ascii.h"
#include "platform/text.h"
#include "tests/platform/os_contract_env.h"

namespace platform::contract {
namespace {

Text T(const char* ascii) { return AsciiToText(ascii); }

class OsContract : public ::testing::TestWithParam<std::string> {
 protected:
  OsContract() : env_(OpenEnv(GetParam())), os_(env_->os()), dir_(env_->folder()) {}

  Text Path(const char* name) const { return dir_ + u"\\" + T(name); }

  std::string Read(const Text& path) {
    auto file = os_.OpenFileForRead(path);
    if (!file) return "<missing>";
    std::string bytes(static_cast<size_t>(file->Size()), '\0');
    std::uint32_t got = 0;
    EXPECT_TRUE(file->Read(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &got));
    bytes.resize(got);
    return bytes;
  }

  bool WriteFile(const char* name, const std::string& bytes) {
    auto file = os_.CreateFileForWrite(Path(name));
    return file != nullptr && file->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  }

  std::unique_ptr<Env> env_;
  Os& os_;
  const Text dir_;
};

TEST_P(OsContract, WriteTruncateReadSeekAndSize) {
  const Text path = Path("data.bin");
  {
    auto file = os_.CreateFileForWrite(path);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Write("0123456789", 10));
    EXPECT_EQ(file->Size(), 10);
  }
  {
    // Creating it again truncates: only the new bytes remain.
    auto file = os_.CreateFileForWrite(path);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(os_.GetLastError(), 0u);
    ASSERT_TRUE(file->Write("hello world", 11));
    EXPECT_EQ(file->Size(), 11);
  }
  EXPECT_TRUE(os_.FileExists(path));
  EXPECT_FALSE(os_.DirectoryExists(path));

  auto file = os_.OpenFileForRead(path);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->Size(), 11);
  // Each step seeks (unless its origin is empty), then reads up to `want` bytes.
  struct Step {
    std::optional<SeekOrigin> origin;
    std::int64_t offset;
    std::int64_t position;
    std::uint32_t want;
    const char* bytes;
  };
  const Step steps[] = {
      {std::nullopt, 0, 0, 4, "hell"},
      {SeekOrigin::kEnd, -5, 6, 8, "world"},
      {std::nullopt, 0, 0, 8, ""},  // at the end a read succeeds with nothing
      {SeekOrigin::kCurrent, -2, 9, 1, "l"},
      {SeekOrigin::kBegin, 1, 1, 0, ""},
      {SeekOrigin::kCurrent, 2, 3, 1, "l"},
      {SeekOrigin::kBegin, 100, 100, 1, ""},  // past the end is allowed; it reads nothing
      {SeekOrigin::kBegin, 4, 4, 0, ""},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(::testing::Message() << "step to " << step.position << ", reading " << step.want);
    if (step.origin) {
      EXPECT_EQ(file->Seek(step.offset, *step.origin), step.position);
    }
    char buffer[16] = {};
    std::uint32_t got = 99;
    ASSERT_TRUE(file->Read(buffer, step.want, &got));
    EXPECT_EQ(std::string(buffer, got), step.bytes);
  }
  // A seek before the start fails with its own error and leaves the position alone.
  EXPECT_EQ(file->Seek(-1, SeekOrigin::kBegin), -1);
  EXPECT_EQ(os_.GetLastError(), kErrorNegativeSeek);
  EXPECT_EQ(file->Seek(0, SeekOrigin::kCurrent), 4);
  // A file open for reading may be read again, not written.
  EXPECT_FALSE(file->Write("x", 1));
  EXPECT_EQ(os_.GetLastError(), kErrorAccessDenied);
  file.reset();

  ASSERT_NE(os_.CreateFileForWrite(path), nullptr);  // replaces the content
  EXPECT_EQ(Read(path), "");
  EXPECT_EQ(os_.CreateFileForWrite(dir_), nullptr);  // a folder
  EXPECT_EQ(os_.GetLastError(), kErrorAccessDenied);
}

TEST_P(OsContract, FailedLookupsSetWindowsErrorCodes) {
  ASSERT_TRUE(WriteFile("app.exe", "MZ"));
  struct Case {
    const char* name;
    std::uint32_t error;
  } cases[] = {
      {"missing.bin", kErrorFileNotFound},
      {"no-folder\\x.bin", kErrorPathNotFound},
      {"app.exe\\x", kErrorPathNotFound},  // a file as a folder
      {"a?b", kErrorInvalidName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    os_.SetLastError(0);
    EXPECT_EQ(os_.GetFileAttributes(Path(c.name)), kInvalidFileAttributes);
    EXPECT_EQ(os_.GetLastError(), c.error);
    os_.SetLastError(0);
    EXPECT_EQ(os_.OpenFileForRead(Path(c.name)), nullptr);
    EXPECT_EQ(os_.GetLastError(), c.error);
  }
  EXPECT_EQ(os_.CreateFileForWrite(Path("no-folder\\x.bin")), nullptr);
  EXPECT_EQ(os_.GetLastError(), kErrorPathNotFound);
  EXPECT_FALSE(os_.FileExists(Path("missing.bin")));
  EXPECT_FALSE(os_.DeleteFile(Path("missing.bin")));
  EXPECT_EQ(os_.GetLastError(), kErrorFileNotFound);
}

// The strict conversions the builder uses to tell whether a code page writes a name: a character
// the code page lacks is reported (no best fit: U+0100 does not become "A"), an undefined byte
// sequence is refused.
TEST_P(OsContract, CodePagesConvertStrictlyByNumber) {
  EXPECT_TRUE(os_.IsValidCodePage(1252));
  EXPECT_TRUE(os_.IsValidCodePage(936));
  EXPECT_FALSE(os_.IsValidCodePage(12345));
  struct Case {
    std::uint32_t code_page;
    const char16_t* wide;
    const char* bytes;  // null: a character is missing
  } cases[] = {
      {1252, u"Caf\u00E9 1.txt", "Caf\xE9 1.txt"},
      {1252, u"\u5B89.txt", nullptr},
      {1252, u"\u0100", nullptr},
      {936, u"\u4E2D\u6587.txt", "\xD6\xD0\xCE\xC4.txt"},
      {936, u"\uD55C", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(TextToUtf8(c.wide));
    bool used_default = false;
    const std::string bytes = os_.WideToCodePage(c.code_page, c.wide, &used_default);
    EXPECT_EQ(used_default, c.bytes == nullptr);
    if (c.bytes == nullptr) continue;
    EXPECT_EQ(bytes, c.bytes);
    EXPECT_EQ(os_.CodePageToWide(c.code_page, c.bytes), std::optional<Text>(c.wide));
  }
  EXPECT_EQ(os_.CodePageToWide(936, "a\xD6"), std::nullopt);  // a lead byte without its trail
}

TEST_P(OsContract, FoldersAreCreatedAndRemovedOneLevelAtATime) {
  ASSERT_TRUE(WriteFile("app.exe", "MZ"));
  struct Step {
    bool create;  // else remove
    const char* name;
    bool ok;
    std::uint32_t error;
  } steps[] = {
      {true, "a\\b", false, kErrorPathNotFound},  // parent missing
      {true, "a", true, 0},
      {true, "A", false, kErrorAlreadyExists},
      {true, "app.exe", false, kErrorAlreadyExists},
      {true, "a\\b", true, 0},
      {false, "a", false, kErrorDirNotEmpty},
      {false, "app.exe", false, kErrorDirectory},
      {false, "a\\missing", false, kErrorFileNotFound},
      {false, "a\\b", true, 0},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(::testing::Message() << (step.create ? "create " : "remove ") << step.name);
    os_.SetLastError(0);
    const bool ok =
        step.create ? os_.CreateDirectory(Path(step.name)) : os_.RemoveDirectory(Path(step.name));
    EXPECT_EQ(ok, step.ok);
    if (!step.ok) {
      EXPECT_EQ(os_.GetLastError(), step.error);
    }
  }
  const Text sub = Path("a");
  EXPECT_TRUE(os_.DirectoryExists(sub));
  EXPECT_FALSE(os_.FileExists(sub));
  EXPECT_NE(os_.GetFileAttributes(sub) & kFileAttributeDirectory, 0u);

  // A file keeps its folder as well.
  ASSERT_NE(os_.CreateFileForWrite(sub + u"\\f.txt"), nullptr);
  EXPECT_FALSE(os_.RemoveDirectory(sub));
  EXPECT_EQ(os_.GetLastError(), kErrorDirNotEmpty);
  ASSERT_TRUE(os_.DeleteFile(sub + u"\\f.txt"));
  EXPECT_TRUE(os_.RemoveDirectory(sub));
  EXPECT_FALSE(os_.DirectoryExists(sub));
}

TEST_P(OsContract, AttributesOfFilesFoldersAndDriveRoots) {
  ASSERT_TRUE(WriteFile("app.exe", "MZ"));
  EXPECT_EQ(os_.GetFileAttributes(dir_), kFileAttributeDirectory);
  EXPECT_EQ(os_.GetFileAttributes(Path("app.exe")), kFileAttributeArchive);
  EXPECT_EQ(os_.GetFileAttributes(dir_.substr(0, 3)), kFileAttributeDirectory);  // "C:\"
}

TEST_P(OsContract, DeleteRefusesFoldersAndOpenFiles) {
  ASSERT_TRUE(WriteFile("app.exe", "MZ"));
  const Text file = Path("app.exe");
  EXPECT_FALSE(os_.DeleteFile(dir_));
  EXPECT_EQ(os_.GetLastError(), kErrorAccessDenied);
  {
    auto open = os_.OpenFileForRead(file);
    ASSERT_NE(open, nullptr);
    EXPECT_FALSE(os_.DeleteFile(Path("APP.EXE")));
    EXPECT_EQ(os_.GetLastError(), kErrorSharingViolation);
  }
  EXPECT_TRUE(os_.DeleteFile(file));
  EXPECT_FALSE(os_.FileExists(file));
}

TEST_P(OsContract, CopyListAndDeleteAtTheNextStart) {
  ASSERT_TRUE(WriteFile("a.exe", "abc"));
  ASSERT_TRUE(os_.CopyFile(Path("a.exe"), Path("b.exe"), true));
  EXPECT_EQ(Read(Path("b.exe")), "abc");
  EXPECT_FALSE(os_.CopyFile(Path("a.exe"), Path("b.exe"), true));
  EXPECT_EQ(os_.GetLastError(), kErrorFileExists);
  EXPECT_TRUE(os_.CopyFile(Path("a.exe"), Path("b.exe"), false));
  EXPECT_FALSE(os_.CopyFile(Path("missing"), Path("c.exe"), false));
  EXPECT_EQ(os_.GetLastError(), kErrorFileNotFound);
  ASSERT_TRUE(os_.CreateDirectory(Path("Sub")));

  // Listing gives the names without "." and "..", with or without a trailing backslash and
  // whatever the letter case of the folder's name.
  for (const Text& folder : {dir_, dir_ + u"\\", Path("sub\\..")}) {
    SCOPED_TRACE(TextToUtf8(folder));
    std::vector<Text> names;
    ASSERT_TRUE(os_.ListDirectory(folder, &names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<Text>{T("Sub"), T("a.exe"), T("b.exe")}));
  }
  ASSERT_TRUE(WriteFile("Sub\\c.txt", ""));
  std::vector<Text> names;
  ASSERT_TRUE(os_.ListDirectory(Path("SUB"), &names));
  EXPECT_EQ(names, std::vector<Text>{T("c.txt")});
  names = {T("stale")};
  EXPECT_FALSE(os_.ListDirectory(Path("missing"), &names));
  EXPECT_EQ(os_.GetLastError(), kErrorPathNotFound);
  EXPECT_TRUE(names.empty());

  // Deletion at the next start leaves the file until then (the tests run as administrator).
  EXPECT_TRUE(os_.MoveFileEx(Path("b.exe"), nullptr, kMoveFileDelayUntilReboot));
  EXPECT_TRUE(os_.FileExists(Path("b.exe")));
}

TEST_P(OsContract, RegistryValuesRoundTripWithTheirTypeAndSize) {
  const Text& path = env_->key();
  Handle key = 0;
  ASSERT_EQ(os_.RegCreateKeyEx(kHkeyCurrentUser, path, kRegOptionNonVolatile, kKeyAllAccess, &key),
            kErrorSuccess);
  ASSERT_NE(key, 0u);

  const std::u16string text = u"v\u00e9";
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
  ASSERT_EQ(os_.RegSetValueEx(key, T("text"), kRegSz, bytes, 6), kErrorSuccess);
  ASSERT_EQ(
      os_.RegSetValueEx(key, T("empty"), kRegSz, reinterpret_cast<const std::uint8_t*>(u""), 2),
      kErrorSuccess);
  const std::uint32_t number = 0x12345678;
  ASSERT_EQ(os_.RegSetValueEx(key, T("number"), kRegDword,
                              reinterpret_cast<const std::uint8_t*>(&number), 4),
            kErrorSuccess);

  // Type and size alone, then the data; a buffer one byte short gets ERROR_MORE_DATA.
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  ASSERT_EQ(os_.RegQueryValueEx(key, T("text"), &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 6u);
  std::uint8_t data[16] = {};
  size = 5;
  EXPECT_EQ(os_.RegQueryValueEx(key, T("text"), &type, data, &size),
            static_cast<LStatus>(kErrorMoreData));
  EXPECT_EQ(size, 6u);
  size = sizeof data;
  ASSERT_EQ(os_.RegQueryValueEx(key, T("text"), &type, data, &size), kErrorSuccess);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(data), 2), u"v\u00e9");

  ASSERT_EQ(os_.RegQueryValueEx(key, T("empty"), &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 2u);
  ASSERT_EQ(os_.RegQueryValueEx(key, T("number"), &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(os_.RegQueryValueEx(key, T("missing"), &type, nullptr, &size),
            static_cast<LStatus>(kErrorFileNotFound));
  EXPECT_EQ(os_.RegCloseKey(key), kErrorSuccess);

  // Opened again, the values are there; names of keys and values compare without regard to
  // case. A handle opened for reading cannot write.
  const Text upper_path = platform::AsciiUpper(path);
  ASSERT_EQ(os_.RegOpenKeyEx(kHkeyCurrentUser, upper_path, kKeyRead, &key), kErrorSuccess);
  ASSERT_EQ(os_.RegQueryValueEx(key, T("TEXT"), &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(os_.RegSetValueEx(key, T("text"), kRegSz, bytes, 6),
            static_cast<LStatus>(kErrorAccessDenied));
  EXPECT_EQ(os_.RegCloseKey(key), kErrorSuccess);
}

TEST_P(OsContract, RegistryStoresStringDataAsGiven) {
  Handle key = 0;
  ASSERT_EQ(
      os_.RegCreateKeyEx(kHkeyCurrentUser, env_->key(), kRegOptionNonVolatile, kKeyAllAccess, &key),
      kErrorSuccess);
  const std::uint8_t odd[] = {'a', 0, 'b'};  // odd size, no NUL
  ASSERT_EQ(os_.RegSetValueEx(key, T("Name"), kRegSz, odd, 3), kErrorSuccess);
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  ASSERT_EQ(os_.RegQueryValueEx(key, T("name"), &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(size, 3u);
  std::uint8_t buffer[8] = {};
  size = 2;
  EXPECT_EQ(os_.RegQueryValueEx(key, T("Name"), &type, buffer, &size),
            static_cast<LStatus>(kErrorMoreData));
  EXPECT_EQ(size, 3u);
  size = sizeof buffer;
  ASSERT_EQ(os_.RegQueryValueEx(key, T("Name"), &type, buffer, &size), kErrorSuccess);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{'a', 0, 'b', 0}));
  ASSERT_EQ(os_.RegCloseKey(key), kErrorSuccess);
  // A closed handle is no handle.
  EXPECT_EQ(os_.RegCloseKey(key), static_cast<LStatus>(kErrorInvalidHandle));
  EXPECT_EQ(os_.RegQueryValueEx(key, T("Name"), &type, nullptr, &size),
            static_cast<LStatus>(kErrorInvalidHandle));
}

TEST_P(OsContract, RegistryMissingKeysAndMalformedPaths) {
  Handle key = 0x1234;
  EXPECT_EQ(os_.RegOpenKeyEx(kHkeyCurrentUser, env_->key(), kKeyAllAccess, &key),
            static_cast<LStatus>(kErrorFileNotFound));
  EXPECT_EQ(key, 0u);
  // Windows rejects a key path that begins with a backslash; the helpers above the boundary
  // strip it.
  EXPECT_EQ(os_.RegCreateKeyEx(kHkeyCurrentUser, u"\\" + env_->key(), kRegOptionNonVolatile,
                               kKeyAllAccess, &key),
            static_cast<LStatus>(kErrorBadPathname));
  EXPECT_EQ(os_.RegOpenKeyEx(kHkeyCurrentUser, T("\\Software"), kKeyRead, &key),
            static_cast<LStatus>(kErrorBadPathname));
}

TEST_P(OsContract, RegistryDeletesAKeyWithoutSubkeysOnly) {
  const Text& path = env_->key();
  const Text parent = path.substr(0, path.rfind(u'\\'));
  Handle key = 0;
  ASSERT_EQ(os_.RegCreateKeyEx(kHkeyCurrentUser, path, kRegOptionNonVolatile, kKeyAllAccess, &key),
            kErrorSuccess);
  EXPECT_EQ(os_.RegDeleteKey(kHkeyCurrentUser, parent), static_cast<LStatus>(kErrorAccessDenied));
  EXPECT_EQ(os_.RegDeleteKey(kHkeyCurrentUser, path), kErrorSuccess);
  EXPECT_EQ(os_.RegCloseKey(key), kErrorSuccess) << "a handle to a deleted key stays closable";
  Handle reopened = 0;
  EXPECT_EQ(os_.RegOpenKeyEx(kHkeyCurrentUser, path, kKeyRead, &reopened),
            static_cast<LStatus>(kErrorFileNotFound));
  EXPECT_EQ(os_.RegDeleteKey(kHkeyCurrentUser, path), static_cast<LStatus>(kErrorFileNotFound));
}

INSTANTIATE_TEST_SUITE_P(, OsContract, ::testing::ValuesIn(Implementations()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace platform::contract
