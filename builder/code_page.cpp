#include "builder/code_page.h"

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace builder {

#ifdef _WIN32

std::optional<bool> CodePageHolds(std::uint32_t code_page, platform::TextView text) {
  if (code_page == CP_UTF8) return true;
  if (!::IsValidCodePage(code_page)) return std::nullopt;
  if (text.empty()) return true;
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int n = static_cast<int>(text.size());
  BOOL used_default = FALSE;
  const int bytes = ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide, n, nullptr, 0,
                                          nullptr, &used_default);
  if (bytes <= 0) return false;
  std::vector<char> ansi(bytes);
  ::WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide, n, ansi.data(), bytes, nullptr,
                        &used_default);
  if (used_default) return false;
  std::vector<wchar_t> back(text.size() + 1);
  const int chars = ::MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, ansi.data(), bytes,
                                          back.data(), static_cast<int>(back.size()));
  return chars == n && std::equal(back.begin(), back.begin() + n, wide);
}

#else

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  bool Run(std::string in, std::string* out) {
    out->assign(in.size() * 4 + 16, '\0');
    char* src = in.data();
    char* dst = out->data();
    size_t in_left = in.size();
    size_t out_left = out->size();
    if (iconv(cd_, &src, &in_left, &dst, &out_left) == static_cast<size_t>(-1) || in_left != 0) {
      return false;
    }
    out->resize(out->size() - out_left);
    return true;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::optional<bool> CodePageHolds(std::uint32_t code_page, platform::TextView text) {
  if (code_page == 65001) return true;
  std::string name = "CP" + std::to_string(code_page);
  Converter probe(name.c_str(), "UTF-16LE");
  if (!probe.ok() && code_page == 936) name = "GBK";
  Converter to(name.c_str(), "UTF-16LE");
  Converter from("UTF-16LE", name.c_str());
  if (!to.ok() || !from.ok()) return std::nullopt;
  std::string utf16;
  for (char16_t c : text) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  std::string ansi, back;
  if (!to.Run(utf16, &ansi) || !from.Run(ansi, &back)) return false;
  return back == utf16;
}

#endif

}  // namespace builder
