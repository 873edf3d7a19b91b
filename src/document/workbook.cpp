#include "document/workbook.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>

namespace qx {

namespace {

enum class Container { kZip, kCompound, kOther };

Container Sniff(std::span<const unsigned char> head) {
  static constexpr unsigned char kZip[] = {'P', 'K', 3, 4};
  static constexpr unsigned char kCompound[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  if (head.size() >= sizeof kZip && std::memcmp(head.data(), kZip, sizeof kZip) == 0) return Container::kZip;
  if (head.size() >= sizeof kCompound && std::memcmp(head.data(), kCompound, sizeof kCompound) == 0)
    return Container::kCompound;
  return Container::kOther;
}

constexpr std::size_t kMaxFormatCode = 1024;  // bytes: 255 characters of up to 4 bytes

// ---- Decimal digits ---------------------------------------------------------------------

// A positive number as decimal digits: digits[0] stands at 10^exp. No trailing zeros;
// empty digits mean zero.
struct Digits {
  std::string digits;
  int exp = 0;
};

// `precision` significant digits after the first (-1: the shortest that reads back).
Digits ScientificDigits(double a, int precision) {
  char buf[64];
  const auto r = precision < 0 ? std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific)
                               : std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, precision);
  Digits d;
  const char* p = buf;
  for (; p < r.ptr && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') d.digits += *p;
  if (p < r.ptr) {
    ++p;
    if (p < r.ptr && *p == '+') ++p;
    std::from_chars(p, r.ptr, d.exp);
  }
  while (!d.digits.empty() && d.digits.back() == '0') d.digits.pop_back();
  if (d.digits.empty()) d.exp = 0;
  return d;
}

// Excel keeps 15 significant digits: the shortest form that reads back when it has at
// most 15 digits, otherwise the 15-digit rounding.
Digits Significant15(double a) {
  Digits d = ScientificDigits(a, -1);
  if (d.digits.size() <= 15) return d;
  return ScientificDigits(a, 14);
}

std::string PlainText(const Digits& d) {
  if (d.digits.empty()) return "0";
  if (d.exp < 0) return "0." + std::string(static_cast<std::size_t>(-d.exp - 1), '0') + d.digits;
  const std::size_t n_int = static_cast<std::size_t>(d.exp) + 1;
  std::string s = d.digits.substr(0, std::min(n_int, d.digits.size()));
  if (s.size() < n_int) s.append(n_int - s.size(), '0');
  if (d.digits.size() > n_int) s += "." + d.digits.substr(n_int);
  return s;
}

// Rounds half away from zero to `ndec` decimals: the integer digits (no leading zeros,
// empty for zero) and exactly `ndec` fraction digits.
void RoundFixed(const Digits& d, int ndec, std::string& int_part, std::string& frac) {
  const int n_int = std::max(d.exp + 1, 0);
  auto digit_at = [&](int power) {
    const int i = d.exp - power;
    return (i >= 0 && i < static_cast<int>(d.digits.size())) ? d.digits[static_cast<std::size_t>(i)] : '0';
  };
  std::string s;
  for (int k = 0; k < n_int + ndec; ++k) s += digit_at(n_int - 1 - k);
  std::size_t split = static_cast<std::size_t>(n_int);
  if (!d.digits.empty() && digit_at(-ndec - 1) >= '5') {
    std::size_t i = s.size();
    while (i > 0 && s[i - 1] == '9') s[--i] = '0';
    if (i == 0) {
      s.insert(s.begin(), '1');
      ++split;
    } else {
      ++s[i - 1];
    }
  }
  int_part = s.substr(0, split);
  frac = s.substr(split);
  const std::size_t nz = int_part.find_first_not_of('0');
  int_part.erase(0, nz == std::string::npos ? int_part.size() : nz);
}

// ---- Format codes -----------------------------------------------------------------------

std::size_t Utf8Len(unsigned char c) { return c < 0xC0 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4; }

// The whole UTF-8 character at s[i].
std::string_view CharAt(std::string_view s, std::size_t i) { return s.substr(i, Utf8Len(static_cast<unsigned char>(s[i]))); }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithNoCase(std::string_view s, std::size_t i, std::string_view word) {
  if (s.size() - i < word.size()) return false;
  for (std::size_t k = 0; k < word.size(); ++k)
    if (Lower(s[i + k]) != Lower(word[k])) return false;
  return true;
}

// Index just past the element of the code starting at i that a section split or a scan
// must step over as one piece: a quoted text, an escaped or padding character, a [tag].
std::size_t SkipPiece(std::string_view s, std::size_t i) {
  const char c = s[i];
  if (c == '"') {
    const std::size_t e = s.find('"', i + 1);
    return e == std::string_view::npos ? s.size() : e + 1;
  }
  if ((c == '\\' || c == '_' || c == '*') && i + 1 < s.size()) return i + 1 + CharAt(s, i + 1).size();
  if (c == '[') {
    const std::size_t e = s.find(']', i + 1);
    return e == std::string_view::npos ? s.size() : e + 1;
  }
  return i + CharAt(s, i).size();
}

std::vector<std::string_view> SplitSections(std::string_view code) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < code.size();) {
    if (code[i] == ';') {
      out.push_back(code.substr(start, i - start));
      start = ++i;
    } else {
      i = SkipPiece(code, i);
    }
  }
  out.push_back(code.substr(start));
  return out;
}

