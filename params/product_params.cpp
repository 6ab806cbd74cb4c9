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
  for (const ParamRow& row : kParams) {
    std::optional<Text> text = platform::CurrentOs().LoadResString(row.id, kStringTableLanguage);
    // A string table has no absent string within a block of 16: an id the builder left out reads
    // as empty there. Every parameter with a default needs a value, so empty means the default.
    if ((!text || text->empty()) && row.default_value) text = Text(row.default_value);
    if (row.flag) {
      p.*row.flag = FreewareFromText(text.value_or(Text()));
    } else {
      p.*row.text = text.value_or(Text());
    }
  }
  return p;
}

const ParamRow* FindParam(std::uint32_t id) {
  for (const ParamRow& row : kParams) {
    if (row.id == id) return &row;
  }
  return nullptr;
}

Text StoredText(const ParamRow& row, const ProductParams& p) {
  return row.flag ? FreewareText(p.*row.flag) : p.*row.text;
}

std::optional<bool> ParseBoolText(TextView text) { return platform::BoolFromText(Trim(text)); }

bool FreewareFromText(TextView text) { return ParseBoolText(text).value_or(false); }

Text FreewareText(bool freeware) { return freeware ? u"-1" : u"0"; }

int Language() { return g_language; }
void SetLanguage(int language) { g_language = language; }

}  // namespace params
