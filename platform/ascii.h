// Text rules the product applies in several layers, kept in one place: ASCII letter case (only
// A-Z and a-z fold; every other character compares as it is) and the boolean-text rule.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/os.h"

namespace platform {

constexpr char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c; }
constexpr char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }
constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; }

inline Text AsciiUpper(TextView text) {
  Text out(text);
  for (char16_t& c : out) c = AsciiUpper(c);
  return out;
}

template <class Char>
constexpr bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a,
                                       std::basic_string_view<Char> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}
constexpr bool EqualsIgnoringAsciiCase(TextView a, TextView b) {
  return EqualsIgnoringAsciiCase<char16_t>(a, b);
}
constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return EqualsIgnoringAsciiCase<char>(a, b);
}

// A decimal number (an optional sign, digits with an optional fraction, at least one digit in
// all, an optional exponent), and nothing else: whether it is not zero, which depends on the
// mantissa digits alone, so no conversion to double (and no locale) is involved. nullopt for
// anything that is not such a number.
constexpr std::optional<bool> DecimalIsNonZero(TextView s) {
  auto is_digit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
  std::size_t i = 0;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
  bool any_digit = false;
  bool non_zero = false;
  auto digits = [&] {
    for (; i < s.size() && is_digit(s[i]); ++i) {
      any_digit = true;
      non_zero = non_zero || s[i] != u'0';
    }
  };
  digits();
  if (i < s.size() && s[i] == u'.') {
    ++i;
    digits();
  }
  if (!any_digit) return std::nullopt;
  if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
    const std::size_t start = i;
    while (i < s.size() && is_digit(s[i])) ++i;
    if (i == start) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  return non_zero;
}

// The boolean-text rule: a decimal number is true unless it is zero; otherwise "True" or "False"
// in any letter case. Anything else, surrounding spaces included, is nullopt.
constexpr std::optional<bool> BoolFromText(TextView s) {
  if (const std::optional<bool> number = DecimalIsNonZero(s)) return number;
  if (EqualsIgnoringAsciiCase(s, u"true")) return true;
  if (EqualsIgnoringAsciiCase(s, u"false")) return false;
  return std::nullopt;
}

}  // namespace platform
