// The ANSI code page of the simulated Windows: 1252 from a table, others through iconv.
#include <iconv.h>

#include <memory>
#include <string>

#include "platform/sim/sim_internal.h"
#include "platform/sim/sim_windows.h"

namespace platform {
namespace sim_detail {

// An iconv descriptor that closes itself.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Converts one complete unit; false when the converter rejects it.
  bool Convert(const char* in, size_t in_size, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char buffer[16];
    char* src = const_cast<char*>(in);
    char* dst = buffer;
    size_t in_left = in_size;
    size_t out_left = sizeof(buffer);
    if (iconv(cd_, &src, &in_left, &dst, &out_left) == static_cast<size_t>(-1) || in_left != 0) {
      return false;
    }
    // Flush any shift state.
    if (iconv(cd_, nullptr, nullptr, &dst, &out_left) == static_cast<size_t>(-1)) return false;
    out->assign(buffer, dst);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace sim_detail

using sim_detail::Iconv;

SimWindows::CodePage::CodePage(std::uint32_t code_page) {
  if (code_page == 1252) {
    BuildSingleByteTable("CP1252");
    return;
  }
  std::string name = "CP" + std::to_string(code_page);
  to_wide_ = std::make_unique<Iconv>("UTF-16LE", name.c_str());
  if (!to_wide_->ok() && code_page == 936) to_wide_ = std::make_unique<Iconv>("UTF-16LE", "GBK");
  from_wide_ = std::make_unique<Iconv>(name.c_str(), "UTF-16LE");
  if (!from_wide_->ok() && code_page == 936) {
    from_wide_ = std::make_unique<Iconv>("GBK", "UTF-16LE");
  }
  if (!to_wide_->ok() || !from_wide_->ok()) {
    // An unknown code page behaves as 1252 rather than failing every conversion.
    to_wide_.reset();
    from_wide_.reset();
    BuildSingleByteTable("CP1252");
  }
}

SimWindows::CodePage::~CodePage() = default;

std::string SimWindows::CodePage::ToAnsi(TextView text) {
  // ASCII is the same in every ANSI code page: an ASCII prefix is copied unit for byte.
  size_t ascii = 0;
  while (ascii < text.size() && text[ascii] < 0x80) ++ascii;
  std::string out(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(ascii));
  if (ascii == text.size()) return out;
  out.reserve(text.size());
  for (size_t i = ascii; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    if (single_byte_) {
      auto it = reverse_.find(c);
      out.push_back(it == reverse_.end() ? '?' : static_cast<char>(it->second));
      continue;
    }
    // One code point at a time, so an unmappable one becomes exactly one "?".
    size_t units = 1;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      units = 2;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out.push_back('?');
      continue;
    }
    char in[4];
    for (size_t k = 0; k < units; ++k) {
      in[2 * k] = static_cast<char>(text[i + k] & 0xFF);
      in[2 * k + 1] = static_cast<char>(text[i + k] >> 8);
    }
    std::string bytes;
    if (from_wide_->Convert(in, 2 * units, &bytes) && !bytes.empty()) {
      out += bytes;
    } else {
      out.push_back('?');
    }
    i += units - 1;
  }
  return out;
}

Text SimWindows::CodePage::ToWide(std::string_view bytes) {
  size_t ascii = 0;
  while (ascii < bytes.size() && static_cast<std::uint8_t>(bytes[ascii]) < 0x80) ++ascii;
  Text out(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(ascii));
  if (ascii == bytes.size()) return out;
  out.reserve(bytes.size());
  for (size_t i = ascii; i < bytes.size(); ++i) {
    auto b = static_cast<std::uint8_t>(bytes[i]);
    if (b < 0x80) {
      out.push_back(b);
      continue;
    }
    if (single_byte_) {
      out.push_back(table_[b]);
      continue;
    }
    // A single high byte first (936 has the euro sign at 0x80), then a lead and trail pair.
    std::string wide;
    if (to_wide_->Convert(bytes.data() + i, 1, &wide) && wide.size() == 2) {
      out.push_back(Unit(wide, 0));
      continue;
    }
    if (i + 1 < bytes.size() && to_wide_->Convert(bytes.data() + i, 2, &wide) &&
        (wide.size() == 2 || wide.size() == 4)) {
      for (size_t k = 0; k < wide.size(); k += 2) out.push_back(Unit(wide, k));
      ++i;
      continue;
    }
    out.push_back(u'?');
  }
  return out;
}

char16_t SimWindows::CodePage::Unit(const std::string& le, size_t at) {
  return static_cast<char16_t>(static_cast<std::uint8_t>(le[at]) |
                               (static_cast<std::uint8_t>(le[at + 1]) << 8));
}

void SimWindows::CodePage::BuildSingleByteTable(const char* name) {
  single_byte_ = true;
  Iconv decode("UTF-16LE", name);
  for (int b = 0; b < 256; ++b) {
    table_[b] = static_cast<char16_t>(b);  // the bytes CP1252 leaves undefined stay C1 controls
    char in = static_cast<char>(b);
    std::string wide;
    if (b >= 0x80 && decode.ok() && decode.Convert(&in, 1, &wide) && wide.size() == 2) {
      table_[b] = Unit(wide, 0);
    }
    if (b >= 0x80) reverse_.emplace(table_[b], static_cast<std::uint8_t>(b));
  }
}

std::string SimWindows::WideToAnsi(TextView text) { return ansi_->ToAnsi(text); }
Text SimWindows::AnsiToWide(std::string_view bytes) { return ansi_->ToWide(bytes); }

}  // namespace platform
