// Writes the committed seed inputs of the fuzz targets: make_seeds DIR writes DIR/<target>/*.
// Built with the targets (fuzz/run.sh); rerun it when an input layout of a target changes:
//   build/fuzz/fuzz/make_seeds fuzz/seeds
//
// - package_fuzz: small valid packages of every tail shape, across every cipher and several
//   digests (mode byte 0), and the same manifests as plain text plus members (mode byte 1);
// - envelope_fuzz: an envelope of every cipher, with and without the password, as ANSI bytes and
//   as UTF-16LE, and round-trip inputs;
// - data_table_fuzz: table texts with and without headers, escapes, flags and numbers;
// - deflate_check_fuzz: raw deflate bodies (mode byte 0): the hand-made streams of the package
//   tests and zlib's output of every strategy; choices for built bodies (mode byte 1);
// - product_description_fuzz: a full description, one in other letter cases with a BOM and CRLF,
//   and one with a problem on every line.
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "crypt/catalogue.h"
#include "crypt/envelope.h"
#include "package/package_format.h"
#include "platform/errors.h"
#include "platform/sim/sim_windows.h"
#include "platform/text.h"
#include "tests/package/deflate_craft.h"

namespace {

namespace fs = std::filesystem;
using platform::Text;

// Must match kPassword in envelope_fuzz.cpp.
constexpr char16_t kPassword[] = u"pa\u00DFword";

void WriteSeed(const fs::path& dir, const std::string& name, const std::string& bytes) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << bytes;
}

