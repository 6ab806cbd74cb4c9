#include "builder/product_description.h"

#include <filesystem>
#include <map>

#include "crypt/catalogue.h"
#include "platform/ascii.h"
#include "platform/text.h"

namespace builder {

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = platform::AsciiLower(c);
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

enum class Kind { kText, kBool, kPath, kCipher, kDigest, kCodePage };

struct Key {
  const char* section;
  const char* name;
  bool required;
  Kind kind;
  const char* meaning;  // for the message when it is missing
};

const Key kKeys[] = {
    {"product", "WindowClass", true, Kind::kText, "id 1001: the class name of the product's main window"},
    {"product", "WindowTitle", true, Kind::kText, "id 1002: the title of its main window, English edition"},
    {"product", "WindowTitleCn", true, Kind::kText, "id 1003: the title of its main window, Chinese edition"},
    {"product", "DisplayNameEn", true, Kind::kText, "id 1004: the product's name in English"},
    {"product", "DisplayNameCn", true, Kind::kText, "id 1005: the product's name in Chinese"},
    {"product", "Freeware", true, Kind::kBool, "id 1009: true or false"},
    {"product", "ExeBaseName", true, Kind::kText, "id 1010: the main program's name without .exe"},
    {"product", "Version", true, Kind::kText, "id 1011: the version text"},
    {"product", "RequiredSpace", false, Kind::kText, ""},
    {"images", "BannerCn", true, Kind::kPath, "a baseline JPEG of 160 x 308 pixels with Chinese text"},
    {"images", "BannerEn", true, Kind::kPath, "a baseline JPEG of 160 x 308 pixels with English text"},
    {"images", "HeaderIcon", true, Kind::kPath, "a BMP of 32 x 32 pixels, 24 bits per pixel"},
    {"images", "AppIcon", true, Kind::kPath, "an .ico file with a 32 x 32 image of 256 colours"},
    {"images", "FileIcon", true, Kind::kPath, "an .ico file with 16 x 16 (24-bit) and 32 x 32 (32-bit) images"},
    {"package", "Payload", true, Kind::kPath, "the folder of the files to install"},
    {"package", "Cipher", false, Kind::kCipher, ""},
    {"package", "Digest", false, Kind::kDigest, ""},
    {"package", "CodePage", false, Kind::kCodePage, ""},
};

std::string KeyList(const char* section) {
  std::string out;
  for (const Key& k : kKeys) {
    // The table's section names are in lower case already.
    if (std::string_view(k.section) != section) continue;
    if (!out.empty()) out += ", ";
    out += k.name;
  }
  return out;
}

std::string JoinHostPath(const std::string& description, const std::string& value) {
  const std::u8string base(reinterpret_cast<const char8_t*>(description.data()), description.size());
  const std::u8string rel(reinterpret_cast<const char8_t*>(value.data()), value.size());
  const fs::path joined = fs::path(base).parent_path() / fs::path(rel);
  const std::u8string s = joined.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return platform::EqualsIgnoringAsciiCase(a, b);
}

}  // namespace

int CipherByName(const std::string& text) {
  if (EqualsIgnoringCase(text, "AES")) return tvcrypt::kRijndael;
  for (const auto& c : tvcrypt::kCiphers) {
    if (text == std::to_string(c.number) || EqualsIgnoringCase(text, c.name)) return c.number;
  }
  return -1;
}

int DigestByName(const std::string& text) {
  for (const auto& d : tvcrypt::kDigests) {
    if (text == std::to_string(d.number) || EqualsIgnoringCase(text, d.name)) return d.number;
  }
  return -1;
}

std::string CheckFileName(TextView name) {
  if (name.empty()) return "it is empty";
  for (char16_t c : name) {
    if (c < 0x20) return "it holds a control character";
    if (TextView(u"\\/:*?\"<>|").find(c) != TextView::npos) {
      return "it holds the character " + platform::TextToUtf8(Text(1, c)) +
             ", which Windows does not allow in file names (\\ / : * ? \" < > |)";
    }
  }
  if (name.back() == u' ' || name.back() == u'.') return "it ends with a space or a dot, which Windows drops";
  // Device names, also with an extension ("con.txt").
  std::string stem = Lower(platform::TextToUtf8(name.substr(0, name.find(u'.'))));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
  bool device = false;
  for (const char* d : kDevices) device |= stem == d;
  device |= stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) &&
            stem[3] >= '1' && stem[3] <= '9';
  if (device) return "it is the name of a Windows device";
  return {};
}

std::string CheckDisplayName(TextView name) {
  if (std::string why = CheckFileName(name); !why.empty()) return why;
  // The shortcut is NAME.lnk; a registry key name has at most 255 characters.
  if (name.size() > 251) return "it is longer than 251 characters";
  return {};
}

