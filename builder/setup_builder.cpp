#include "builder/setup_builder.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <random>

#include "builder/code_page.h"
#include "builder/memory_file.h"
#include "builder/pe_image.h"
#include "builder/pictures.h"
#include "builder/resource_writer.h"
#include "crypt/catalogue.h"
#include "crypt/cipher.h"
#include "package/package_format.h"
#include "package/verify.h"
#include "platform/little_endian.h"
#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/host.h"
#include "platform/text.h"
#include "params/product_params.h"

namespace builder {

namespace {

namespace fs = std::filesystem;
using platform::Text;
using platform::TextToUtf8;
using platform::Utf8ToText;

constexpr int kBannerWidth = 160;
constexpr int kBannerHeight = 308;

fs::path HostPath(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Of(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

Text TextOf(const fs::path& p) { return Utf8ToText(Utf8Of(p)); }

// Reads a whole small input file; false when it cannot be read.
bool ReadSmallFile(const std::string& path, Bytes* bytes) {
  std::ifstream in(HostPath(path), std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

struct PayloadFile {
  package::ManifestRow row;  // folder "sub\" and name
  std::string host_path;     // for reading and for messages
  std::int64_t size = 0;
};

struct Icon {
  std::vector<IconImage> images;
};

// Everything the checks have read, ready to be written.
struct Inputs {
  ProductDescription d;
  Bytes banner_cn, banner_en, header_icon;
  Icon app_icon, file_icon;
  std::vector<PayloadFile> payload;
  bool payload_has_uninstaller = false;
};

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
    problems->push_back(key + ": " + path + " is " + TextToUtf8(e.Message()) + "; expected " + expected);
    return;
  }
  std::string missing;
  for (auto [size, bits] : needed) {
    if (!HasImage(*icon, size, bits)) {
      missing += (missing.empty() ? "" : ", ") + std::to_string(size) + " x " + std::to_string(size) +
                 " with " + std::to_string(bits) + " bits per pixel";
    }
  }
  if (!missing.empty()) {
    std::string has;
    for (const IconImage& i : icon->images) {
      has += (has.empty() ? "" : ", ") + std::to_string(i.width) + " x " + std::to_string(i.height) +
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
    problems->push_back("Payload: " + payload + " is not a folder; expected the folder of the files to install");
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
      problems->push_back("Payload: a folder under " + payload + " cannot be read: " + ec.message());
      break;
    }
    std::error_code type_ec;
    if (it->is_directory(type_ec)) continue;
    const fs::path rel = it->path().lexically_relative(HostPath(payload));
    if (!it->is_regular_file(type_ec)) {
      problems->push_back("Payload: " + Utf8Of(it->path()) + " is not a regular file; expected only files and folders");
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
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
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
      problems->push_back("Payload: " + shown + ": a top folder name may not begin with \"$\" (such a folder names the system folder)");
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
      problems->push_back("CodePage " + std::to_string(d.code_page) + " is not known on this system; expected a Windows code page such as 1252 or 936");
      return;
    }
    if (!*holds) outside_code_page.push_back(TextToUtf8(relative));
    if (f.row.folder.empty() && platform::AsciiUpper(f.row.name) == platform::AsciiUpper(d.product.ExeBaseName + u".exe")) has_program = true;
    if (f.row.folder.empty() && platform::AsciiUpper(f.row.name) == platform::AsciiUpper(kUninstallerName)) in->payload_has_uninstaller = true;
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
    problems->push_back("Payload: these names cannot be written in code page " + std::to_string(d.code_page) +
                        " (CodePage in [package]); rename them or choose another code page:" + list);
  }
  if (!d.product.ExeBaseName.empty() && !has_program) {
    problems->push_back("Payload: " + payload + " has no " + TextToUtf8(d.product.ExeBaseName) +
                        ".exe in its top folder; expected the main program named by ExeBaseName");
  }
  if (total > std::numeric_limits<std::int32_t>::max()) {
    problems->push_back("Payload: " + payload + " holds " + std::to_string(total) + " bytes; a package holds less than 2 GiB");
  }
}

// Checks the description, the pictures and the payload, reading the pictures.
Inputs CheckInputs(const BuildOptions& options, std::vector<std::string>& problems) {
  Inputs in;
  Bytes text;
  if (!ReadSmallFile(options.description, &text)) {
    throw BuildProblems({options.description + ": cannot be read; expected a product description (UTF-8 INI)"});
  }
  in.d = ParseProductDescription(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()),
                                 options.description, &problems);
  const ProductDescription& d = in.d;
  struct Picture {
    const char* key;
    const std::string& path;
    Bytes* bytes;
  };
  Bytes app_icon, file_icon;
  for (const Picture& p : {Picture{"BannerCn", d.banner_cn, &in.banner_cn}, Picture{"BannerEn", d.banner_en, &in.banner_en},
                           Picture{"HeaderIcon", d.header_icon, &in.header_icon},
                           Picture{"AppIcon", d.app_icon, &app_icon}, Picture{"FileIcon", d.file_icon, &file_icon}}) {
    if (p.path.empty()) continue;  // reported as missing
    if (!ReadSmallFile(p.path, p.bytes)) {
      problems.push_back(std::string(p.key) + ": " + p.path + " cannot be read; expected a picture file");
      continue;
    }
    std::string why;
    const std::string key = p.key;
    if (key == "BannerCn" || key == "BannerEn") {
      why = CheckBaselineJpeg(*p.bytes, kBannerWidth, kBannerHeight);
      if (!why.empty()) why += "; expected a baseline JPEG of 160 x 308 pixels (Windows XP cannot show progressive JPEG)";
    } else if (key == "HeaderIcon") {
      why = CheckBitmap(*p.bytes, 32, 32, 24);
      if (!why.empty()) why += "; expected an uncompressed BMP of 32 x 32 pixels, 24 bits per pixel";
    } else if (key == "AppIcon") {
      CheckIcon(key, p.path, *p.bytes, {{32, 8}}, "an .ico file with a 32 x 32 image of 256 colours (8 bits per pixel)", &in.app_icon, &problems);
    } else {
      CheckIcon(key, p.path, *p.bytes, {{16, 24}, {32, 32}}, "an .ico file with a 16 x 16 image of 24 bits and a 32 x 32 image of 32 bits per pixel", &in.file_icon, &problems);
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
    const std::optional<Text> license =
        LicenseText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &why);
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

// The string table: every parameter the description gives or needs. A parameter with a default
// that the description leaves out is not stored; the programs' loaders supply the same default.
std::vector<std::pair<std::uint32_t, Text>> ProductStrings(const ProductDescription& d, const Text& required_space) {
  params::ProductParams p = d.product;
  p.RequiredSpace = required_space;
  std::vector<std::pair<std::uint32_t, Text>> strings;
  for (const params::ParamRow& row : params::kParams) {
    if (row.default_value && !d.given.contains(row.id)) continue;
    strings.emplace_back(row.id, params::StoredText(row, p));
  }
  return strings;
}

// Strings and both icons: what the setup and the uninstaller both carry.
std::vector<ResourceInput> CommonResources(const Inputs& in, const Text& required_space, const PeImage& stub) {
  std::vector<ResourceInput> r = StringTableResources(ProductStrings(in.d, required_space), params::kStringTableLanguage);
  std::uint16_t next_icon = 1;
  for (const ResourceEntry& e : stub.resources()) {
    if (e.type == ResourceId::Id(kRtIcon) && !e.name.IsName() && e.name.id >= next_icon) next_icon = e.name.id + 1;
  }
  for (const auto& [name, icon] : {std::pair<const char16_t*, const Icon*>{u"APPICON", &in.app_icon},
                                   std::pair<const char16_t*, const Icon*>{u"MAINICON", &in.file_icon}}) {
    r.push_back({ResourceId::Id(kRtGroupIcon), ResourceId::Name(name), 0, GroupIconResource(icon->images, next_icon)});
    for (const IconImage& image : icon->images) {
      r.push_back({ResourceId::Id(kRtIcon), ResourceId::Id(next_icon++), 0, image.data});
    }
  }
  return r;
}

// A platform::File that forwards writes to another one (the package writer owns its output).
class ForwardingFile : public platform::File {
 public:
  explicit ForwardingFile(platform::File& target) : target_(target) {}
  bool Read(void* b, std::uint32_t s, std::uint32_t* r) override { return target_.Read(b, s, r); }
  bool Write(const void* b, std::uint32_t s) override { return target_.Write(b, s); }
  std::int64_t Seek(std::int64_t o, platform::SeekOrigin w) override { return target_.Seek(o, w); }
  std::int64_t Size() override { return target_.Size(); }

 private:
  platform::File& target_;
};

tvcrypt::EnvelopeOptions SeededEnvelope(std::uint32_t seed, int cipher) {
  // mt19937's output is fixed by the standard, so the same seed gives the same package on every
  // host; the characters are printable ASCII, which every code page holds.
  std::mt19937 rng(seed);
  auto printable = [&rng](unsigned span) { return static_cast<char16_t>(0x21 + rng() % span); };
  tvcrypt::EnvelopeOptions o;
  o.salt = Text();
  for (int i = 0; i < 6; ++i) *o.salt += printable(94);
  o.cipher_base = printable(94 - 8);
  o.digest_base = printable(94 - 4);
  const auto c = tvcrypt::CreateCipherById(cipher);
  if (auto* block = dynamic_cast<tvcrypt::TCrypt_blockcipher*>(c.get())) {
    o.iv = Text();
    for (std::size_t i = 0; i < static_cast<std::size_t>(block->BlockSize()) / 8; ++i) *o.iv += printable(94);
  }
  return o;
}

std::unique_ptr<platform::File> OpenStub(const std::string& path, std::vector<std::string>* problems,
                                         std::optional<PeImage>* image) {
  std::unique_ptr<platform::File> f = platform::CurrentOs().OpenFileForRead(platform::HostPathToOsPath(path));
  if (!f) {
    problems->push_back(path + " cannot be read; expected the generic program that ships with stptool (see --stub-dir)");
    return nullptr;
  }
  try {
    image->emplace(*f);
  } catch (const platform::Exception& e) {
    problems->push_back(path + ": " + TextToUtf8(e.Message()));
    return nullptr;
  }
  return f;
}

void RemoveQuietly(const fs::path& p) {
  std::error_code ec;
  fs::remove(p, ec);
}

}  // namespace

BuildProblems::BuildProblems(std::vector<std::string> problems)
    : std::runtime_error(problems.empty() ? std::string() : problems.front()), problems_(std::move(problems)) {}

Text RequiredSpaceText(std::int64_t bytes) {
  constexpr std::int64_t kKb = 1024, kMb = 1024 * 1024;
  if (bytes < kMb) return platform::AsciiToText(std::to_string(std::max<std::int64_t>(1, (bytes + kKb - 1) / kKb)) + " KB");
  const std::int64_t tenths = (bytes * 10 + kMb - 1) / kMb;
  return platform::AsciiToText(std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB");
}

std::vector<std::uint8_t> InstalledFilesResource(const std::vector<Text>& paths) {
  Text lines;
  for (const Text& p : paths) lines += p + u"\r\n";
  return platform::Utf16LeBytes(lines);
}

BuildResult BuildSetup(const BuildOptions& options) {
  std::vector<std::string> problems;
  Inputs in = CheckInputs(options, problems);
  {
    std::error_code ec;
    const fs::path out = HostPath(options.output);
    if (fs::is_directory(out, ec)) {
      problems.push_back(options.output + " is a folder; expected the name of the setup program to write");
    } else if (!out.parent_path().empty() && !fs::is_directory(out.parent_path(), ec)) {
      problems.push_back(options.output + ": the folder " + Utf8Of(out.parent_path()) +
                         " does not exist; expected the setup program's name in an existing folder");
    }
  }
  const ProductDescription& d = in.d;
  // The size the wizard shows: as the description gives it, else computed from the payload.
  const std::optional<Text> given_space =
      d.given.contains(params::kIdRequiredSpace) ? std::optional<Text>(d.product.RequiredSpace) : std::nullopt;
  std::optional<PeImage> setup_image, uninst_image;
  const std::string setup_stub_path = Utf8Of(HostPath(options.stub_dir) / kSetupStubName);
  const std::string uninst_stub_path = Utf8Of(HostPath(options.stub_dir) / kUninstStubName);
  std::unique_ptr<platform::File> setup_stub = OpenStub(setup_stub_path, &problems, &setup_image);
  std::unique_ptr<platform::File> uninst_stub;
  if (!in.payload_has_uninstaller) uninst_stub = OpenStub(uninst_stub_path, &problems, &uninst_image);
  if (!problems.empty()) throw BuildProblems(std::move(problems));

  // The rows in manifest order, the uninstaller last when the builder adds it.
  std::vector<Text> installed;
  std::int64_t payload_bytes = 0;
  for (const PayloadFile& f : in.payload) {
    installed.push_back(f.row.folder + f.row.name);
    payload_bytes += f.size;
  }
  MemoryFile uninstaller;
  if (!in.payload_has_uninstaller) {
    installed.push_back(kUninstallerName);
    // Its size counts in the required space, which it carries itself: the uninstaller with the
    // final text is at most a few bytes longer than with a provisional one, and a file-aligned
    // image does not grow for that.
    std::vector<ResourceInput> r = CommonResources(in, given_space.value_or(RequiredSpaceText(payload_bytes)), *uninst_image);
    r.push_back({ResourceId::Id(kRtRcData), ResourceId::Name(u"INSTALLEDFILES"), 0, InstalledFilesResource(installed)});
    WriteImageWithResources(*uninst_stub, *uninst_image, r, nullptr, uninstaller);
    payload_bytes += uninstaller.Size();
  }
  const Text required_space = given_space.value_or(RequiredSpaceText(payload_bytes));
  if (!in.payload_has_uninstaller && !given_space) {
    // Written again with the final text.
    MemoryFile again;
    std::vector<ResourceInput> r = CommonResources(in, required_space, *uninst_image);
    r.push_back({ResourceId::Id(kRtRcData), ResourceId::Name(u"INSTALLEDFILES"), 0, InstalledFilesResource(installed)});
    WriteImageWithResources(*uninst_stub, *uninst_image, r, nullptr, again);
    uninstaller = std::move(again);
  }

  std::vector<ResourceInput> resources = CommonResources(in, required_space, *setup_image);
  resources.push_back({ResourceId::Id(kRtRcData), ResourceId::Name(u"IMAGELEFT0"), 0, in.banner_cn});
  resources.push_back({ResourceId::Id(kRtRcData), ResourceId::Name(u"IMAGELEFT2"), 0, in.banner_en});
  resources.push_back({ResourceId::Id(kRtBitmap), ResourceId::Name(u"IMAGEICON"), 0, BitmapResource(in.header_icon)});

  package::PackOptions pack;
  pack.cipher = d.cipher;
  pack.digest = d.digest;
  if (options.seed) pack.envelope = SeededEnvelope(*options.seed, d.cipher);
  pack.compressor = options.compressor;
  pack.level = options.level;
  pack.jobs = options.jobs;
  if (options.on_progress) {
    pack.on_progress = [&options, payload_bytes](std::int64_t done) { options.on_progress(done, payload_bytes); };
  }

  platform::Os& os = platform::CurrentOs();
  const fs::path output = HostPath(options.output);
  const fs::path partial = HostPath(options.output + ".partial");
  const Text partial_os = platform::HostPathToOsPath(Utf8Of(partial));
  BuildResult result;
  try {
    {
      std::unique_ptr<platform::File> out = os.CreateFileForWrite(partial_os);
      if (!out) throw platform::EWriteError(u"Cannot create " + partial_os);
      StreamedResource package{ResourceId::Name(u"StpFile"), ResourceId::Name(u"SetupPackage"), 0,
                               [&](platform::File& sink) {
                                 package::PackageWriter writer(std::make_unique<ForwardingFile>(sink), pack);
                                 for (const PayloadFile& f : in.payload) {
                                   std::unique_ptr<platform::File> source =
                                       os.OpenFileForRead(platform::HostPathToOsPath(f.host_path));
                                   if (!source) throw platform::EReadError(u"Cannot open " + Utf8ToText(f.host_path));
                                   writer.AddFile(f.row, *source);
                                 }
                                 if (!in.payload_has_uninstaller) {
                                   uninstaller.Seek(0, platform::SeekOrigin::kBegin);
                                   writer.AddFile({Text(), kUninstallerName}, uninstaller);
                                 }
                                 writer.Finish();
                               }};
      const WrittenImage written = WriteImageWithResources(*setup_stub, *setup_image, resources, &package, *out);
      result.setup_bytes = written.file_size;
      result.package_offset = written.streamed_offset;
      result.package_bytes = written.streamed_size;
    }
    // Read back what was written: the resources through a fresh reader, the package in full.
    std::unique_ptr<platform::File> back = os.OpenFileForRead(partial_os);
    if (!back) throw platform::EReadError(u"Cannot read back " + partial_os);
    const PeImage image(*back);
    const ResourceEntry* pkg = image.Find(ResourceId::Name(u"StpFile"), ResourceId::Name(u"SetupPackage"));
    if (!pkg || pkg->file_offset != result.package_offset || LoadString(*back, image, params::kIdExeBaseName, params::kStringTableLanguage) != d.product.ExeBaseName) {
      throw platform::EFormatError(u"The written setup does not read back as written");
    }
    package::FileRange range(*back, pkg->file_offset, pkg->size);
    const std::vector<Text> faults = package::VerifyPackage(range, Text());
    if (!faults.empty()) {
      std::string all = "The written package does not verify:";
      for (const Text& f : faults) all += "\n  " + TextToUtf8(f);
      throw platform::EFormatError(Utf8ToText(all));
    }
  } catch (...) {
    RemoveQuietly(partial);
    throw;
  }
  std::error_code ec;
  fs::rename(partial, output, ec);
  if (ec) {
    // Windows' rename does not replace an existing file everywhere.
    fs::remove(output, ec);
    fs::rename(partial, output, ec);
  }
  if (ec) {
    RemoveQuietly(partial);
    throw platform::EWriteError(Utf8ToText("Cannot write " + options.output + ": " + ec.message()));
  }
  result.files = static_cast<int>(installed.size());
  result.payload_bytes = payload_bytes;
  result.uninstaller_added = !in.payload_has_uninstaller;
  return result;
}

}  // namespace builder