std::string Utf16Bytes(const Text& text) {
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

std::string ReadAll(platform::Os& os, const Text& path) {
  auto file = os.OpenFileForRead(path);
  std::string bytes(static_cast<size_t>(file->Size()), '\0');
  package::ReadExact(*file, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  return bytes;
}

void WriteFile(platform::Os& os, const Text& path, const std::string& bytes) {
  auto file = os.CreateFileForWrite(path);
  if (!file || !file->Write(bytes.data(), static_cast<std::uint32_t>(bytes.size()))) {
    throw platform::EWriteError(u"cannot write " + path);
  }
}

struct Source {
  package::ManifestRow row;
  std::string content;
};

// The rows of the seed packages: the target folder, a subfolder, a flat row, a name with an
// escaped comma and bar, a system row whose file the fuzz drive already has and one it lacks.
std::vector<Source> Sources() {
  std::string repeated;
  for (int i = 0; i < 64; ++i) repeated += "line " + std::to_string(i) + "\r\n";
  return {
      {{u"", u"readme.txt", 0, 0, false}, "Read me first.\r\n"},
      {{u"sub\\", u"data.bin", 0, 0, false}, repeated},
      {{u"sub\\", u"flat.txt", 0, 0, true}, "flat"},
      {{u"sub\\deeper\\", u"a,b|c.txt", 0, 0, false}, ""},
      {{u"$System$\\", u"exists.dll", 0, 0, false}, "MZ old"},
      {{u"$Third$\\", u"third.dll", 0, 0, false}, "MZ third"},
  };
}

void PackageSeeds(platform::SimWindows& os, const fs::path& dir) {
  const std::vector<Source> sources = Sources();
  for (size_t i = 0; i < sources.size(); ++i) {
    WriteFile(os, u"R:\\src" + platform::Utf8ToText(std::to_string(i)), sources[i].content);
  }
  struct Pair {
    int cipher;
    int digest;
  };
  // Every cipher once, the digests in turn, the tail shapes in turn.
  const Pair pairs[] = {{5, 3}, {6, 1}, {0, 0}, {1, 2}, {2, 4}, {3, 1}, {4, 2}, {7, 3}, {8, 4}};
  int n = 0;
  for (const Pair& pair : pairs) {
    package::PackOptions options;
    options.cipher = pair.cipher;
    options.digest = pair.digest;
    options.tail = package::kAllTailShapes[n % 4];
    // Fewer rows in some, so small inputs exist as well.
    const size_t rows = n % 3 == 0 ? sources.size() : 1 + n % 3;
    std::vector<package::ManifestRow> written;
    {
      package::PackageWriter writer(os.CreateFileForWrite(u"R:\\seed.stp"), options);
      for (size_t i = 0; i < rows; ++i) {
        auto source = os.OpenFileForRead(u"R:\\src" + platform::Utf8ToText(std::to_string(i)));
        writer.AddFile(sources[i].row, *source);
      }
      writer.Finish();
      written = writer.Rows();
    }
    const std::string bytes = ReadAll(os, u"R:\\seed.stp");
    const std::string name = "c" + std::to_string(pair.cipher) + "-d" +
                             std::to_string(pair.digest) + "-tail" +
                             std::to_string(package::TailLength(options.tail));
    WriteSeed(dir, name + ".pkg", std::string(1, '\0') + bytes);

    // Mode 1: the same rows as plain manifest text, then the members.
    std::int64_t members = 0;
    for (const auto& row : written) members += row.compressed;
    const Text plain = package::FormatManifestText(written, options.name);
    WriteSeed(dir, name + ".rows",
              std::string(1, '\1') + platform::TextToUtf8(plain) + '\0' +
                  bytes.substr(0, static_cast<size_t>(members)));
    ++n;
  }
  // A package without rows, and one whose length field says it holds nothing.
  {
    package::PackageWriter writer(os.CreateFileForWrite(u"R:\\empty.stp"), {});
    writer.Finish();
  }
  WriteSeed(dir, "empty.pkg", std::string(1, '\0') + ReadAll(os, u"R:\\empty.stp"));
  WriteSeed(dir, "nothing.pkg", std::string("\0\xFF\xFF\xFF\x7F\x0A\x14\x02", 8));
}

void EnvelopeSeeds(platform::SimWindows& os, const fs::path& dir) {
  const Text plain = u"#Package,2#|readme.txt,120,300|sub\\,data\u001A1.bin,7,7,-1";
  for (int cipher = 0; cipher < tvcrypt::kCipherCount; ++cipher) {
    const int digest = cipher % tvcrypt::kDigestCount;
    const bool with_password = cipher % 2 == 1;
    const Text envelope =
        tvcrypt::EncryptEnvelope(plain, cipher, digest, with_password ? kPassword : u"");
    const std::string name = "c" + std::to_string(cipher) + "-d" + std::to_string(digest);
    // Options: bit 0 password, bit 3 UTF-16LE text.
    const char ansi_options = with_password ? 1 : 0;
    WriteSeed(dir, name + ".ansi", ansi_options + os.WideToAnsi(envelope));
    WriteSeed(dir, name + ".utf16", static_cast<char>(ansi_options | 8) + Utf16Bytes(envelope));
  }
  // Round trips (bit 2): cipher, digest, plain text.
  WriteSeed(dir, "roundtrip-c5-d3", std::string("\x04\x05\x03", 3) + Utf16Bytes(plain));
  WriteSeed(dir, "roundtrip-c6-d0-password",
            std::string("\x05\x06\x00", 3) + Utf16Bytes(Text(u"\u4E2D\u6587,|\u0000end", 9)));
}

void TableSeeds(const fs::path& dir) {
  // Options byte: bits 0-1 pick the converted columns, bit 2 the I/O mode, bit 3 keeps line
  // breaks in column 1.
  const std::pair<char, Text> tables[] = {
      {1, u"#Package,3#|readme.txt,120,300|sub\\,data\u001A1.bin,7,7,-1|$System$\\,x.dll,1,1"},
      {0, u"a,b,c|d,e,f|g,h,i"},
      {3, u"#h1,h2,h3#1,2,3|0x1F,-5,1e3|True,false,-1"},
      {2, u"#only header#"},
      {1, u"#not a header|a\u001Bb,c\u001Ad|,,|"},
      {5, u"line\r\nbreak,cell\n|x\u0000after nul"},
      {9, u"#,#|,\u001A\u001B,|"},
      {6, u"$Third$\\,a.dll,2147483647,-2147483648|$System$,b,00,0.5"},
  };
  int n = 0;
  for (const auto& [options, text] : tables) {
    WriteSeed(dir, "table" + std::to_string(n++), options + Utf16Bytes(text));
  }
}

void DescriptionSeeds(const fs::path& dir) {
  const std::string full =
      "; a product\n"
      "[product]\n"
      "WindowClass   = TavrelDemoWindow   ; class of the main window\n"
      "WindowTitle   = Tavrel Demo\n"
      "WindowTitleCn = \xE5\xA1\x94\xE7\xBB\xB4\n"
      "DisplayNameEn = Tavrel Demo\n"
      "DisplayNameCn = \xE5\xA1\x94\xE7\xBB\xB4\n"
      "Freeware      = true\n"
      "ExeBaseName   = TavrelDemo\n"
      "Version       = 1.0\n"
      "RequiredSpace = 1.2 MB\n"
      "\n"
      "[images]\n"
      "BannerCn   = images/imageleft0.jpg\n"
      "BannerEn   = images/imageleft2.jpg\n"
      "HeaderIcon = images/imageicon.bmp\n"
      "AppIcon    = images/appicon.ico\n"
      "FileIcon   = images/mainicon.ico\n"
      "\n"
      "[package]\n"
      "Payload  = payload\n"
      "Cipher   = Rijndael\n"
      "Digest   = SHA256\n"
      "CodePage = 936\n";
  WriteSeed(dir, "full.ini", full);
  WriteSeed(dir, "bom-crlf.ini",
            "\xEF\xBB\xBF[PRODUCT]\r\nwindowclass=W\r\nWindowTitle=T;not a comment\r\n"
            "windowtitlecn=T\r\nDisplayNameEn=A.B\r\nDisplayNameCn=C\r\nFreeware=FALSE\r\n"
            "ExeBaseName=app\r\nVersion=2\r\n[Images]\r\nBannerCn=a\r\nBannerEn=b\r\n"
            "HeaderIcon=c\r\nAppIcon=d\r\nFileIcon=e\r\n[Package]\r\nPayload=p\r\n"
            "Cipher=6\r\nDigest=md5\r\n");
  WriteSeed(dir, "problems.ini",
            "Key = before any section\n[product\n[other]\nx=y\n[product]\nWindowClass\n"
            "DisplayNameEn = con.txt\nDisplayNameCn = a|b \nExeBaseName = app.exe\n"
            "Freeware = maybe\nWindowClass = twice\n[package]\nCipher = Rot13\n"
            "Digest = 9\nCodePage = 0x4E4\n\xFF\xFE not UTF-8\n");
}

void DeflateSeeds(const fs::path& dir) {
  // The zlib streams without their header and checksum, after the mode byte.
  const auto body = [](const std::string& stream) {
    return std::string(1, '\0') + stream.substr(2, stream.size() - 6);
  };
  int n = 0;
  for (const pkgtest::CraftedStream& crafted : pkgtest::CraftedStreams()) {
    if (crafted.stream.size() < 4096) {
      WriteSeed(dir, "crafted" + std::to_string(n++), body(crafted.stream));
    }
  }
  std::string text;
  for (int i = 0; text.size() < 3000; ++i) text += "member " + std::to_string(i % 37) + " row\r\n";
  text += std::string(300, 'a');
  for (int strategy : {Z_DEFAULT_STRATEGY, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
    for (int level : {0, 1, 9}) {
      if (level == 0 && strategy != Z_DEFAULT_STRATEGY) continue;
      z_stream zs{};
      if (deflateInit2(&zs, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) continue;
      std::string out(deflateBound(&zs, static_cast<uLong>(text.size())), '\0');
      zs.next_in = reinterpret_cast<Bytef*>(text.data());
      zs.avail_in = static_cast<uInt>(text.size());
      zs.next_out = reinterpret_cast<Bytef*>(out.data());
      zs.avail_out = static_cast<uInt>(out.size());
      deflate(&zs, Z_FINISH);
      out.resize(zs.total_out);
      deflateEnd(&zs);
      WriteSeed(dir, "zlib-s" + std::to_string(strategy) + "-l" + std::to_string(level),
                std::string(1, '\0') + out);
    }
  }
  for (int i = 0; i < 4; ++i) {
    std::string choices(1, '\1');
    for (int j = 0; j < 600; ++j) choices += static_cast<char>((j * (37 + 2 * i) + i) % 251);
    WriteSeed(dir, "built" + std::to_string(i), choices);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_seeds DIR\n";
    return 2;
  }
  const fs::path dir = argv[1];
  platform::SimWindows os;
  os.MapMemoryDrive(u'R');
  platform::SetCurrentOs(&os);
  try {
    PackageSeeds(os, dir / "package_fuzz");
    EnvelopeSeeds(os, dir / "envelope_fuzz");
    TableSeeds(dir / "data_table_fuzz");
    DescriptionSeeds(dir / "product_description_fuzz");
    DeflateSeeds(dir / "deflate_check_fuzz");
  } catch (const platform::Exception& e) {
    std::cerr << "make_seeds: " << platform::TextToUtf8(e.Message()) << "\n";
    return 1;
  }
  return 0;
}
