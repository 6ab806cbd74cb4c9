// stptool build: makes a product's setup.exe from its description and the generic setup program.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "builder/host_paths.h"
#include "builder/product_description.h"
#include "builder/setup_builder.h"
#include "params/product_params.h"
#include "platform/host.h"
#include "platform/os.h"
#include "platform/text.h"
#include "tools/stptool/command.h"
#include "tools/stptool/signing.h"

namespace stptool {
namespace {

namespace fs = std::filesystem;

// The usage text; the product parameters' part comes from their table.
std::string Usage() {
  std::string text =
      "usage: stptool build PRODUCT.ini -o SETUP.exe [--seed N] [--stub-dir DIR] [--payload DIR]\n"
      "                     [--level N] [--jobs N] [--zlib]\n"
      "                     [--sign CERT.pfx [--sign-password-file FILE]]\n"
      "       stptool build PRODUCT.ini --list-inputs\n"
      "\n"
      "Writes the setup program of the product that PRODUCT.ini describes: the generic setup\n"
      "program with the product's strings, pictures, icons and package. No compiler is needed.\n"
      "\n"
      "PRODUCT.ini is UTF-8 text; paths in it are relative to its folder; \";\" starts a comment:\n"
      "\n";
  std::string section;
  std::size_t key_width = 0, example_width = 0;  // of the section's rows
  for (const params::ParamRow& row : params::kParams) {
    if (row.section != section) {
      section = row.section;
      text += "  [" + section + "]\n";
      key_width = example_width = 0;
      for (const params::ParamRow& other : params::kParams) {
        if (other.section != section) continue;
        key_width = std::max(key_width, std::strlen(other.key));
        example_width = std::max(example_width, std::strlen(other.example));
      }
    }
    std::string line = "  " + std::string(row.key);
    line.resize(2 + key_width, ' ');
    line += " = " + std::string(row.example);
    const std::size_t column = 2 + key_width + 3 + example_width;
    line.resize(column, ' ');
    // The help text wrapped at 96 columns, continued below its start.
    std::string words = row.help;
    line += " ;";
    std::size_t width = line.size();
    for (std::size_t at = 0; at < words.size();) {
      std::size_t end = words.find(' ', at);
      if (end == std::string::npos) end = words.size();
      const std::string word = words.substr(at, end - at);
      if (width + 1 + word.size() > 96 && width > column + 2) {
        text += line + "\n";
        line = std::string(column, ' ') + " ;";
        width = line.size();
      }
      line += " " + word;
      width += 1 + word.size();
      at = end + 1;
    }
    text += line + "\n";
  }
  text +=
      "  [images]\n"
      "  BannerCn   = images/banner-cn.jpg  ; baseline JPEG, 160 x 308\n"
      "  BannerEn   = images/banner-en.jpg  ; baseline JPEG, 160 x 308\n"
      "  HeaderIcon = images/header.bmp     ; BMP 32 x 32, 24 bits per pixel\n"
      "  AppIcon    = images/app.ico        ; with a 32 x 32 image of 256 colours\n"
      "  FileIcon   = images/file.ico       ; with 16 x 16 24-bit and 32 x 32 32-bit images\n"
      "  [package]\n"
      "  Payload  = payload                 ; the folder laid out as the destination folder\n"
      "  Cipher   = Rijndael                ; optional, as stptool pack --cipher\n"
      "  Digest   = SHA256                  ; optional, as stptool pack --digest\n"
      "  CodePage = 1252                    ; optional: the code page the file names must fit\n"
      "\n"
      "Unless the payload has its own Uninst.exe, the generic uninstaller is added to its top\n"
      "folder, with the product's strings and icons and the list of the files it removes.\n"
      "Every input is checked before anything is written; on a failure no output file is left.\n"
      "The setup is read back and its package verified before the command reports success.\n"
      "\n"
      "options:\n"
      "  -o, --output FILE  the setup program to write\n"
      "  --seed N           fixed salt and initialisation vector (reproducible output)\n"
      "  --stub-dir DIR     where setup-stub.exe and uninst-stub.exe are (default: beside "
      "stptool,\n"
      "                     else ../share/tavrel-setup relative to it)\n"
      "  --payload DIR      this folder as the payload instead of the description's\n";
  text += CompressionHelp();
  text +=
      "  --sign CERT.pfx    sign the setup (Authenticode, SHA-256) with the certificate and key "
      "of\n"
      "                     this PKCS#12 file, using osslsigncode (on Windows: from the PATH)\n"
      "  --sign-password-file FILE\n"
      "                     the key's password is the first line of FILE\n"
      "  --list-inputs      write nothing; print the files and folders the description names, one\n"
      "                     a line as KEY, TAB, path (what a build system watches)\n";
  return text;
}

std::string DefaultStubDir() {
  const std::string self = platform::HostExecutablePath();
  if (self.empty()) return ".";
  const fs::path dir = builder::HostPath(self).parent_path();
  std::error_code ec;
  if (fs::exists(dir / builder::kSetupStubName, ec)) return builder::Utf8Of(dir);
  const fs::path shared = dir / ".." / "share" / "tavrel-setup";
  if (fs::exists(shared / builder::kSetupStubName, ec))
    return builder::Utf8Of(shared.lexically_normal());
  return builder::Utf8Of(dir);
}

// --list-inputs: the description's files and folders, for a build system to watch.
int ListInputs(const std::string& description) {
  std::unique_ptr<platform::Os> os = platform::CreateHostOs(1252);
  platform::ScopedOs scope(*os);
  std::string text;
  if (!ReadHostFile(description, &text)) {
    throw std::runtime_error(description +
                             ": cannot be read; expected a product description (UTF-8 INI)");
  }
  std::vector<std::string> problems;
  const builder::ProductDescription d =
      builder::ParseProductDescription(text, description, &problems);
  if (!problems.empty()) {
    for (const std::string& p : problems) std::fprintf(stderr, "stptool build: %s\n", p.c_str());
    return 1;
  }
  for (const auto& [key, path] : builder::InputPaths(d))
    std::printf("%s\t%s\n", key.c_str(), path.c_str());
  return 0;
}

int Run(const std::vector<std::string>& args) {
  std::vector<std::string> positional;
  builder::BuildOptions options;
  SignOptions sign;
  CompressionArgs compression;
  bool list_inputs = false;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string v;
    if (args[i] == "-o" && i + 1 < args.size()) {
      options.output = args[++i];
    } else if (TakeOption(args, i, "output", &v)) {
      options.output = v;
    } else if (TakeOption(args, i, "seed", &v)) {
      char* end = nullptr;
      const unsigned long long seed = std::strtoull(v.c_str(), &end, 10);
      if (v.empty() || *end != '\0' || seed > 0xFFFFFFFFull) {
        throw std::invalid_argument("bad --seed " + v + " (a number from 0 to 4294967295)");
      }
      options.seed = static_cast<std::uint32_t>(seed);
    } else if (TakeOption(args, i, "stub-dir", &v)) {
      options.stub_dir = v;
    } else if (TakeOption(args, i, "payload", &v)) {
      options.payload = v;
    } else if (TakeCompressionOption(args, i, &compression)) {
    } else if (TakeOption(args, i, "sign", &v)) {
      sign.certificate = v;
    } else if (TakeOption(args, i, "sign-password-file", &v)) {
      sign.password_file = v;
    } else if (args[i] == "--list-inputs") {
      list_inputs = true;
    } else if (args[i].rfind("-", 0) == 0) {
      throw std::invalid_argument("unknown or incomplete option " + args[i]);
    } else {
      positional.push_back(args[i]);
    }
  }
  if (positional.size() != 1) throw std::invalid_argument("expected one product description");
  if (list_inputs) return ListInputs(positional[0]);
  package::PackOptions pack;
  ApplyCompression(compression, &pack);
  options.compressor = pack.compressor;
  options.level = pack.level;
  options.jobs = pack.jobs;
  if (options.output.empty()) throw std::invalid_argument("-o SETUP.exe is missing");
  options.description = positional[0];
  if (options.stub_dir.empty()) options.stub_dir = DefaultStubDir();
  if (sign.certificate.empty() && !sign.password_file.empty()) {
    throw std::invalid_argument("--sign-password-file needs --sign");
  }
  // Whether signing can work is known before the package is made.
  if (!sign.certificate.empty()) CheckSigning(sign);

