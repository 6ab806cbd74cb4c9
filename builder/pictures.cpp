#include "builder/pictures.h"

#include "platform/errors.h"
#include "platform/little_endian.h"

namespace builder {

namespace {

std::string Size(int w, int h) { return std::to_string(w) + " x " + std::to_string(h); }

}  // namespace

std::string CheckBaselineJpeg(const Bytes& f, int width, int height) {
  if (f.size() < 4 || f[0] != 0xFF || f[1] != 0xD8) return "not a JPEG file";
  // Segments follow the start marker; the first frame header (SOFn) tells the coding process
  // and the size.
  std::size_t at = 2;
  while (at + 4 <= f.size()) {
    if (f[at] != 0xFF) return "a damaged JPEG file";
    const std::uint8_t marker = f[at + 1];
    if (marker == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    const std::size_t length = (std::size_t{f[at + 2]} << 8) | f[at + 3];
    if (length < 2 || at + 2 + length > f.size()) return "a damaged JPEG file";
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (marker != 0xC0) {
        return marker == 0xC2 ? "a progressive JPEG (a baseline one is needed)"
                              : "a JPEG that is not baseline";
      }
      if (length < 8) return "a damaged JPEG file";
      const int h = (f[at + 5] << 8) | f[at + 6];
      const int w = (f[at + 7] << 8) | f[at + 8];
      if (w != width || h != height) return "a JPEG of " + Size(w, h) + " pixels";
      return {};
    }
    if (marker == 0xDA || marker == 0xD9) break;  // image data before any frame header
    at += 2 + length;
  }
  return "a JPEG file without a frame header";
}

std::string CheckBitmap(const Bytes& f, int width, int height, int bits) {
  if (f.size() < 14 + 40 || f[0] != 'B' || f[1] != 'M') return "not a BMP file";
  const std::uint8_t* info = f.data() + 14;
  if (platform::ReadLe32(info) < 40) return "a BMP file of an old kind";
  const auto w = static_cast<std::int32_t>(platform::ReadLe32(info + 4));
  const auto h = static_cast<std::int32_t>(platform::ReadLe32(info + 8));
  const int b = platform::ReadLe16(info + 14);
  const std::uint32_t compression = platform::ReadLe32(info + 16);
  if (w != width || (h != height && h != -height) || b != bits) {
    return "a BMP of " + Size(w, h < 0 ? -h : h) + " pixels with " + std::to_string(b) +
           " bits per pixel";
  }
  if (compression != 0) return "a compressed BMP";
  const std::size_t row = (std::size_t(w) * b + 31) / 32 * 4;
  if (platform::ReadLe32(f.data() + 10) + row * height > f.size()) return "a BMP file cut short";
  return {};
}

Bytes BitmapResource(const Bytes& file) { return Bytes(file.begin() + 14, file.end()); }

std::vector<IconImage> ReadIconFile(const Bytes& f) {
  auto bad = [](const char16_t* why) { throw platform::EFormatError(why); };
  if (f.size() < 6 || platform::ReadLe16(f.data()) != 0 || platform::ReadLe16(f.data() + 2) != 1)
    bad(u"not an icon file");
  const int count = platform::ReadLe16(f.data() + 4);
  if (count == 0) bad(u"an icon file without images");
  if (6 + 16 * std::size_t(count) > f.size()) bad(u"an icon file cut short");
  std::vector<IconImage> images;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* e = f.data() + 6 + 16 * i;
    const std::uint32_t size = platform::ReadLe32(e + 8);
    const std::uint32_t offset = platform::ReadLe32(e + 12);
    if (size < 40 || offset > f.size() || size > f.size() - offset) bad(u"an icon file cut short");
    IconImage image;
    image.data.assign(f.begin() + offset, f.begin() + offset + size);
    const std::uint8_t* d = image.data.data();
    if (d[0] == 0x89 && d[1] == 'P' && d[2] == 'N' && d[3] == 'G') {
      // Windows XP cannot show PNG icon images; their size is taken from the directory.
      image.width = e[0] == 0 ? 256 : e[0];
      image.height = e[1] == 0 ? 256 : e[1];
    } else {
      image.width = static_cast<std::int32_t>(platform::ReadLe32(d + 4));
      image.height = static_cast<std::int32_t>(platform::ReadLe32(d + 8)) / 2;  // colour and mask
      image.bits = platform::ReadLe16(d + 14);
    }
    images.push_back(std::move(image));
  }
  return images;
}

Bytes GroupIconResource(const std::vector<IconImage>& images, std::uint16_t first_id) {
  Bytes out;
  platform::AppendLe16(out, 0);
  platform::AppendLe16(out, 1);
  platform::AppendLe16(out, static_cast<std::uint32_t>(images.size()));
  for (std::size_t i = 0; i < images.size(); ++i) {
    const IconImage& im = images[i];
    out.push_back(static_cast<std::uint8_t>(im.width >= 256 ? 0 : im.width));
    out.push_back(static_cast<std::uint8_t>(im.height >= 256 ? 0 : im.height));
    out.push_back(static_cast<std::uint8_t>(im.bits > 0 && im.bits < 8 ? 1 << im.bits : 0));
    out.push_back(0);
    platform::AppendLe16(out, 1);
    platform::AppendLe16(out, static_cast<std::uint32_t>(im.bits));
    platform::AppendLe32(out, static_cast<std::uint32_t>(im.data.size()));
    platform::AppendLe16(out, static_cast<std::uint32_t>(first_id + i));
  }
  return out;
}

}  // namespace builder