bool IsElapsedTag(std::string_view tag) {  // "h", "mm", "ss" ... inside [ ]
  if (tag.empty()) return false;
  const char c = Lower(tag[0]);
  if (c != 'h' && c != 'm' && c != 's') return false;
  for (char t : tag)
    if (Lower(t) != c) return false;
  return true;
}

struct SectionKind {
  bool date = false;
  bool condition = false;
};

SectionKind Classify(std::string_view s) {
  SectionKind k;
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    if (c == '[') {
      const std::size_t e = SkipPiece(s, i);
      const std::string_view tag = s.substr(i + 1, e - i - (e <= s.size() && s[e - 1] == ']' ? 2 : 1));
      if (IsElapsedTag(tag)) k.date = true;
      if (!tag.empty() && (tag[0] == '<' || tag[0] == '>' || tag[0] == '=')) k.condition = true;
      i = e;
      continue;
    }
    if (StartsWithNoCase(s, i, "general")) {
      i += 7;
      continue;
    }
    const char l = Lower(c);
    if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's' || s.substr(i).starts_with("aaa")) k.date = true;
    i = SkipPiece(s, i);
  }
  return k;
}

// ---- Number sections --------------------------------------------------------------------

enum class NTok { kLiteral, kZero, kHash, kQuestion, kPoint, kComma, kPercent, kGeneral, kText };

struct NumToken {
  NTok kind;
  std::string text;  // for kLiteral
};

bool IsDigitToken(NTok k) { return k == NTok::kZero || k == NTok::kHash || k == NTok::kQuestion; }

// The tokens of a number section; false for parts this renderer leaves to General
// (fractions, exponents).
bool TokenizeNumber(std::string_view s, std::vector<NumToken>& out) {
  auto literal = [&](std::string_view t) {
    if (!out.empty() && out.back().kind == NTok::kLiteral)
      out.back().text += t;
    else
      out.push_back({NTok::kLiteral, std::string(t)});
  };
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    const std::size_t next = SkipPiece(s, i);
    switch (c) {
      case '"':
        literal(s.substr(i + 1, (next > i + 1 && s[next - 1] == '"' ? next - 1 : next) - i - 1));
        break;
      case '\\':
        if (i + 1 < s.size()) literal(s.substr(i + 1, next - i - 1));
        break;
      case '_':
        literal(" ");
        break;
      case '*':
        break;
      case '[': {
        // A currency tag "[$¥-804]" shows its symbol; colours and locales show nothing.
        const std::string_view tag = s.substr(i + 1, next - i - 1 - (s[next - 1] == ']' ? 1 : 0));
        if (!tag.empty() && tag[0] == '$') literal(tag.substr(1, tag.find('-') == std::string_view::npos ? tag.npos : tag.find('-') - 1));
        break;
      }
      case '0': out.push_back({NTok::kZero, {}}); break;
      case '#': out.push_back({NTok::kHash, {}}); break;
      case '?': out.push_back({NTok::kQuestion, {}}); break;
      case '.': out.push_back({NTok::kPoint, {}}); break;
      case ',': out.push_back({NTok::kComma, {}}); break;
      case '%': out.push_back({NTok::kPercent, {}}); break;
      case '@': out.push_back({NTok::kText, {}}); break;
      case '/': return false;
      case 'E':
      case 'e':
        if (i + 1 < s.size() && (s[i + 1] == '+' || s[i + 1] == '-')) return false;
        literal(s.substr(i, next - i));
        break;
      default:
        if (StartsWithNoCase(s, i, "general")) {
          out.push_back({NTok::kGeneral, {}});
          i += 7;
          continue;
        }
        literal(s.substr(i, next - i));
    }
    i = next;
  }
  return true;
}

