// The picture files of a product description: what the setup program and Windows XP's picture
// loader accept, and the icon resources made from .ico files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace builder {

using Bytes = std::vector<std::uint8_t>;

// Why the bytes are not a baseline JPEG of width x height; empty when they are. (XP's picture
// loader decodes baseline JPEG only, not progressive.)
std::string CheckBaselineJpeg(const Bytes& file, int width, int height);

// Why the bytes are not an uncompressed bitmap file of width x height with bits per pixel; empty
// when they are.
std::string CheckBitmap(const Bytes& file, int width, int height, int bits);
// The BITMAP resource of a bitmap file: the file without its 14-byte file header.
Bytes BitmapResource(const Bytes& file);

struct IconImage {
  int width = 0;
  int height = 0;
  int bits = 0;  // bits per pixel of the image itself (a PNG image counts as 0)
  Bytes data;    // the image as the ICON resource holds it
};

// The images of an .ico file; throws platform::EFormatError when it is not one.
std::vector<IconImage> ReadIconFile(const Bytes& file);

// The GROUP_ICON resource for images stored as ICON resources first_id, first_id + 1, ...
Bytes GroupIconResource(const std::vector<IconImage>& images, std::uint16_t first_id);

}  // namespace builder
