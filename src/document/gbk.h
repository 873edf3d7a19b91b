// GBK text: the code page of every Segment text and every text the printer sees.
//
// Texts are kept as GBK byte strings. Lengths and positions are bytes. A byte of 0x80
// or above starts a two-byte character; this walking rule holds for every stored text,
// valid or not, so a damaged text can always be walked without reading past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qx::gbk {

// In-band markers carried inside Segment texts.
inline constexpr std::string_view kSuperscriptMark{"\xA8\x49", 2};  // shown as ↖
inline constexpr std::string_view kSubscriptMark{"\xA8\x4C", 2};    // shown as ↙
inline constexpr std::string_view kSerialMark{"\xA1\xED", 2};       // shown as №

inline constexpr char32_t kReplacement = 0xFFFD;

inline bool IsLeadByte(unsigned char b) { return b >= 0x80; }

// Byte length of the character starting at `pos` (pos < s.size()): 2 for a lead byte
// followed by another byte, 1 otherwise. A lead byte at the very end counts alone.
inline std::size_t CharLen(std::string_view s, std::size_t pos) {
  return (IsLeadByte(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size()) ? 2 : 1;
}

// Start of the character that ends at `pos` (0 < pos <= s.size()), found by walking
// from the beginning, since a trail byte can look like a lead byte or like ASCII.
std::size_t PrevCharStart(std::string_view s, std::size_t pos);

// Whether `pos` falls between two characters (0 and s.size() always do).
bool IsCharBoundary(std::string_view s, std::size_t pos);

std::size_t CharCount(std::string_view s);

// The longest prefix of `s` of at most `max_bytes` bytes that does not split a character.
std::string_view TruncateToBytes(std::string_view s, std::size_t max_bytes);

// Calls f(pos, character bytes) for every character of s, in order.
template <typename F>
void ForEachChar(std::string_view s, F&& f) {
  for (std::size_t pos = 0; pos < s.size();) {
    const std::size_t n = CharLen(s, pos);
    f(pos, s.substr(pos, n));
    pos += n;
  }
}

// Code point of one character (one or two bytes as walked), or nullopt when the bytes
// are not a GBK character (an unassigned pair, a lone lead byte).
std::optional<char32_t> DecodeChar(std::string_view ch);

// The GBK bytes of one code point, or nullopt when GBK cannot represent it. The micro
// sign and the ohm sign are taken as the Greek letters GBK has (μ, Ω). The euro sign is
// refused: GBK would write it as the single byte 0x80, which every text walk here reads
// as the lead byte of a two-byte character.
std::optional<std::string> EncodeChar(char32_t cp);

// GBK to UTF-8 for display. Each character that is not valid GBK becomes U+FFFD, so a
// damaged text shows where it is damaged and never stops the conversion.
std::string ToUtf8(std::string_view gbk);

struct Unrepresentable {
  std::size_t offset;  // byte offset of the character in the UTF-8 input
  char32_t codepoint;  // kReplacement for a malformed UTF-8 sequence
};

struct EncodeResult {
  std::string gbk;                      // every representable character, in order
  std::vector<Unrepresentable> rejected;  // every character that is not in `gbk`
  bool ok() const { return rejected.empty(); }
};

// UTF-8 to GBK. Characters that GBK cannot represent are reported, one entry each, and
// left out of `gbk`; the caller decides whether a partial result may be used.
EncodeResult FromUtf8(std::string_view utf8);

// Convenience for literals and tests: the GBK bytes of a UTF-8 text that must be fully
// representable; throws std::invalid_argument otherwise.
std::string Encode(std::string_view utf8);

// Appends the UTF-8 form of cp to out (U+FFFD for a surrogate or a value out of range).
void AppendUtf8(std::string& out, char32_t cp);

// Decodes one UTF-8 sequence at s[pos]; sets `len` to its byte length (at least 1).
// Malformed sequences give kReplacement.
char32_t DecodeUtf8(std::string_view s, std::size_t pos, std::size_t& len);

}  // namespace qx::gbk
