#include "builder/product_description.h"

#include <algorithm>
#include <map>

#include "builder/code_page.h"
#include "builder/host_paths.h"
#include "crypt/catalogue.h"
#include "platform/ascii.h"
#include "platform/text.h"

namespace builder {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = platform::AsciiLower(c);
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

enum class Kind { kParam, kPath, kCipher, kDigest, kCodePage };

// A key of the description: a product parameter (its row of params::kParams) or one of the
// pictures and package settings below, which become resources rather than strings.
struct Key {
  std::string section;
  std::string name;
  bool required;
  Kind kind;
  std::string meaning;  // for the message when it is missing
  const params::ParamRow* param = nullptr;
};

struct ResourceKey {
  const char* section;
  const char* name;
  bool required;
  Kind kind;
  const char* meaning;
};

const ResourceKey kResourceKeys[] = {
    {"images", "BannerCn", true, Kind::kPath,
     "a baseline JPEG of 160 x 308 pixels with Chinese text"},
    {"images", "BannerEn", true, Kind::kPath,
     "a baseline JPEG of 160 x 308 pixels with English text"},
    {"images", "HeaderIcon", true, Kind::kPath, "a BMP of 32 x 32 pixels, 24 bits per pixel"},
    {"images", "AppIcon", true, Kind::kPath, "an .ico file with a 32 x 32 image of 256 colours"},
    {"images", "FileIcon", true, Kind::kPath,
     "an .ico file with 16 x 16 (24-bit) and 32 x 32 (32-bit) images"},
    {"package", "Payload", true, Kind::kPath, "the folder of the files to install"},
    {"package", "Cipher", false, Kind::kCipher, ""},
    {"package", "Digest", false, Kind::kDigest, ""},
    {"package", "CodePage", false, Kind::kCodePage, ""},
};

// Every key, the parameters first, in the order the messages list them.
const std::vector<Key>& Keys() {
  static const std::vector<Key> keys = [] {
    std::vector<Key> k;
    for (const params::ParamRow& row : params::kParams) {
      k.push_back({row.section, row.key, row.required, Kind::kParam,
                   "id " + std::to_string(row.id) + ": " + row.help, &row});
    }
    for (const ResourceKey& r : kResourceKeys)
      k.push_back({r.section, r.name, r.required, r.kind, r.meaning});
    return k;
  }();
  return keys;
}

// The sections in order of first appearance.
std::vector<std::string> Sections() {
  std::vector<std::string> out;
  for (const Key& k : Keys()) {
    if (std::find(out.begin(), out.end(), k.section) == out.end()) out.push_back(k.section);
  }
  return out;
}

// "[product], [images] and [package]"
std::string SectionList(const std::string& joiner) {
  const std::vector<std::string> sections = Sections();
  std::string out;
  for (std::size_t i = 0; i < sections.size(); ++i) {
    if (i > 0) out += i + 1 == sections.size() ? joiner : ", ";
    out += "[" + sections[i] + "]";
  }
  return out;
}

std::string KeyList(const std::string& section) {
  std::string out;
  for (const Key& k : Keys()) {
    // The table's section names are in lower case already.
    if (k.section != section) continue;
    if (!out.empty()) out += ", ";
    out += k.name;
  }
  return out;
}

std::string JoinHostPath(const std::string& description, const std::string& value) {
  return Utf8Of(HostPath(description).parent_path() / HostPath(value));
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return platform::EqualsIgnoringAsciiCase(a, b);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> InputPaths(const ProductDescription& d) {
  std::vector<std::pair<std::string, std::string>> paths = {
      {"Payload", d.payload},        {"BannerCn", d.banner_cn}, {"BannerEn", d.banner_en},
      {"HeaderIcon", d.header_icon}, {"AppIcon", d.app_icon},   {"FileIcon", d.file_icon}};
  for (const auto& [id, path] : d.files) paths.emplace_back(params::FindParam(id)->key, path);
  return paths;
}

std::string CheckPublisherName(TextView name) {
  if (name.empty()) return "it is empty";
  if (name.size() > params::kMaxPublisherName) {
    return "it is longer than " + std::to_string(params::kMaxPublisherName) + " characters";
  }
  for (char16_t c : name) {
    if (c < 0x20 || c == 0x7F) return "it holds a control character";
  }
  return {};
}

std::string CheckPublisherUrl(TextView url) {
  if (url.size() > params::kMaxPublisherUrl) {
    return "it is longer than " + std::to_string(params::kMaxPublisherUrl) + " characters";
  }
  for (char16_t c : url) {
    if (c <= 0x20 || c == 0x7F || c == 0x3000 || c == 0xA0)
      return "it holds a space or a control character";
  }
  const std::string text = platform::TextToUtf8(url);
  std::size_t scheme = 0;
  if (Lower(text.substr(0, 7)) == "http://")
    scheme = 7;
  else if (Lower(text.substr(0, 8)) == "https://")
    scheme = 8;
  else
    return "it does not begin with http:// or https://";
  const std::size_t host_end = text.find_first_of("/?#", scheme);
  const std::string host =
      text.substr(scheme, host_end == std::string::npos ? std::string::npos : host_end - scheme);
  // The host, without a user part and a port, needs at least one character.
  std::string_view name = host;
  if (const std::size_t at = name.rfind('@'); at != std::string_view::npos)
    name.remove_prefix(at + 1);
  if (const std::size_t colon = name.rfind(':');
      colon != std::string_view::npos && name.find(']') == std::string_view::npos) {
    name = name.substr(0, colon);
  }
  if (name.empty()) return "it names no host";
  return {};
}

std::string CheckPublisherFolder(TextView folder, std::uint32_t code_page) {
  if (std::string why = CheckFileName(folder); !why.empty()) return why;
  if (folder.size() > params::kMaxPublisherFolder) {
    return "it is longer than " + std::to_string(params::kMaxPublisherFolder) + " characters";
  }
  const std::optional<bool> holds = CodePageHolds(code_page, folder);
  if (holds.has_value() && !*holds) {
    return "it cannot be written in code page " + std::to_string(code_page) +
           " (CodePage in [package])";
  }
  return {};
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
  if (name.back() == u' ' || name.back() == u'.')
    return "it ends with a space or a dot, which Windows drops";
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

namespace {

template <typename Problem>
void ReadParam(const params::ParamRow& row, const std::string& v, const Text& t, int line,
               const std::string& description, const Problem& problem, ProductDescription* d) {
  const std::string name = row.key;
  switch (row.kind) {
    case params::ParamKind::kBool:
      if (EqualsIgnoringCase(v, "true"))
        d->product.*row.flag = true;
      else if (EqualsIgnoringCase(v, "false"))
        d->product.*row.flag = false;
      else
        problem(line, name + " = " + v + ": expected true or false");
      return;
    case params::ParamKind::kFile:
      if (v.empty()) {
        problem(line,
                "[" + std::string(row.section) + "] " + name + " is empty; expected " + row.help);
      } else {
        d->files[row.id] = JoinHostPath(description, v);
      }
      return;
    case params::ParamKind::kText:
    case params::ParamKind::kSize: d->product.*row.text = t; break;
  }
  std::string why;
  if (row.id == params::kIdPublisherName || row.id == params::kIdPublisherNameCn) {
    why = CheckPublisherName(t);
    if (!why.empty())
      problem(line, "[publisher] " + name + " \"" + v + "\": " + why +
                        "; expected the publisher's name, at most 255 characters");
  }
  if (row.id == params::kIdPublisherUrl || row.id == params::kIdPublisherUrlCn) {
    why = CheckPublisherUrl(t);
    if (!why.empty())
      problem(
          line,
          "[publisher] " + name + " \"" + v + "\": " + why +
              "; expected a web address such as https://maker.example/, at most 2,048 characters");
  }
  if (row.id == params::kIdDisplayNameEn || row.id == params::kIdDisplayNameCn) {
    if (std::string why = CheckDisplayName(t); !why.empty()) {
      problem(line, name + " \"" + v +
                        "\" cannot name the shortcut and the uninstall registry key: " + why);
    }
  }
  if (row.id == params::kIdExeBaseName) {
    const std::string why = CheckFileName(t + u".exe");
    if (!why.empty() || (t.size() > 4 && EqualsIgnoringCase(v.substr(v.size() - 4), ".exe"))) {
      problem(line, "ExeBaseName \"" + v + "\" is not a program name without .exe" +
                        (why.empty() ? std::string() : ": " + why));
    }
  }
}

}  // namespace

ProductDescription ParseProductDescription(std::string_view text, const std::string& path,
                                           std::vector<std::string>* problems) {
  ProductDescription d;
  auto problem = [&](int line, const std::string& what) {
    problems->push_back(path + (line > 0 ? ":" + std::to_string(line) : std::string()) + ": " +
                        what);
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
      const std::vector<std::string> sections = Sections();
      if (std::find(sections.begin(), sections.end(), section) == sections.end()) {
        problem(number, "unknown section [" + std::string(line.substr(1, line.size() - 2)) +
                            "]; the sections are " + SectionList(" and "));
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
      problem(number, key + " comes before any section; it belongs under " + SectionList(" or "));
      continue;
    }
    if (section == "?") continue;  // reported with its section
    const Key* known = nullptr;
    for (const Key& k : Keys()) {
      if (k.section == section && EqualsIgnoringCase(k.name, key)) known = &k;
    }
    if (!known) {
      problem(number, "unknown key " + key + " in [" + section + "]; the keys there are " +
                          KeyList(section));
      continue;
    }
    const std::string id = section + "." + Lower(known->name);
    if (auto it = values.find(id); it != values.end()) {
      problem(number, known->name + " is given twice (first at line " +
                          std::to_string(it->second.line) + ")");
      continue;
    }
    values[id] = Value{value, number};
  }

  for (const Key& k : Keys()) {
    const std::string id = k.section + "." + Lower(k.name);
    auto it = values.find(id);
    if (it == values.end() || (it->second.text.empty() && k.required)) {
      if (k.required) {
        problem(it == values.end() ? 0 : it->second.line,
                "[" + k.section + "] " + k.name +
                    (it == values.end() ? " is missing" : " is empty") + "; expected " + k.meaning);
      }
      if (k.param && k.param->default_value) d.product.*k.param->text = k.param->default_value;
      continue;
    }
    const std::string& v = it->second.text;
    const int line = it->second.line;
    const std::string& name = k.name;
    const Text t = platform::Utf8ToText(v);
    switch (k.kind) {
      case Kind::kParam:
        d.given[k.param->id] = line;
        ReadParam(*k.param, v, t, line, path, problem, &d);
        break;
      case Kind::kPath: {
        const std::string p = JoinHostPath(path, v);
        if (name == "BannerCn")
          d.banner_cn = p;
        else if (name == "BannerEn")
          d.banner_en = p;
        else if (name == "HeaderIcon")
          d.header_icon = p;
        else if (name == "AppIcon")
          d.app_icon = p;
        else if (name == "FileIcon")
          d.file_icon = p;
        else if (name == "Payload")
          d.payload = p;
        break;
      }
      case Kind::kCipher:
        d.cipher = tvcrypt::CipherNumber(v);
        if (d.cipher < 0)
          problem(line, "unknown cipher " + v +
                            "; expected Blowfish, Cast128, Cast256, DES, 3DES, Rijndael (AES), "
                            "RC4, Twofish, IDEA or their numbers 0-8");
        break;
      case Kind::kDigest:
        d.digest = tvcrypt::DigestNumber(v);
        if (d.digest < 0)
          problem(line, "unknown digest " + v +
                            "; expected Haval, MD5, SHA1, SHA256, SHA512 or their numbers 0-4");
        break;
      case Kind::kCodePage: {
        char* end = nullptr;
        const long cp = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || cp < 1 || cp > 65535) {
          problem(line,
                  "CodePage = " + v + ": expected a Windows code page number such as 1252 or 936");
        } else {
          d.code_page = static_cast<std::uint32_t>(cp);
        }
        break;
      }
    }
  }
  // The Chinese publisher follows the English one when only that is given.
  for (auto [cn, en] : {std::pair{params::kIdPublisherNameCn, params::kIdPublisherName},
                        std::pair{params::kIdPublisherUrlCn, params::kIdPublisherUrl}}) {
    const params::ParamRow& cn_row = *params::FindParam(cn);
    const params::ParamRow& en_row = *params::FindParam(en);
    if (!d.given.contains(cn) && d.given.contains(en)) {
      d.product.*cn_row.text = d.product.*en_row.text;
      d.given[cn] = d.given[en];
    }
  }
  if (auto it = d.given.find(params::kIdPublisherFolder); it != d.given.end()) {
    const Text& folder = d.product.PublisherFolder;
    if (std::string why = CheckPublisherFolder(folder, d.code_page); !why.empty()) {
      problem(it->second, "[publisher] Folder \"" + platform::TextToUtf8(folder) + "\": " + why +
                              "; expected one folder name of at most 64 characters");
    }
  }
  return d;
}

}  // namespace builder