  // The code page only decides how the manifest's bytes read back in the verification; the
  // envelope is ASCII, so any code page reads it alike.
  std::unique_ptr<platform::Os> os = platform::CreateHostOs(1252);
  platform::ScopedOs scope(*os);
  builder::BuildResult result;
  try {
    ProgressLine progress("compressing");
    options.on_progress = [&progress](std::int64_t done, std::int64_t total) {
      progress.Update(done, total);
    };
    result = builder::BuildSetup(options);
  } catch (const builder::BuildProblems& e) {
    for (const std::string& p : e.problems())
      std::fprintf(stderr, "stptool build: %s\n", p.c_str());
    std::fprintf(stderr, "stptool build: %zu problem%s; nothing was written\n", e.problems().size(),
                 e.problems().size() == 1 ? "" : "s");
    return 1;
  }
  if (!sign.certificate.empty()) {
    try {
      SignExecutable(options.output, sign);
    } catch (...) {
      // An unsigned setup asked to be signed is not a result: leave no output file.
      std::error_code ec;
      fs::remove(builder::HostPath(options.output), ec);
      throw;
    }
  }
  std::fprintf(stderr, "built %s: %d files (%lld bytes)%s, %lld bytes, package verified\n",
               options.output.c_str(), result.files, static_cast<long long>(result.payload_bytes),
               result.uninstaller_added ? " with Uninst.exe added" : "",
               static_cast<long long>(result.setup_bytes));
  if (!sign.certificate.empty()) {
    std::fprintf(stderr, "signed %s with %s\n", options.output.c_str(), sign.certificate.c_str());
  }
  return 0;
}

const bool registered = RegisterCommand(
    {"build", "make a product's setup.exe from its description (PRODUCT.ini)", Usage(), Run});

}  // namespace
}  // namespace stptool
