#include "params/product_params.h"

#include <cstddef>

#include "platform/ascii.h"

namespace params {

namespace {

int g_language = kLanguageEnglish;

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t'; }

TextView Trim(TextView s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
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
  return platform::BoolFromText(Trim(text));
}

bool FreewareFromText(TextView text) { return ParseBoolText(text).value_or(false); }

Text FreewareText(bool freeware) { return freeware ? u"-1" : u"0"; }

int Language() { return g_language; }
void SetLanguage(int language) { g_language = language; }

}  // namespace params