// A non-negative number through one number section.
std::string RenderNumber(double a, const std::vector<NumToken>& toks) {
  bool general = false, any_digit = false;
  std::size_t point = toks.size();
  int percents = 0;
  for (std::size_t i = 0; i < toks.size(); ++i) {
    if (toks[i].kind == NTok::kGeneral || toks[i].kind == NTok::kText) general = true;
    if (IsDigitToken(toks[i].kind)) any_digit = true;
    if (toks[i].kind == NTok::kPoint && point == toks.size()) point = i;
    if (toks[i].kind == NTok::kPercent) ++percents;
  }
  std::string out;
  if (general || !any_digit) {
    // Literals around the General text, or literals alone (e.g. "-" for zeros).
    for (const NumToken& t : toks) {
      if (t.kind == NTok::kLiteral) out += t.text;
      else if (t.kind == NTok::kPercent) out += '%';
      else if ((t.kind == NTok::kGeneral || t.kind == NTok::kText) && general) {
        out += GeneralNumberText(a * std::pow(100.0, percents));
        general = false;  // shown once
      }
    }
    return out;
  }

  // Commas between integer placeholders group thousands; commas after the last integer
  // placeholder divide by 1000 each.
  std::size_t first_int = toks.size(), last_int = toks.size();
  for (std::size_t i = 0; i < point; ++i)
    if (IsDigitToken(toks[i].kind)) {
      if (first_int == toks.size()) first_int = i;
      last_int = i;
    }
  bool grouping = false;
  int scale = 0;
  for (std::size_t i = 0; i < point; ++i) {
    if (toks[i].kind != NTok::kComma || first_int == toks.size() || i < first_int) continue;
    if (i < last_int) grouping = true;
    else ++scale;
  }
  if (point < toks.size()) {  // trailing commas after the fraction placeholders scale too
    std::size_t i = toks.size();
    while (i > point + 1 && toks[i - 1].kind == NTok::kComma) --i, ++scale;
  }
  int ndec = 0;
  for (std::size_t i = point; i < toks.size(); ++i)
    if (IsDigitToken(toks[i].kind)) ++ndec;

  double v = a * std::pow(100.0, percents) / std::pow(1000.0, scale);
  std::string int_digits, frac;
  RoundFixed(Significant15(v), ndec, int_digits, frac);

  // Integer part, filled from the right; the leftmost placeholder takes any extra digits.
  std::vector<std::string> rev;
  std::size_t left = int_digits.size();
  int emitted = 0;
  auto emit_digit = [&](char ch) {
    if (grouping && emitted > 0 && emitted % 3 == 0) rev.emplace_back(",");
    rev.emplace_back(1, ch);
    ++emitted;
  };
  for (std::size_t i = point; i-- > 0;) {
    const NumToken& t = toks[i];
    if (t.kind == NTok::kLiteral) rev.push_back(t.text);
    else if (t.kind == NTok::kPercent) rev.emplace_back("%");
    else if (IsDigitToken(t.kind)) {
      if (left > 0) emit_digit(int_digits[--left]);
      else if (t.kind == NTok::kZero) emit_digit('0');
      else if (t.kind == NTok::kQuestion) rev.emplace_back(" ");
      if (i == first_int)
        while (left > 0) emit_digit(int_digits[--left]);
    }
  }
  if (first_int == toks.size())
    while (left > 0) emit_digit(int_digits[--left]);
  for (auto it = rev.rbegin(); it != rev.rend(); ++it) out += *it;
  if (point == toks.size()) return out;

  // Fraction part, from the left; trailing zeros past the last '0' placeholder drop out.
  int last_zero_placeholder = -1, k = 0;
  for (std::size_t i = point; i < toks.size(); ++i)
    if (IsDigitToken(toks[i].kind)) {
      if (toks[i].kind == NTok::kZero) last_zero_placeholder = k;
      ++k;
    }
  const std::size_t nz = frac.find_last_not_of('0');
  const int keep = std::max(last_zero_placeholder, nz == std::string::npos ? -1 : static_cast<int>(nz));
  out += '.';
  k = 0;
  for (std::size_t i = point + 1; i < toks.size(); ++i) {
    const NumToken& t = toks[i];
    if (t.kind == NTok::kLiteral) out += t.text;
    else if (t.kind == NTok::kPercent) out += '%';
    else if (IsDigitToken(t.kind)) {
      if (k <= keep) out += frac[static_cast<std::size_t>(k)];
      else if (t.kind == NTok::kQuestion) out += ' ';
      ++k;
    }
  }
  return out;
}

// ---- Date sections ----------------------------------------------------------------------

enum class DTok {
  kLiteral, kYear2, kYear4, kMonth, kMonth2, kMonthAbbr, kMonthFull, kMonthLetter, kDay, kDay2,
  kDayAbbr, kDayFull, kHour, kHour2, kMinute, kMinute2, kSecond, kSecond2, kAmPm, kAP, kChineseAmPm,
  kElapsedH, kElapsedM, kElapsedS, kFraction, kChineseWeekday, kChineseWeekdayFull,
  kMonthOrMinute, kMonthOrMinute2,
};

