// The product description that `stptool build` reads: a UTF-8 INI file.
//
//   [product]
//   ...                       ; the string-table parameters: params::kParams lists them
//   [images]
//   BannerCn   = images/banner-cn.jpg   ; IMAGELEFT0, baseline JPEG 160 x 308
//   BannerEn   = images/banner-en.jpg   ; IMAGELEFT2, baseline JPEG 160 x 308
//   HeaderIcon = images/header.bmp      ; IMAGEICON, BMP 32 x 32, 24 bits per pixel
//   AppIcon    = images/app.ico         ; APPICON, with a 32 x 32 image of 256 colours
//   FileIcon   = images/file.ico        ; MAINICON, with 16 x 16 24-bit and 32 x 32 32-bit images
//   [package]
//   Payload  = payload                  ; the folder laid out as the destination folder
//   Cipher   = Rijndael                 ; optional, as stptool pack --cipher
//   Digest   = SHA256                   ; optional, as stptool pack --digest
//   CodePage = 1252                     ; optional: the ANSI code page the file names must fit
//
// Section and key names match in any letter case. A ";" at the start of a line, or after a space
// or tab, starts a comment; values are trimmed. Paths are relative to the description's folder.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "params/product_params.h"
#include "platform/os.h"

namespace builder {

using platform::Text;
using platform::TextView;

struct ProductDescription {
  // The string-table parameters (params::kParams): the values given, the defaults of the others.
  params::ProductParams product;
  std::map<std::uint32_t, int> given;  // id -> line of the description, for the keys it gives
  // The files of the file parameters (the licences), paths as below; their text is read and
  // checked by the builder (LicenseText) into product.
  std::map<std::uint32_t, std::string> files;
  // [images] and [package]: paths on this host, the description's folder joined with the value
  // (so messages name them the way the user wrote them)
  std::string banner_cn;
  std::string banner_en;
  std::string header_icon;
  std::string app_icon;
  std::string file_icon;
  std::string payload;
  int cipher = 5;  // Rijndael
  int digest = 3;  // SHA-256
  std::uint32_t code_page = 1252;
};

// Parses the text of the description file named path (as the user named it). Every problem of
// the text itself (syntax, unknown or missing sections and keys, values of the wrong form) is
// appended to problems as one sentence that begins with "path:line:" or "path:".
// platform::CurrentOs() must be set: it tells which names the code page can write.
ProductDescription ParseProductDescription(std::string_view text, const std::string& path,
                                           std::vector<std::string>* problems);

// The files and folders the description names, as (key, host path) pairs: what a build system
// watches. Payload comes first.
std::vector<std::pair<std::string, std::string>> InputPaths(const ProductDescription& d);

// Why a publisher's name, web address or folder cannot be used; empty when it can.
std::string CheckPublisherName(TextView name);
std::string CheckPublisherUrl(TextView url);
std::string CheckPublisherFolder(TextView folder, std::uint32_t code_page);

// Why a display name cannot name a shortcut file and an uninstall registry key; empty when it can.
std::string CheckDisplayName(TextView name);
// Why a text cannot be a file name (a last path component) on Windows; empty when it can.
std::string CheckFileName(TextView name);

}  // namespace builder
