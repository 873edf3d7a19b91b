// Font size codes and their glyph cell heights in printer dots.
#pragma once

#include <cstdint>

namespace qx {

// Code 0 is the automatic size in a Segment and also the smallest glyph size (used for
// superscripts and subscripts); codes 1..7 are the sizes "1 号".."7 号".
inline constexpr uint8_t kMaxSizeCode = 7;

// Glyph cell height in dots for a size code: 16, 24, 32, 40, 48, 64, 80, 96 for codes
// 0..7, and 24 for any other code. Every height is a multiple of 8, so a glyph column
// fills whole bytes of an image column.
uint8_t SizeHeight(uint8_t code);

// Codes 4..7 are large sizes; they take size 1 (24 dots) for their small glyphs, every
// other size takes size 0 (16 dots).
bool IsLargeSize(uint8_t code);

}  // namespace qx