struct DateToken {
  DTok kind;
  std::string text;  // literal text; for kAmPm / kAP the code's spelling (case matters)
  int width = 0;     // digits of a fraction or an elapsed count
};

constexpr std::string_view kChineseAmPm = "\xE4\xB8\x8A\xE5\x8D\x88/\xE4\xB8\x8B\xE5\x8D\x88";  // 上午/下午

std::vector<DateToken> TokenizeDate(std::string_view s) {
  std::vector<DateToken> out;
  auto literal = [&](std::string_view t) {
    if (!out.empty() && out.back().kind == DTok::kLiteral) out.back().text += t;
    else out.push_back({DTok::kLiteral, std::string(t), 0});
  };
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i], l = Lower(c);
    std::size_t next = SkipPiece(s, i);
    if (c == '"') {
      literal(s.substr(i + 1, (next > i + 1 && s[next - 1] == '"' ? next - 1 : next) - i - 1));
    } else if (c == '\\') {
      if (i + 1 < s.size()) literal(s.substr(i + 1, next - i - 1));
    } else if (c == '_') {
      literal(" ");
    } else if (c == '*') {
    } else if (c == '[') {
      const std::string_view tag = s.substr(i + 1, next - i - 1 - (s[next - 1] == ']' ? 1 : 0));
      if (IsElapsedTag(tag)) {
        const char e = Lower(tag[0]);
        out.push_back({e == 'h' ? DTok::kElapsedH : e == 'm' ? DTok::kElapsedM : DTok::kElapsedS, {},
                       static_cast<int>(tag.size())});
      }
    } else if (StartsWithNoCase(s, i, "am/pm")) {
      out.push_back({DTok::kAmPm, std::string(s.substr(i, 5)), 0});
      next = i + 5;
    } else if (StartsWithNoCase(s, i, "a/p")) {
      out.push_back({DTok::kAP, std::string(s.substr(i, 3)), 0});
      next = i + 3;
    } else if (s.substr(i).starts_with(kChineseAmPm)) {
      out.push_back({DTok::kChineseAmPm, {}, 0});
      next = i + kChineseAmPm.size();
    } else if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 's' || l == 'e' || c == 'a') {
      std::size_t e = i;
      while (e < s.size() && Lower(s[e]) == l) ++e;
      const int n = static_cast<int>(e - i);
      next = e;
      DTok k = DTok::kLiteral;
      switch (l) {
        case 'y': k = n <= 2 ? DTok::kYear2 : DTok::kYear4; break;
        case 'e': k = DTok::kYear4; break;
        case 'm': k = n == 1 ? DTok::kMonthOrMinute : n == 2 ? DTok::kMonthOrMinute2 : n == 3 ? DTok::kMonthAbbr
                     : n == 4 ? DTok::kMonthFull : DTok::kMonthLetter; break;
        case 'd': k = n == 1 ? DTok::kDay : n == 2 ? DTok::kDay2 : n == 3 ? DTok::kDayAbbr : DTok::kDayFull; break;
        case 'h': k = n == 1 ? DTok::kHour : DTok::kHour2; break;
        case 's': k = n == 1 ? DTok::kSecond : DTok::kSecond2; break;
        case 'a': k = n >= 4 ? DTok::kChineseWeekdayFull : n == 3 ? DTok::kChineseWeekday : DTok::kLiteral; break;
      }
      if (k == DTok::kLiteral) literal(s.substr(i, e - i));
      else out.push_back({k, {}, 0});
    } else if (c == '.' && i + 1 < s.size() && s[i + 1] == '0' && !out.empty() &&
               (out.back().kind == DTok::kSecond || out.back().kind == DTok::kSecond2 ||
                out.back().kind == DTok::kElapsedS)) {
      std::size_t e = i + 1;
      while (e < s.size() && s[e] == '0') ++e;
      out.push_back({DTok::kFraction, {}, static_cast<int>(std::min<std::size_t>(e - i - 1, 3))});
      next = e;
    } else {
      literal(s.substr(i, next - i));
    }
    i = next;
  }
  // "m" means minutes right after hours or right before seconds.
  auto neighbour = [&](std::size_t i, int dir) -> const DateToken* {
    for (std::size_t j = i; (dir < 0 ? j-- > 0 : ++j < out.size());)
      if (out[j].kind != DTok::kLiteral) return &out[j];
    return nullptr;
  };
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (out[i].kind != DTok::kMonthOrMinute && out[i].kind != DTok::kMonthOrMinute2) continue;
    const DateToken* p = neighbour(i, -1);
    const DateToken* n = neighbour(i, +1);
    const bool minute = (p && (p->kind == DTok::kHour || p->kind == DTok::kHour2 || p->kind == DTok::kElapsedH)) ||
                        (n && (n->kind == DTok::kSecond || n->kind == DTok::kSecond2 || n->kind == DTok::kElapsedS));
    const bool two = out[i].kind == DTok::kMonthOrMinute2;
    out[i].kind = minute ? (two ? DTok::kMinute2 : DTok::kMinute) : (two ? DTok::kMonth2 : DTok::kMonth);
  }
  return out;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

