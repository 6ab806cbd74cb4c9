#include "builder/setup_builder.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>

#include "builder/host_paths.h"
#include "builder/input_checks.h"
#include "builder/memory_file.h"
#include "builder/pe_image.h"
#include "builder/pictures.h"
#include "builder/resource_writer.h"
#include "crypt/catalogue.h"
#include "crypt/cipher.h"
#include "package/package_format.h"
#include "package/verify.h"
#include "params/product_params.h"
#include "params/resource_names.h"
#include "platform/ascii.h"
#include "platform/errors.h"
#include "platform/host.h"
#include "platform/little_endian.h"
#include "platform/text.h"

namespace builder {

namespace {

namespace fs = std::filesystem;
using platform::Text;
using platform::TextToUtf8;
using platform::Utf8ToText;

// The string table: every parameter the description gives or needs. A parameter with a default
// that the description leaves out is not stored; the programs' loaders supply the same default.
std::vector<std::pair<std::uint32_t, Text>> ProductStrings(const ProductDescription& d,
                                                           const Text& required_space) {
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
std::vector<ResourceInput> CommonResources(const Inputs& in, const Text& required_space,
                                           const PeImage& stub) {
  std::vector<ResourceInput> r =
      StringTableResources(ProductStrings(in.d, required_space), params::kStringTableLanguage);
  std::uint16_t next_icon = 1;
  for (const ResourceEntry& e : stub.resources()) {
    if (e.type == ResourceId::Id(kRtIcon) && !e.name.IsName() && e.name.id >= next_icon)
      next_icon = e.name.id + 1;
  }
  for (const auto& [name, icon] :
       {std::pair<const char16_t*, const Icon*>{params::kAppIconName, &in.app_icon},
        std::pair<const char16_t*, const Icon*>{params::kFileIconName, &in.file_icon}}) {
    r.push_back({ResourceId::Id(kRtGroupIcon), ResourceId::Name(name), 0,
                 GroupIconResource(icon->images, next_icon)});
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
    for (std::size_t i = 0; i < static_cast<std::size_t>(block->BlockSize()) / 8; ++i)
      *o.iv += printable(94);
  }
  return o;
}

std::unique_ptr<platform::File> OpenStub(const std::string& path,
                                         std::vector<std::string>* problems,
                                         std::optional<PeImage>* image) {
  std::unique_ptr<platform::File> f =
      platform::CurrentOs().OpenFileForRead(platform::HostPathToOsPath(path));
  if (!f) {
    problems->push_back(
        path +
        " cannot be read; expected the generic program that ships with stptool (see --stub-dir)");
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
    : std::runtime_error(problems.empty() ? std::string() : problems.front()),
      problems_(std::move(problems)) {}

Text RequiredSpaceText(std::int64_t bytes) {
  constexpr std::int64_t kKb = 1024, kMb = 1024 * 1024;
  if (bytes < kMb)
    return platform::AsciiToText(
        std::to_string(std::max<std::int64_t>(1, (bytes + kKb - 1) / kKb)) + " KB");
  const std::int64_t tenths = (bytes * 10 + kMb - 1) / kMb;
  return platform::AsciiToText(std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) +
                               " MB");
}

std::vector<std::uint8_t> InstalledFilesResource(const std::vector<Text>& paths) {
  Text lines;
  for (const Text& p : paths) lines += p + u"\r\n";
  return platform::Utf16LeBytes(lines);
}

BuildResult BuildSetup(const BuildOptions& options) {
  std::vector<std::string> problems;
  Inputs in = CheckInputs(options, problems);
  CheckOutputPath(options.output, problems);
  const ProductDescription& d = in.d;
  // The size the wizard shows: as the description gives it, else computed from the payload.
  const std::optional<Text> given_space = d.given.contains(params::kIdRequiredSpace)
                                              ? std::optional<Text>(d.product.RequiredSpace)
                                              : std::nullopt;
  std::optional<PeImage> setup_image, uninst_image;
  const std::string setup_stub_path = Utf8Of(HostPath(options.stub_dir) / kSetupStubName);
  const std::string uninst_stub_path = Utf8Of(HostPath(options.stub_dir) / kUninstStubName);
  std::unique_ptr<platform::File> setup_stub = OpenStub(setup_stub_path, &problems, &setup_image);
  std::unique_ptr<platform::File> uninst_stub;
  if (!in.payload_has_uninstaller)
    uninst_stub = OpenStub(uninst_stub_path, &problems, &uninst_image);
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
    std::vector<ResourceInput> r =
        CommonResources(in, given_space.value_or(RequiredSpaceText(payload_bytes)), *uninst_image);
    r.push_back({ResourceId::Id(kRtRcData), ResourceId::Name(params::kInstalledFilesName), 0,
                 InstalledFilesResource(installed)});
    WriteImageWithResources(*uninst_stub, *uninst_image, r, nullptr, uninstaller);
    payload_bytes += uninstaller.Size();
  }
  const Text required_space = given_space.value_or(RequiredSpaceText(payload_bytes));
  if (!in.payload_has_uninstaller && !given_space) {
    // Written again with the final text.
    MemoryFile again;
    std::vector<ResourceInput> r = CommonResources(in, required_space, *uninst_image);
    r.push_back({ResourceId::Id(kRtRcData), ResourceId::Name(params::kInstalledFilesName), 0,
                 InstalledFilesResource(installed)});
    WriteImageWithResources(*uninst_stub, *uninst_image, r, nullptr, again);
    uninstaller = std::move(again);
  }

  std::vector<ResourceInput> resources = CommonResources(in, required_space, *setup_image);
  resources.push_back({ResourceId::Id(kRtRcData),
                       ResourceId::Name(params::BannerName(params::kLanguageChinese)), 0,
                       in.banner_cn});
  resources.push_back({ResourceId::Id(kRtRcData),
                       ResourceId::Name(params::BannerName(params::kLanguageEnglish)), 0,
                       in.banner_en});
  resources.push_back({ResourceId::Id(kRtBitmap), ResourceId::Name(params::kHeaderIconName), 0,
                       BitmapResource(in.header_icon)});

  package::PackOptions pack;
  pack.cipher = d.cipher;
  pack.digest = d.digest;
  if (options.seed) pack.envelope = SeededEnvelope(*options.seed, d.cipher);
  pack.compressor = options.compressor;
  pack.level = options.level;
  pack.jobs = options.jobs;
  if (options.on_progress) {
    pack.on_progress = [&options, payload_bytes](std::int64_t done) {
      options.on_progress(done, payload_bytes);
    };
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
      StreamedResource package{
          ResourceId::Name(params::kPackageType), ResourceId::Name(params::kPackageName), 0,
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
      const WrittenImage written =
          WriteImageWithResources(*setup_stub, *setup_image, resources, &package, *out);
      result.setup_bytes = written.file_size;
      result.package_offset = written.streamed_offset;
      result.package_bytes = written.streamed_size;
    }
    // Read back what was written: the resources through a fresh reader, the package in full.
    std::unique_ptr<platform::File> back = os.OpenFileForRead(partial_os);
    if (!back) throw platform::EReadError(u"Cannot read back " + partial_os);
    const PeImage image(*back);
    const ResourceEntry* pkg =
        image.Find(ResourceId::Name(params::kPackageType), ResourceId::Name(params::kPackageName));
    if (!pkg || pkg->file_offset != result.package_offset ||
        LoadString(*back, image, params::kIdExeBaseName, params::kStringTableLanguage) !=
            d.product.ExeBaseName) {
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
