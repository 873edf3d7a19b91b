#include "document/gbk.h"

#include <gtest/gtest.h>

namespace qx::gbk {
namespace {

TEST(Gbk, MarkersAreTheArrowsAndTheNumeroSign) {
  struct Case {
    std::string_view marker;
    std::string_view shown;
  };
  for (const Case& c : {Case{kSuperscriptMark, "↖"}, Case{kSubscriptMark, "↙"},
                        Case{kSerialMark, "№"}}) {
    EXPECT_EQ(ToUtf8(c.marker), c.shown);
    EXPECT_EQ(Encode(c.shown), c.marker);
  }
}

TEST(Gbk, EveryDoubleByteCharacterRoundTrips) {
  int characters = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      const auto cp = DecodeChar(pair);
      if (!cp) continue;
      ++characters;
      const auto back = EncodeChar(*cp);
      ASSERT_TRUE(back) << std::hex << lead << " " << trail;
      ASSERT_EQ(DecodeChar(*back), cp) << std::hex << lead << " " << trail;
    }
  }
  // glibc maps 21 791 double-byte codes; a much smaller count means a broken table.
  EXPECT_GT(characters, 21000);
}

TEST(Gbk, ConvertsMixedText) {
  const std::string utf8 = "L1-A 中文 ±0.5℃ μΩ";
  const std::string g = Encode(utf8);
  EXPECT_EQ(g.substr(0, 5), "L1-A ");
  EXPECT_EQ(g.substr(5, 4), "\xD6\xD0\xCE\xC4");  // 中文
  EXPECT_EQ(ToUtf8(g), utf8);
}

TEST(Gbk, MicroAndOhmSignsBecomeTheGreekLettersGbkHas) {
  EXPECT_EQ(Encode("\u00B5"), Encode("\u03BC"));
  EXPECT_EQ(Encode("\u2126"), Encode("\u03A9"));
}

TEST(Gbk, ReportsEveryCharacterItCannotRepresent) {
  // Emoji, copyright, euro (GBK's single byte 0x80 would read as a lead byte here),
  // yen sign, a lone continuation byte and a truncated sequence.
  const std::string utf8 = "A😀B©€¥\x80" "C\xE4\xB8";
  const EncodeResult r = FromUtf8(utf8);
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.gbk, "ABC");
  ASSERT_EQ(r.rejected.size(), 7u);
  EXPECT_EQ(r.rejected[0].offset, 1u);
  EXPECT_EQ(r.rejected[0].codepoint, U'😀');
  EXPECT_EQ(r.rejected[1].codepoint, U'©');
  EXPECT_EQ(r.rejected[2].codepoint, U'€');
  EXPECT_EQ(r.rejected[3].codepoint, U'¥');
  EXPECT_EQ(r.rejected[4].codepoint, kReplacement);
  EXPECT_EQ(r.rejected[5].codepoint, kReplacement);
  EXPECT_THROW(Encode("😀"), std::invalid_argument);
}

TEST(Gbk, DamagedBytesShowAsReplacementAndNeverStopTheConversion) {
  struct Case {
    std::string_view gbk;
    std::string_view utf8;
  };
  const Case cases[] = {
      {"\xFF\xFF", "\uFFFD"},             // not a GBK pair
      {"A\x81", "A\uFFFD"},               // lead byte cut off at the end
      {"\x80\x41" "B", "\uFFFD" "B"},     // 0x80 is a lead byte here, the pair is invalid
      {"\xA1\x7F" "C", "\uFFFD" "C"},     // trail byte 0x7F is never valid
      {std::string_view("\x00" "D", 2), std::string_view("\x00" "D", 2)},
  };
  for (const Case& c : cases) EXPECT_EQ(ToUtf8(c.gbk), c.utf8) << ToUtf8(c.gbk);
}

TEST(Gbk, WalksByTheLeadByteRule) {
  // 中 (D6 D0), then 0x81 0x41 whose trail byte looks like 'A', then a cut-off lead byte.
  const std::string s = "\xD6\xD0" "x\x81\x41\xB0";
  EXPECT_EQ(CharLen(s, 0), 2u);
  EXPECT_EQ(CharLen(s, 2), 1u);
  EXPECT_EQ(CharLen(s, 3), 2u);
  EXPECT_EQ(CharLen(s, 5), 1u);
  EXPECT_EQ(CharCount(s), 4u);

  EXPECT_TRUE(IsCharBoundary(s, 0));
  EXPECT_FALSE(IsCharBoundary(s, 1));
  EXPECT_TRUE(IsCharBoundary(s, 3));
  EXPECT_FALSE(IsCharBoundary(s, 4));  // inside the pair, on the 'A'-looking byte
  EXPECT_TRUE(IsCharBoundary(s, 6));
  EXPECT_FALSE(IsCharBoundary(s, 7));

  EXPECT_EQ(PrevCharStart(s, 5), 3u);
  EXPECT_EQ(PrevCharStart(s, 3), 2u);
  EXPECT_EQ(PrevCharStart(s, 2), 0u);

  EXPECT_EQ(TruncateToBytes(s, 1), "");
  EXPECT_EQ(TruncateToBytes(s, 4), "\xD6\xD0" "x");
  EXPECT_EQ(TruncateToBytes(s, 100), s);

  std::vector<std::size_t> starts;
  ForEachChar(s, [&](std::size_t pos, std::string_view) { starts.push_back(pos); });
  EXPECT_EQ(starts, (std::vector<std::size_t>{0, 2, 3, 5}));
}

}  // namespace
}  // namespace qx::gbk