std::string Pad(std::int64_t v, int width) {
  std::string s = std::to_string(v);
  if (static_cast<int>(s.size()) < width) s.insert(0, static_cast<std::size_t>(width) - s.size(), '0');
  return s;
}

constexpr std::array<std::string_view, 12> kMonthNames = {"January", "February", "March", "April", "May", "June",
                                                          "July", "August", "September", "October", "November",
                                                          "December"};
constexpr std::array<std::string_view, 7> kDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                                       "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 7> kChineseDays = {"\xE6\x97\xA5", "\xE4\xB8\x80", "\xE4\xBA\x8C",
                                                          "\xE4\xB8\x89", "\xE5\x9B\x9B", "\xE4\xBA\x94",
                                                          "\xE5\x85\xAD"};  // 日一二三四五六

// A serial date-time through a date section; false when Excel would show "####".
bool RenderDate(double v, bool date1904, const std::vector<DateToken>& toks, std::string& out) {
  if (!(v >= 0) || v > 2958465.99999) return false;  // up to 9999-12-31
  int fs = 0;
  bool twelve = false;
  for (const DateToken& t : toks) {
    if (t.kind == DTok::kFraction) fs = std::max(fs, t.width);
    if (t.kind == DTok::kAmPm || t.kind == DTok::kAP || t.kind == DTok::kChineseAmPm) twelve = true;
  }
  std::int64_t scale = 1;
  for (int i = 0; i < fs; ++i) scale *= 10;
  const std::int64_t units = std::llround(v * 86400.0 * static_cast<double>(scale));
  const std::int64_t day_units = 86400 * scale;
  const std::int64_t days = units / day_units;
  const std::int64_t in_day = units % day_units;
  const std::int64_t secs = in_day / scale, sub = in_day % scale;
  const std::int64_t hour = secs / 3600, minute = secs / 60 % 60, second = secs % 60;

  int y, m, d, weekday;
  if (date1904) {
    CivilFromDays(DaysFromCivil(1904, 1, 1) + days, y, m, d);
    weekday = static_cast<int>((days + 5) % 7);
  } else {
    // The 1900 system counts a 29 February 1900 that never was (serial 60), and shows
    // serial 0 as 0 January 1900.
    weekday = static_cast<int>((days + 6) % 7);
    if (days == 0) y = 1900, m = 1, d = 0;
    else if (days == 60) y = 1900, m = 2, d = 29;
    else CivilFromDays(DaysFromCivil(1899, 12, days < 60 ? 31 : 30) + days, y, m, d);
  }
  if (y > 9999) return false;

  const std::int64_t h12 = hour % 12 == 0 ? 12 : hour % 12;
  for (const DateToken& t : toks) {
    switch (t.kind) {
      case DTok::kLiteral: out += t.text; break;
      case DTok::kYear2: out += Pad(y % 100, 2); break;
      case DTok::kYear4: out += Pad(y, 4); break;
      case DTok::kMonth: out += std::to_string(m); break;
      case DTok::kMonth2: out += Pad(m, 2); break;
      case DTok::kMonthAbbr: out += kMonthNames[static_cast<std::size_t>(m - 1)].substr(0, 3); break;
      case DTok::kMonthFull: out += kMonthNames[static_cast<std::size_t>(m - 1)]; break;
      case DTok::kMonthLetter: out += kMonthNames[static_cast<std::size_t>(m - 1)].substr(0, 1); break;
      case DTok::kDay: out += std::to_string(d); break;
      case DTok::kDay2: out += Pad(d, 2); break;
      case DTok::kDayAbbr: out += kDayNames[static_cast<std::size_t>(weekday)].substr(0, 3); break;
      case DTok::kDayFull: out += kDayNames[static_cast<std::size_t>(weekday)]; break;
      case DTok::kChineseWeekday: out += kChineseDays[static_cast<std::size_t>(weekday)]; break;
      case DTok::kChineseWeekdayFull:
        out += "\xE6\x98\x9F\xE6\x9C\x9F";  // 星期
        out += kChineseDays[static_cast<std::size_t>(weekday)];
        break;
      case DTok::kHour: out += std::to_string(twelve ? h12 : hour); break;
      case DTok::kHour2: out += Pad(twelve ? h12 : hour, 2); break;
      case DTok::kMinute: out += std::to_string(minute); break;
      case DTok::kMinute2: out += Pad(minute, 2); break;
      case DTok::kSecond: out += std::to_string(second); break;
      case DTok::kSecond2: out += Pad(second, 2); break;
      case DTok::kElapsedH: out += Pad(units / (3600 * scale), t.width); break;
      case DTok::kElapsedM: out += Pad(units / (60 * scale), t.width); break;
      case DTok::kElapsedS: out += Pad(units / scale, t.width); break;
      case DTok::kFraction: {
        std::int64_t drop = 1;  // a shorter fraction than the longest one shows its first digits
        for (int i = t.width; i < fs; ++i) drop *= 10;
        out += "." + Pad(sub / drop, t.width);
        break;
      }
      case DTok::kAmPm: {
        const bool pm = hour >= 12;
        const bool lower = t.text[0] == 'a' || t.text[0] == 'p';
        out += pm ? (lower ? "pm" : "PM") : (lower ? "am" : "AM");
        break;
      }
      case DTok::kAP: {
        const bool lower = t.text[0] == 'a' || t.text[0] == 'p';
        out += hour >= 12 ? (lower ? "p" : "P") : (lower ? "a" : "A");
        break;
      }
      case DTok::kChineseAmPm: out += hour >= 12 ? "\xE4\xB8\x8B\xE5\x8D\x88" : "\xE4\xB8\x8A\xE5\x8D\x88"; break;
      case DTok::kMonthOrMinute:
      case DTok::kMonthOrMinute2: break;
    }
  }
  return true;
}

}  // namespace

