// Native printer files (*.qxf): the printer's own byte format, written only.
//
// Layout (multi-byte header numbers little-endian): the signature "Qx series printer files
// v1.00", three zero bytes, a 10-byte header (material, cut, alignment, spacing - 1, N,
// three zero bytes, text-area length L), N 8-byte Segment entries and the text area, in
// which the markers are one-byte codes and the serial placeholder carries the range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "document/document.h"

namespace qx {

inline constexpr int kMaxExportedSegments = 200;

// Largest text area a native file holds: its length and every Segment's offset into it
// are 16-bit fields.
inline constexpr std::size_t kMaxNativeTextBytes = 65535;

// The serial code of the current row: 0x97/0x98 with the two decimal values (smaller
// first, each high byte first) for the number types, 0x99/0x9A with the two letters for
// the letter types, nothing without a serial.
std::string SerialCode(const SegmentTable& t);

struct NativeFile {
  std::vector<uint8_t> bytes;   // the whole file; empty when it cannot be written
  std::size_t text_bytes = 0;   // length of the text area, its final zero included
  // The text area fits its 16-bit fields. A bigger one (about 200 Segments full of serial
  // placeholders) would have its length and offsets cut to their low 16 bits and send the
  // printer to the wrong texts, so no file is made then.
  bool ok() const { return text_bytes <= kMaxNativeTextBytes; }
};

// Numbers every row with its position (storing each) and builds the native file of the
// first 200 Segments, leaving the table on the row after the last exported one (the last
// row when all were exported). Header values come from the settings selectors.
NativeFile BuildNativeFile(SegmentTable& t, const DocumentSettings& s);

// Drops trailing Segments without an upper line, numbered or not, but never the first row:
// what save and export do before they write.
void DropTrailingEmptySegments(SegmentTable& t);

}  // namespace qx
