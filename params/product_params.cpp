#include "params/product_params.h"

#include <cstddef>

namespace params {

namespace {

int g_language = kLanguageEnglish;

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

TextView Trim(TextView s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringAsciiCase(TextView a, TextView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// A decimal number: sign, digits with an optional fraction, optional exponent. Sets *nonzero when
// any mantissa digit is not 0 (the exponent cannot make a non-zero mantissa zero).
bool ParseNumber(TextView s, bool* nonzero) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
  std::size_t digits = 0;
  *nonzero = false;
  for (; i < s.size() && IsDigit(s[i]); ++i, ++digits) *nonzero |= s[i] != u'0';
  if (i < s.size() && s[i] == u'.') {
    for (++i; i < s.size() && IsDigit(s[i]); ++i, ++digits) *nonzero |= s[i] != u'0';
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
    std::size_t exp_digits = 0;
    for (; i < s.size() && IsDigit(s[i]); ++i) ++exp_digits;
    if (exp_digits == 0) return false;
  }
  return i == s.size();
}

}  // namespace

Text LoadParamString(std::uint32_t id) {
  return platform::CurrentOs().LoadResString(id, kStringTableLanguage).value_or(Text());
}

ProductParams LoadProductParams() {
  ProductParams p;
  p.WindowClass = LoadParamString(kIdWindowClass);
  p.WindowTitle = LoadParamString(kIdWindowTitle);
  p.WindowTitleCn = LoadParamString(kIdWindowTitleCn);
  p.DisplayNameEn = LoadParamString(kIdDisplayNameEn);
  p.DisplayNameCn = LoadParamString(kIdDisplayNameCn);
  p.Freeware = FreewareFromText(LoadParamString(kIdFreeware));
  p.ExeBaseName = LoadParamString(kIdExeBaseName);
  p.Version = LoadParamString(kIdVersion);
  p.RequiredSpace = LoadParamString(kIdRequiredSpace);
  return p;
}

std::optional<bool> ParseBoolText(TextView text) {
  const TextView s = Trim(text);
  bool nonzero = false;
  if (ParseNumber(s, &nonzero)) return nonzero;
  if (EqualsIgnoringAsciiCase(s, u"true")) return true;
  if (EqualsIgnoringAsciiCase(s, u"false")) return false;
  return std::nullopt;
}

bool FreewareFromText(TextView text) { return ParseBoolText(text).value_or(false); }

Text FreewareText(bool freeware) { return freeware ? u"-1" : u"0"; }

int Language() { return g_language; }
void SetLanguage(int language) { g_language = language; }

}  // namespace params