// ---- Public ---------------------------------------------------------------------------

std::string GeneralNumberText(double v) {
  if (!std::isfinite(v)) return {};
  if (v == 0) return "0";
  std::string sign = v < 0 ? "-" : "";
  const Digits d = Significant15(std::fabs(v));
  if (d.exp >= 15 || d.exp < -5) {
    std::string s = sign + d.digits.substr(0, 1);
    if (d.digits.size() > 1) s += "." + d.digits.substr(1);
    s += d.exp < 0 ? "E-" : "E+";
    return s + Pad(std::abs(d.exp), 2);
  }
  return sign + PlainText(d);
}

std::string FormatNumber(double v, std::string_view code, bool date1904) {
  if (!std::isfinite(v)) return {};
  // Excel's own codes are at most 255 characters; a longer one is not rendered, so that a
  // damaged style table cannot make every cell costly.
  if (code.empty() || code.size() > kMaxFormatCode || (code.size() == 7 && StartsWithNoCase(code, 0, "general")))
    return GeneralNumberText(v);
  const std::vector<std::string_view> sections = SplitSections(code);
  for (std::string_view s : sections)
    if (Classify(s).condition) return GeneralNumberText(v);
  std::string_view section = sections[0];
  bool minus = false;
  if (sections.size() == 1) {
    minus = v < 0;
  } else if (v < 0) {
    section = sections[1];
  } else if (v == 0 && sections.size() >= 3) {
    section = sections[2];
  }
  const double a = std::fabs(v);
  if (Classify(section).date) {
    std::string out;
    // A negative date, or one past the year 9999, cannot be shown as a date.
    if (v < 0 || !RenderDate(a, date1904, TokenizeDate(section), out)) return GeneralNumberText(v);
    return out;
  }
  std::vector<NumToken> toks;
  if (!TokenizeNumber(section, toks)) return GeneralNumberText(v);
  return (minus ? "-" : "") + RenderNumber(a, toks);
}

