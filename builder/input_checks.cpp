#include "builder/input_checks.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <optional>

#include "builder/code_page.h"
#include "builder/host_paths.h"
#include "params/product_params.h"
#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace builder {

namespace {

namespace fs = std::filesystem;
using platform::Text;
using platform::TextToUtf8;
using platform::Utf8ToText;

constexpr int kBannerWidth = 160;
constexpr int kBannerHeight = 308;

Text TextOf(const fs::path& p) { return Utf8ToText(Utf8Of(p)); }

// Reads a whole small input file; false when it cannot be read.
bool ReadSmallFile(const std::string& path, Bytes* bytes) {
  std::ifstream in(HostPath(path), std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool HasImage(const Icon& icon, int size, int bits) {
  return std::any_of(icon.images.begin(), icon.images.end(), [&](const IconImage& i) {
    return i.width == size && i.height == size && i.bits == bits;
  });
}

void CheckIcon(const std::string& key, const std::string& path, const Bytes& bytes,
               const std::vector<std::pair<int, int>>& needed, const std::string& expected,
               Icon* icon, std::vector<std::string>* problems) {
  try {
    icon->images = ReadIconFile(bytes);
  } catch (const platform::Exception& e) {
    problems->push_back(key + ": " + path + " is " + TextToUtf8(e.Message()) + "; expected " +
                        expected);
    return;
  }
  std::string missing;
  for (auto [size, bits] : needed) {
    if (!HasImage(*icon, size, bits)) {
      missing += (missing.empty() ? "" : ", ") + std::to_string(size) + " x " +
                 std::to_string(size) + " with " + std::to_string(bits) + " bits per pixel";
    }
  }
  if (!missing.empty()) {
    std::string has;
    for (const IconImage& i : icon->images) {
      has += (has.empty() ? "" : ", ") + std::to_string(i.width) + " x " +
             std::to_string(i.height) +
             (i.bits ? " with " + std::to_string(i.bits) + " bits per pixel" : " PNG");
    }
    problems->push_back(key + ": " + path + " lacks the image " + missing + " (it has " + has +
                        "); expected " + expected);
  }
}

void CheckPayload(const std::string& payload, const ProductDescription& d, Inputs* in,
                  std::vector<std::string>* problems) {
  std::error_code ec;
  if (!fs::is_directory(HostPath(payload), ec)) {
    problems->push_back("Payload: " + payload +
                        " is not a folder; expected the folder of the files to install");
    return;
  }
  std::vector<std::pair<std::vector<Text>, PayloadFile>> files;
  fs::recursive_directory_iterator it(HostPath(payload), ec), end;
  if (ec) {
    problems->push_back("Payload: " + payload + " cannot be read: " + ec.message());
    return;
  }
  for (; it != end; it.increment(ec)) {
    if (ec) {
      problems->push_back("Payload: a folder under " + payload +
                          " cannot be read: " + ec.message());
      break;
    }
    std::error_code type_ec;
    if (it->is_directory(type_ec)) continue;
    const fs::path rel = it->path().lexically_relative(HostPath(payload));
    if (!it->is_regular_file(type_ec)) {
      problems->push_back("Payload: " + Utf8Of(it->path()) +
                          " is not a regular file; expected only files and folders");
      continue;
    }
    std::vector<Text> parts;
    for (const fs::path& part : rel) parts.push_back(TextOf(part));
    PayloadFile f;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) f.row.folder += parts[i] + u"\\";
    f.row.name = parts.back();
    f.host_path = Utf8Of(it->path());
    f.size = static_cast<std::int64_t>(it->file_size(type_ec));
    files.emplace_back(std::move(parts), std::move(f));
  }
  // The order of stptool pack: by path components, as UTF-16 text, the same on every host.
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  if (files.empty()) {
    problems->push_back("Payload: " + payload + " holds no files; expected the files to install");
    return;
  }

  std::map<Text, std::string> seen;  // upper-case relative path -> as found
  std::vector<std::string> outside_code_page;
  bool has_program = false;
  std::int64_t total = 0;
  for (auto& [parts, f] : files) {
    const std::string shown = Utf8Of(HostPath(f.host_path));
    const Text relative = f.row.folder + f.row.name;
    for (const Text& part : parts) {
      if (std::string why = CheckFileName(part); !why.empty()) {
        problems->push_back("Payload: " + shown + " cannot be installed on Windows: \"" +
                            TextToUtf8(part) + "\": " + why);
      }
    }
    if (!f.row.folder.empty() && f.row.folder[0] == u'$') {
      problems->push_back(
          "Payload: " + shown +
          ": a top folder name may not begin with \"$\" (such a folder names the system folder)");
    }
    if (std::string why = package::CheckManifestRow(f.row); !why.empty()) {
      problems->push_back("Payload: " + shown + " cannot be stored in a package: " + why);
    }
    auto [at, added] = seen.emplace(platform::AsciiUpper(relative), shown);
    if (!added) {
      problems->push_back("Payload: " + shown + " and " + at->second +
                          " differ only in letter case; Windows holds one of them");
    }
    const std::optional<bool> holds = CodePageHolds(d.code_page, relative);
    if (!holds.has_value()) {
      problems->push_back(
          "CodePage " + std::to_string(d.code_page) +
          " is not known on this system; expected a Windows code page such as 1252 or 936");
      return;
    }
    if (!*holds) outside_code_page.push_back(TextToUtf8(relative));
    if (f.row.folder.empty() &&
        platform::AsciiUpper(f.row.name) == platform::AsciiUpper(d.product.ExeBaseName + u".exe"))
      has_program = true;
    if (f.row.folder.empty() &&
        platform::AsciiUpper(f.row.name) == platform::AsciiUpper(kUninstallerName))
      in->payload_has_uninstaller = true;
    // Readable: opened and its first byte read, as packing will.
    std::ifstream probe(HostPath(f.host_path), std::ios::binary);
    char first;
    if (!probe || (f.size > 0 && !probe.read(&first, 1))) {
      problems->push_back("Payload: " + shown + " cannot be read; expected a readable file");
    }
    total += f.size;
    in->payload.push_back(f);
  }
  if (!outside_code_page.empty()) {
    std::string list;
    for (const std::string& n : outside_code_page) list += "\n  " + n;
    problems->push_back(
        "Payload: these names cannot be written in code page " + std::to_string(d.code_page) +
        " (CodePage in [package]); rename them or choose another code page:" + list);
  }
  if (!d.product.ExeBaseName.empty() && !has_program) {
    problems->push_back("Payload: " + payload + " has no " + TextToUtf8(d.product.ExeBaseName) +
                        ".exe in its top folder; expected the main program named by ExeBaseName");
  }
  if (total > std::numeric_limits<std::int32_t>::max()) {
    problems->push_back("Payload: " + payload + " holds " + std::to_string(total) +
                        " bytes; a package holds less than 2 GiB");
  }
}

}  // namespace

Inputs CheckInputs(const BuildOptions& options, std::vector<std::string>& problems) {
  Inputs in;
  Bytes text;
  if (!ReadSmallFile(options.description, &text)) {
    throw BuildProblems(
        {options.description + ": cannot be read; expected a product description (UTF-8 INI)"});
  }
  in.d = ParseProductDescription(
      std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
      options.description, &problems);
  const ProductDescription& d = in.d;
  struct Picture {
    const char* key;
    const std::string& path;
    Bytes* bytes;
  };
  Bytes app_icon, file_icon;
  for (const Picture& p :
       {Picture{"BannerCn", d.banner_cn, &in.banner_cn},
        Picture{"BannerEn", d.banner_en, &in.banner_en},
        Picture{"HeaderIcon", d.header_icon, &in.header_icon},
        Picture{"AppIcon", d.app_icon, &app_icon}, Picture{"FileIcon", d.file_icon, &file_icon}}) {
    if (p.path.empty()) continue;  // reported as missing
    if (!ReadSmallFile(p.path, p.bytes)) {
      problems.push_back(std::string(p.key) + ": " + p.path +
                         " cannot be read; expected a picture file");
      continue;
    }
    std::string why;
    const std::string key = p.key;
    if (key == "BannerCn" || key == "BannerEn") {
      why = CheckBaselineJpeg(*p.bytes, kBannerWidth, kBannerHeight);
      if (!why.empty())
        why +=
            "; expected a baseline JPEG of 160 x 308 pixels (Windows XP cannot show progressive "
            "JPEG)";
    } else if (key == "HeaderIcon") {
      why = CheckBitmap(*p.bytes, 32, 32, 24);
      if (!why.empty())
        why += "; expected an uncompressed BMP of 32 x 32 pixels, 24 bits per pixel";
    } else if (key == "AppIcon") {
      CheckIcon(key, p.path, *p.bytes, {{32, 8}},
                "an .ico file with a 32 x 32 image of 256 colours (8 bits per pixel)", &in.app_icon,
                &problems);
    } else {
      CheckIcon(
          key, p.path, *p.bytes, {{16, 24}, {32, 32}},
          "an .ico file with a 16 x 16 image of 24 bits and a 32 x 32 image of 32 bits per pixel",
          &in.file_icon, &problems);
    }
    if (!why.empty()) problems.push_back(key + ": " + p.path + " is " + why);
  }
  // The licences: their text is what the string table stores.
  for (const auto& [id, path] : d.files) {
    const params::ParamRow& row = *params::FindParam(id);
    const std::string where = options.description + ":" + std::to_string(d.given.at(id)) + ": [" +
                              row.section + "] " + row.key + ": " + path;
    const std::string expected = "; expected a UTF-8 text file of at most 60,000 characters";
    Bytes bytes;
    std::error_code ec;
    if (fs::is_directory(HostPath(path), ec) || !ReadSmallFile(path, &bytes)) {
      problems.push_back(where + " cannot be read" + expected);
      continue;
    }
    std::string why;
    const std::optional<Text> license = LicenseText(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &why);
    if (!license) {
      problems.push_back(where + " " + why + expected);
      continue;
    }
    in.d.product.*row.text = *license;
  }
  const std::string payload = options.payload.value_or(d.payload);
  if (!payload.empty()) CheckPayload(payload, d, &in, &problems);
  return in;
}

std::optional<Text> LicenseText(std::string_view bytes, std::string* why) {
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  if (bytes.find('\0') != std::string_view::npos) {
    *why = "holds a NUL character";
    return std::nullopt;
  }
  const Text text = platform::Utf8ToText(bytes);
  if (platform::TextToUtf8(text) != bytes) {
    *why = "is not UTF-8 text";
    return std::nullopt;
  }
  std::size_t characters = 0;  // as written: a pair of surrogates is one character
  for (char16_t c : text) characters += (c & 0xFC00) != 0xDC00;
  if (characters == 0) {
    *why = "is empty";
    return std::nullopt;
  }
  if (characters > params::kMaxLicenseCharacters) {
    *why = "has " + std::to_string(characters) + " characters, more than " +
           std::to_string(params::kMaxLicenseCharacters);
    return std::nullopt;
  }
  Text out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r') {
      if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
      out += u"\r\n";
    } else if (text[i] == u'\n') {
      out += u"\r\n";
    } else {
      out += text[i];
    }
  }
  // A string of the string table holds at most 65,535 UTF-16 units.
  if (out.size() > 65535) {
    *why = "is too long once its line ends become CRLF (" + std::to_string(out.size()) +
           " UTF-16 units, at most 65,535)";
    return std::nullopt;
  }
  return out;
}

void CheckOutputPath(const std::string& output, std::vector<std::string>& problems) {
  std::error_code ec;
  const fs::path out = HostPath(output);
  if (fs::is_directory(out, ec)) {
    problems.push_back(output + " is a folder; expected the name of the setup program to write");
  } else if (!out.parent_path().empty() && !fs::is_directory(out.parent_path(), ec)) {
    problems.push_back(output + ": the folder " + Utf8Of(out.parent_path()) +
                       " does not exist; expected the setup program's name in an existing folder");
  }
}

}  // namespace builder