ProductDescription ParseProductDescription(std::string_view text, const std::string& path,
                                           std::vector<std::string>* problems) {
  ProductDescription d;
  auto problem = [&](int line, const std::string& what) {
    problems->push_back(path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " + what);
  };
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);

  struct Value {
    std::string text;
    int line;
  };
  std::map<std::string, Value> values;  // "section.key" in lower case
  std::string section;
  int number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (platform::TextToUtf8(platform::Utf8ToText(line)) != line) {
      problem(number, "the line is not UTF-8 text; the description must be saved as UTF-8");
      continue;
    }
    // A comment starts at ";" at the start of the line or after a space or tab.
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] == ';' && (i == 0 || line[i - 1] == ' ' || line[i - 1] == '\t')) {
        line = line.substr(0, i);
        break;
      }
    }
    line = Trim(line);
    if (line.empty()) continue;
    if (line.front() == '[') {
      if (line.back() != ']') {
        problem(number, "a section header must end with \"]\"");
        continue;
      }
      section = Lower(Trim(line.substr(1, line.size() - 2)));
      if (section != "product" && section != "images" && section != "package") {
        problem(number, "unknown section [" + std::string(line.substr(1, line.size() - 2)) +
                            "]; the sections are [product], [images] and [package]");
        section = "?";
      }
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      problem(number, "expected KEY = VALUE, a [section] or a ; comment");
      continue;
    }
    const std::string key(Trim(line.substr(0, eq)));
    const std::string value(Trim(line.substr(eq + 1)));
    if (section.empty()) {
      problem(number, key + " comes before any section; it belongs under [product], [images] or [package]");
      continue;
    }
    if (section == "?") continue;  // reported with its section
    const Key* known = nullptr;
    for (const Key& k : kKeys) {
      if (k.section == section && EqualsIgnoringCase(k.name, key)) known = &k;
    }
    if (!known) {
      problem(number, "unknown key " + key + " in [" + section + "]; the keys there are " +
                          KeyList(section.c_str()));
      continue;
    }
    const std::string id = section + "." + Lower(known->name);
    if (auto it = values.find(id); it != values.end()) {
      problem(number, std::string(known->name) + " is given twice (first at line " +
                          std::to_string(it->second.line) + ")");
      continue;
    }
    values[id] = Value{value, number};
  }

  for (const Key& k : kKeys) {
    const std::string id = std::string(k.section) + "." + Lower(k.name);
    auto it = values.find(id);
    if (it == values.end() || (it->second.text.empty() && k.required)) {
      if (k.required) {
        problem(it == values.end() ? 0 : it->second.line,
                "[" + std::string(k.section) + "] " + k.name + (it == values.end() ? " is missing" : " is empty") +
                    "; expected " + k.meaning);
      }
      continue;
    }
    const std::string& v = it->second.text;
    const int line = it->second.line;
    const std::string name = k.name;
    const Text t = platform::Utf8ToText(v);
    switch (k.kind) {
      case Kind::kText:
        if (name == "WindowClass") d.window_class = t;
        else if (name == "WindowTitle") d.window_title = t;
        else if (name == "WindowTitleCn") d.window_title_cn = t;
        else if (name == "DisplayNameEn") d.display_name_en = t;
        else if (name == "DisplayNameCn") d.display_name_cn = t;
        else if (name == "ExeBaseName") d.exe_base_name = t;
        else if (name == "Version") d.version = t;
        else if (name == "RequiredSpace") d.required_space = t;
        if (name == "DisplayNameEn" || name == "DisplayNameCn") {
          if (std::string why = CheckDisplayName(t); !why.empty()) {
            problem(line, name + " \"" + v + "\" cannot name the shortcut and the uninstall registry key: " + why);
          }
        }
        if (name == "ExeBaseName") {
          const std::string why = CheckFileName(t + u".exe");
          if (!why.empty() || (t.size() > 4 && EqualsIgnoringCase(v.substr(v.size() - 4), ".exe"))) {
            problem(line, "ExeBaseName \"" + v + "\" is not a program name without .exe" +
                              (why.empty() ? std::string() : ": " + why));
          }
        }
        break;
      case Kind::kBool:
        if (EqualsIgnoringCase(v, "true")) d.freeware = true;
        else if (EqualsIgnoringCase(v, "false")) d.freeware = false;
        else problem(line, name + " = " + v + ": expected true or false");
        break;
      case Kind::kPath: {
        const std::string p = JoinHostPath(path, v);
        if (name == "BannerCn") d.banner_cn = p;
        else if (name == "BannerEn") d.banner_en = p;
        else if (name == "HeaderIcon") d.header_icon = p;
        else if (name == "AppIcon") d.app_icon = p;
        else if (name == "FileIcon") d.file_icon = p;
        else if (name == "Payload") d.payload = p;
        break;
      }
      case Kind::kCipher:
        d.cipher = CipherByName(v);
        if (d.cipher < 0) problem(line, "unknown cipher " + v + "; expected Blowfish, Cast128, Cast256, DES, 3DES, Rijndael (AES), RC4, Twofish, IDEA or their numbers 0-8");
        break;
      case Kind::kDigest:
        d.digest = DigestByName(v);
        if (d.digest < 0) problem(line, "unknown digest " + v + "; expected Haval, MD5, SHA1, SHA256, SHA512 or their numbers 0-4");
        break;
      case Kind::kCodePage: {
        char* end = nullptr;
        const long cp = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || cp < 1 || cp > 65535) {
          problem(line, "CodePage = " + v + ": expected a Windows code page number such as 1252 or 936");
        } else {
          d.code_page = static_cast<std::uint32_t>(cp);
        }
        break;
      }
    }
  }
  return d;
}

}  // namespace builder