std::string_view BuiltinNumberFormat(int id) {
  switch (id) {
    case 1: return "0";
    case 2: return "0.00";
    case 3: return "#,##0";
    case 4: return "#,##0.00";
    case 5: return "\xC2\xA5#,##0;\xC2\xA5-#,##0";  // ¥
    case 6: return "\xC2\xA5#,##0;[Red]\xC2\xA5-#,##0";
    case 7: return "\xC2\xA5#,##0.00;\xC2\xA5-#,##0.00";
    case 8: return "\xC2\xA5#,##0.00;[Red]\xC2\xA5-#,##0.00";
    case 9: return "0%";
    case 10: return "0.00%";
    case 11: return "0.00E+00";
    case 12: return "# ?/?";
    case 13: return "# ?\?/??";
    case 14: return "yyyy-mm-dd";
    case 15: return "d-mmm-yy";
    case 16: return "d-mmm";
    case 17: return "mmm-yy";
    case 18: return "h:mm AM/PM";
    case 19: return "h:mm:ss AM/PM";
    case 20: return "h:mm";
    case 21: return "h:mm:ss";
    case 22: return "yyyy-mm-dd hh:mm";
    case 27: case 36: case 50: case 52: case 57:
      return "yyyy\"\xE5\xB9\xB4\"m\"\xE6\x9C\x88\"";  // yyyy年m月
    case 28: case 29: case 51: case 53: case 54: case 58:
      return "m\"\xE6\x9C\x88\"d\"\xE6\x97\xA5\"";  // m月d日
    case 30: return "m-d-yy";
    case 31: return "yyyy\"\xE5\xB9\xB4\"m\"\xE6\x9C\x88\"d\"\xE6\x97\xA5\"";  // yyyy年m月d日
    case 32: return "h\"\xE6\x97\xB6\"mm\"\xE5\x88\x86\"";  // h时mm分
    case 33: return "h\"\xE6\x97\xB6\"mm\"\xE5\x88\x86\"ss\"\xE7\xA7\x92\"";  // h时mm分ss秒
    case 34: case 55:
      return "\xE4\xB8\x8A\xE5\x8D\x88/\xE4\xB8\x8B\xE5\x8D\x88h\"\xE6\x97\xB6\"mm\"\xE5\x88\x86\"";
    case 35: case 56:
      return "\xE4\xB8\x8A\xE5\x8D\x88/\xE4\xB8\x8B\xE5\x8D\x88h\"\xE6\x97\xB6\"mm\"\xE5\x88\x86\"ss\"\xE7\xA7\x92\"";
    case 37: return "#,##0 ;(#,##0)";
    case 38: return "#,##0 ;[Red](#,##0)";
    case 39: return "#,##0.00;(#,##0.00)";
    case 40: return "#,##0.00;[Red](#,##0.00)";
    case 41: return "_(* #,##0_);_(* \\(#,##0\\);_(* \"-\"_);_(@_)";
    case 42: return "_(\"$\"* #,##0_);_(\"$\"* \\(#,##0\\);_(\"$\"* \"-\"_);_(@_)";
    case 43: return "_(* #,##0.00_);_(* \\(#,##0.00\\);_(* \"-\"??_);_(@_)";
    case 44: return "_(\"$\"* #,##0.00_);_(\"$\"* \\(#,##0.00\\);_(\"$\"* \"-\"??_);_(@_)";
    case 45: return "mm:ss";
    case 46: return "[h]:mm:ss";
    case 47: return "mm:ss.0";
    case 48: return "##0.0E+0";
    case 49: return "@";
    default: return "General";
  }
}

std::string SizeText(std::uint64_t bytes) {
  if (bytes >= (1u << 20) && bytes % (1u << 20) == 0) return std::to_string(bytes >> 20) + " MB";
  if (bytes >= (1u << 10) && bytes % (1u << 10) == 0) return std::to_string(bytes >> 10) + " KB";
  return std::to_string(bytes) + " bytes";
}

namespace {

std::unique_ptr<Workbook> Refused(WorkbookError* error, WorkbookError e) {
  if (error) *error = e;
  return nullptr;
}

std::string LowerExtension(const std::filesystem::path& name) {
  std::string ext = name.extension().string();
  for (char& c : ext) c = Lower(c);
  return ext;
}

bool NamedAsText(const std::filesystem::path& name) {
  const std::string ext = LowerExtension(name);
  return ext == ".csv" || ext == ".tsv" || ext == ".txt";
}

// Whether the first bytes of a file look like a text table: no bytes that text does not
// hold, and not markup (an HTML page saved under a spreadsheet's name is no table).
bool LooksLikeText(std::span<const unsigned char> head) {
  if (head.size() >= 2 && ((head[0] == 0xFF && head[1] == 0xFE) || (head[0] == 0xFE && head[1] == 0xFF)))
    return true;  // UTF-16 with its byte-order mark
  std::size_t i = head.size() >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF ? 3 : 0;
  bool any = false;
  for (std::size_t k = i; k < head.size(); ++k) {
    const unsigned char c = head[k];
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1A) return false;
    if (c > 0x20) any = true;
  }
  while (i < head.size() && head[i] <= 0x20) ++i;
  return any && head[i] != '<';
}

// The name a text table's sheet gets: the file's name without its extension.
std::string TextSheetName(const std::filesystem::path& name) {
  std::string stem = name.stem().string();
  return stem.empty() ? "Sheet1" : stem;
}

constexpr std::size_t kSniffBytes = 4096;

std::unique_ptr<Workbook> OpenText(std::vector<unsigned char> bytes, const std::filesystem::path& name,
                                   const WorkbookLimits& limits, WorkbookError* error, std::string* limit) {
  return detail::OpenTextTable(std::move(bytes), TextSheetName(name), LowerExtension(name) == ".tsv", limits,
                               error, limit);
}

std::string TextTooLarge(const WorkbookLimits& limits) {
  return "the file: larger than " + SizeText(limits.text_file_bytes);
}

}  // namespace

