// Pictures of printed items: the tape as the printer lays it down.
//
// The horizontal axis is the feed, column 0 of an item first; the vertical axis is the 96
// dots of the head, row 0 at the top. An item's blank feed before and after its image is
// shown in light grey, the image area in white with its dots in black, and the boundary
// between two items of a strip as a thin red line. The preview, the command-line tool
// and the simulated printers all draw through here.
#pragma once

#include <span>

#include "layout/image.h"
#include "layout/png.h"

namespace qx {

inline constexpr Rgb kTapeDot = kBlack;
inline constexpr Rgb kTapeImage = kWhite;
inline constexpr Rgb kTapeBlank = 0xE6E6E6;
inline constexpr Rgb kTapeBoundary = 0xE02020;

// Width in dots of an item on the tape: lead blank, columns, trail blank.
int ItemFeedDots(const ItemImage& item);

// One item, each dot drawn as a `scale` x `scale` square.
RgbImage RenderItem(const ItemImage& item, int scale = 1);

// Items one after another, with a boundary line (one scaled dot wide) between them.
RgbImage RenderStrip(std::span<const ItemImage> items, int scale = 1);

}  // namespace qx
