// The code pages of the simulated Windows: the ANSI one (1252 from a table, others through
// iconv) and any other one asked for by number, through iconv.
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
  // Converts a complete text from its initial state; false when the converter rejects any of it.
  bool Convert(const char* in, size_t in_size, std::string* out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    out->assign(in_size * 4 + 16, '\0');
    char* src = const_cast<char*>(in);
    char* dst = out->data();
    size_t in_left = in_size;
    size_t out_left = out->size();
    if (iconv(cd_, &src, &in_left, &dst, &out_left) == static_cast<size_t>(-1) || in_left != 0) {
      return false;
    }
    // Flush any shift state.
    if (iconv(cd_, nullptr, nullptr, &dst, &out_left) == static_cast<size_t>(-1)) return false;
    out->resize(out->size() - out_left);
    return true;
  }

 private:
  iconv_t cd_;
};

namespace {

// The name iconv knows a Windows code page by: "CP" and its number, "GBK" for 936 where there is
// no CP936, UTF-8 for 65001.
std::string IconvName(std::uint32_t code_page) {
  if (code_page == 65001) return "UTF-8";
  const std::string name = "CP" + std::to_string(code_page);
  if (code_page == 936 && !Iconv("UTF-16LE", name.c_str()).ok()) return "GBK";
  return name;
}

// The unit at byte at of UTF-16LE bytes.
char16_t UnitAt(const std::string& le, size_t at) {
  return static_cast<char16_t>(static_cast<std::uint8_t>(le[at]) |
                               (static_cast<std::uint8_t>(le[at + 1]) << 8));
}

// The units of a text as UTF-16LE bytes.
void AppendLe(const char16_t* units, size_t count, std::string* out) {
  for (size_t k = 0; k < count; ++k) {
    out->push_back(static_cast<char>(units[k] & 0xFF));
    out->push_back(static_cast<char>(units[k] >> 8));
  }
}

// Units 1 or 2: a surrogate pair is one code point; 0 for an unpaired surrogate.
size_t CodePointUnits(TextView text, size_t i) {
  const char16_t c = text[i];
  if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
      text[i + 1] <= 0xDFFF) {
    return 2;
  }
  return c >= 0xD800 && c <= 0xDFFF ? 0 : 1;
}

}  // namespace

}  // namespace sim_detail

using sim_detail::Iconv;

SimWindows::CodePage::CodePage(std::uint32_t code_page) {
  if (code_page == 1252) {
    BuildSingleByteTable("CP1252");
    return;
  }
  const std::string name = sim_detail::IconvName(code_page);
  to_wide_ = std::make_unique<Iconv>("UTF-16LE", name.c_str());
  from_wide_ = std::make_unique<Iconv>(name.c_str(), "UTF-16LE");
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
    const size_t units = sim_detail::CodePointUnits(text, i);
    if (units == 0) {
      out.push_back('?');
      continue;
    }
    std::string in, bytes;
    sim_detail::AppendLe(text.data() + i, units, &in);
    if (from_wide_->Convert(in.data(), in.size(), &bytes) && !bytes.empty()) {
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
      out.push_back(sim_detail::UnitAt(wide, 0));
      continue;
    }
    if (i + 1 < bytes.size() && to_wide_->Convert(bytes.data() + i, 2, &wide) &&
        (wide.size() == 2 || wide.size() == 4)) {
      for (size_t k = 0; k < wide.size(); k += 2) out.push_back(sim_detail::UnitAt(wide, k));
      ++i;
      continue;
    }
    out.push_back(u'?');
  }
  return out;
}

void SimWindows::CodePage::BuildSingleByteTable(const char* name) {
  single_byte_ = true;
  Iconv decode("UTF-16LE", name);
  for (int b = 0; b < 256; ++b) {
    table_[b] = static_cast<char16_t>(b);  // the bytes CP1252 leaves undefined stay C1 controls
    char in = static_cast<char>(b);
    std::string wide;
    if (b >= 0x80 && decode.ok() && decode.Convert(&in, 1, &wide) && wide.size() == 2) {
      table_[b] = sim_detail::UnitAt(wide, 0);
    }
    if (b >= 0x80) reverse_.emplace(table_[b], static_cast<std::uint8_t>(b));
  }
}

std::string SimWindows::WideToAnsi(TextView text) { return ansi_->ToAnsi(text); }
Text SimWindows::AnsiToWide(std::string_view bytes) { return ansi_->ToWide(bytes); }

bool SimWindows::IsValidCodePage(std::uint32_t code_page) {
  const std::string name = sim_detail::IconvName(code_page);
  return Iconv("UTF-16LE", name.c_str()).ok() && Iconv(name.c_str(), "UTF-16LE").ok();
}

std::string SimWindows::WideToCodePage(std::uint32_t code_page, TextView text, bool* used_default) {
  *used_default = false;
  Iconv from_wide(sim_detail::IconvName(code_page).c_str(), "UTF-16LE");
  if (!from_wide.ok()) {
    Fail(kErrorInvalidParameter);
    return {};
  }
  // One code point at a time, so an unmappable one becomes exactly one "?".
  std::string out;
  for (size_t i = 0; i < text.size();) {
    const size_t units = sim_detail::CodePointUnits(text, i);
    std::string in, bytes;
    sim_detail::AppendLe(text.data() + i, units, &in);
    if (units > 0 && from_wide.Convert(in.data(), in.size(), &bytes) && !bytes.empty()) {
      out += bytes;
    } else {
      out.push_back('?');
      *used_default = true;
    }
    i += units > 0 ? units : 1;
  }
  return out;
}

std::optional<Text> SimWindows::CodePageToWide(std::uint32_t code_page, std::string_view bytes) {
  Iconv to_wide("UTF-16LE", sim_detail::IconvName(code_page).c_str());
  if (!to_wide.ok()) {
    Fail(kErrorInvalidParameter);
    return std::nullopt;
  }
  std::string wide;
  if (!to_wide.Convert(bytes.data(), bytes.size(), &wide)) {
    Fail(kErrorNoUnicodeTranslation);
    return std::nullopt;
  }
  Text out;
  for (size_t k = 0; k + 1 < wide.size(); k += 2) out.push_back(sim_detail::UnitAt(wide, k));
  return out;
}

}  // namespace platform