SheetRows::~SheetRows() = default;
Workbook::~Workbook() = default;

bool SheetRows::Next(std::string& a, std::string& b) {
  if (!NextRow(row_)) return false;
  a = row_.size() > 0 ? std::move(row_[0]) : std::string();
  b = row_.size() > 1 ? std::move(row_[1]) : std::string();
  return true;
}

std::string ColumnLetters(std::size_t index) {
  std::string s;
  for (++index; index > 0; index = (index - 1) / 26) s.insert(s.begin(), static_cast<char>('A' + (index - 1) % 26));
  return s;
}

std::optional<std::size_t> ColumnIndex(std::string_view letters) {
  if (letters.empty() || letters.size() > 3) return std::nullopt;
  std::size_t v = 0;
  for (char c : letters) {
    const char u = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (u < 'A' || u > 'Z') return std::nullopt;
    v = v * 26 + static_cast<std::size_t>(u - 'A' + 1);
  }
  return v - 1;
}

std::unique_ptr<Workbook> OpenWorkbook(const std::filesystem::path& file, WorkbookError* error,
                                       const WorkbookLimits& limits, std::string* limit_reached) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Refused(error, WorkbookError::kCannotRead);
  std::vector<unsigned char> head(kSniffBytes);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
  if (in.bad()) return Refused(error, WorkbookError::kCannotRead);
  head.resize(static_cast<std::size_t>(in.gcount()));
  const Container container = Sniff(head);
  if (container == Container::kZip) {
    in.close();
    return detail::OpenZipWorkbook(file, limits, error, limit_reached);
  }
  if (container == Container::kOther && !NamedAsText(file) && !LooksLikeText(head))
    return Refused(error, WorkbookError::kNotWorkbook);
  // An .xls or a text table is read whole.
  const std::uint64_t cap = container == Container::kCompound ? limits.xls_file_bytes : limits.text_file_bytes;
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec) return Refused(error, WorkbookError::kCannotRead);
  if (size > cap) {
    if (limit_reached) *limit_reached = "the file: larger than " + SizeText(cap);
    return Refused(error, WorkbookError::kTooLarge);
  }
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  in.clear();
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return Refused(error, WorkbookError::kCannotRead);
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (container == Container::kCompound) return detail::OpenXls(std::move(bytes), limits, error, limit_reached);
  return OpenText(std::move(bytes), file, limits, error, limit_reached);
}

std::unique_ptr<Workbook> OpenWorkbook(std::span<const unsigned char> bytes, WorkbookError* error,
                                       const WorkbookLimits& limits, std::string* limit_reached,
                                       const std::filesystem::path& file_name) {
  switch (Sniff(bytes)) {
    case Container::kZip:
      return detail::OpenZipWorkbook(std::vector<unsigned char>(bytes.begin(), bytes.end()), limits, error,
                                     limit_reached);
    case Container::kCompound:
      if (bytes.size() > limits.xls_file_bytes) {  // refused before it is copied
        if (limit_reached) *limit_reached = "the file: larger than " + SizeText(limits.xls_file_bytes);
        return Refused(error, WorkbookError::kTooLarge);
      }
      return detail::OpenXls(std::vector<unsigned char>(bytes.begin(), bytes.end()), limits, error,
                             limit_reached);
    case Container::kOther:
      break;
  }
  if (!NamedAsText(file_name) && !LooksLikeText(bytes.first(std::min(bytes.size(), kSniffBytes))))
    return Refused(error, WorkbookError::kNotWorkbook);
  if (bytes.size() > limits.text_file_bytes) {
    if (limit_reached) *limit_reached = TextTooLarge(limits);
    return Refused(error, WorkbookError::kTooLarge);
  }
  return OpenText(std::vector<unsigned char>(bytes.begin(), bytes.end()), file_name, limits, error, limit_reached);
}

namespace {

std::unique_ptr<SheetRows> FirstSheet(std::unique_ptr<Workbook> book, WorkbookError* error, std::string* limit) {
  if (!book) return nullptr;
  return book->OpenSheet(0, 2, error, limit);
}

}  // namespace

std::unique_ptr<SheetRows> OpenFirstSheet(const std::filesystem::path& file, WorkbookError* error,
                                          const WorkbookLimits& limits, std::string* limit_reached) {
  return FirstSheet(OpenWorkbook(file, error, limits, limit_reached), error, limit_reached);
}

std::unique_ptr<SheetRows> OpenFirstSheet(std::span<const unsigned char> bytes, WorkbookError* error,
                                          const WorkbookLimits& limits, std::string* limit_reached) {
  return FirstSheet(OpenWorkbook(bytes, error, limits, limit_reached), error, limit_reached);
}

}  // namespace qx
