#include "document/gbk.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <memory>
#include <mutex>
#include <stdexcept>

namespace qx::gbk {
namespace {

// Both directions of the double-byte part of GBK, built once from glibc's converter so
// that the mapping is exactly the system's. Single-byte GBK is ASCII.
struct Tables {
  // Indexed by (lead - 0x81) * 191 + (trail - 0x40); 0 = not a GBK character.
  std::array<char16_t, 126 * 191> decode{};
  // Indexed by BMP code point; 0 = not representable as a double-byte character.
  std::array<uint16_t, 0x10000> encode{};
};

std::size_t PairIndex(unsigned char lead, unsigned char trail) {
  return static_cast<std::size_t>(lead - 0x81) * 191 + static_cast<std::size_t>(trail - 0x40);
}

std::unique_ptr<Tables> BuildTables() {
  auto t = std::make_unique<Tables>();
  iconv_t cd = iconv_open("UTF-32LE", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv: GBK converter missing");
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      unsigned char out[8];
      char* ip = in;
      char* op = reinterpret_cast<char*>(out);
      std::size_t il = 2, ol = sizeof out;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0 ||
          sizeof out - ol != 4)
        continue;
      const char32_t cp = static_cast<char32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
      if (cp == 0 || cp > 0xFFFF) continue;
      const auto lu = static_cast<unsigned char>(lead), tu = static_cast<unsigned char>(trail);
      t->decode[PairIndex(lu, tu)] = static_cast<char16_t>(cp);
      if (t->encode[cp] == 0) t->encode[cp] = static_cast<uint16_t>(lead << 8 | trail);
    }
  }
  iconv_close(cd);
  return t;
}

const Tables& GetTables() {
  static const std::unique_ptr<Tables> tables = BuildTables();
  return *tables;
}

}  // namespace

std::size_t PrevCharStart(std::string_view s, std::size_t pos) {
  std::size_t start = 0;
  for (std::size_t p = 0; p < pos;) {
    start = p;
    p += CharLen(s, p);
  }
  return start;
}

bool IsCharBoundary(std::string_view s, std::size_t pos) {
  if (pos >= s.size()) return pos == s.size();
  std::size_t p = 0;
  while (p < pos) p += CharLen(s, p);
  return p == pos;
}

std::size_t CharCount(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t p = 0; p < s.size(); p += CharLen(s, p)) ++n;
  return n;
}

std::string_view TruncateToBytes(std::string_view s, std::size_t max_bytes) {
  std::size_t p = 0;
  while (p < s.size()) {
    const std::size_t n = CharLen(s, p);
    if (p + n > max_bytes) break;
    p += n;
  }
  return s.substr(0, p);
}

std::optional<char32_t> DecodeChar(std::string_view ch) {
  if (ch.empty()) return std::nullopt;
  const auto lead = static_cast<unsigned char>(ch[0]);
  if (!IsLeadByte(lead)) return ch.size() == 1 ? std::optional<char32_t>(lead) : std::nullopt;
  if (ch.size() != 2) return std::nullopt;
  const auto trail = static_cast<unsigned char>(ch[1]);
  if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail > 0xFE || trail == 0x7F)
    return std::nullopt;
  const char16_t cp = GetTables().decode[PairIndex(lead, trail)];
  if (cp == 0) return std::nullopt;
  return cp;
}

std::optional<std::string> EncodeChar(char32_t cp) {
  if (cp == 0x00B5) cp = 0x03BC;  // micro sign -> Greek small mu
  if (cp == 0x2126) cp = 0x03A9;  // ohm sign -> Greek capital omega
  if (cp < 0x80) return std::string(1, static_cast<char>(cp));
  if (cp > 0xFFFF) return std::nullopt;
  const uint16_t code = GetTables().encode[cp];
  if (code == 0) return std::nullopt;
  return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

void AppendUtf8(std::string& out, char32_t cp) {
  if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = kReplacement;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

char32_t DecodeUtf8(std::string_view s, std::size_t pos, std::size_t& len) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  len = 1;
  if (b0 < 0x80) return b0;
  int extra;
  char32_t cp;
  char32_t min;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3, cp = b0 & 0x07, min = 0x10000;
  } else {
    return kReplacement;
  }
  if (pos + static_cast<std::size_t>(extra) >= s.size()) return kReplacement;
  for (int i = 1; i <= extra; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(i)]);
    if ((b & 0xC0) != 0x80) return kReplacement;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  len = static_cast<std::size_t>(extra) + 1;
  return cp;
}

std::string ToUtf8(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size() * 3 / 2);
  ForEachChar(gbk, [&](std::size_t, std::string_view ch) {
    AppendUtf8(out, DecodeChar(ch).value_or(kReplacement));
  });
  return out;
}

EncodeResult FromUtf8(std::string_view utf8) {
  EncodeResult r;
  r.gbk.reserve(utf8.size());
  for (std::size_t pos = 0; pos < utf8.size();) {
    std::size_t len;
    const char32_t cp = DecodeUtf8(utf8, pos, len);
    const bool malformed = cp == kReplacement && !(len == 3 && utf8.substr(pos, 3) == "\xEF\xBF\xBD");
    std::optional<std::string> bytes = malformed ? std::nullopt : EncodeChar(cp);
    if (bytes) {
      r.gbk += *bytes;
    } else {
      r.rejected.push_back({pos, malformed ? kReplacement : cp});
    }
    pos += len;
  }
  return r;
}

std::string Encode(std::string_view utf8) {
  EncodeResult r = FromUtf8(utf8);
  if (!r.ok()) throw std::invalid_argument("text not representable in GBK");
  return std::move(r.gbk);
}

}  // namespace qx::gbk
