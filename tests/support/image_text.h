// Item images as text, for assertions and golden files.
#pragma once

#include <string>

#include "layout/image.h"

namespace qx::testing {

inline ColumnBits ColumnAt(const ItemImage& img, int col) {
  return ColumnFromBytes(img.columns.data() + static_cast<std::size_t>(col) * kColumnBytes);
}

// The set rows of a column as ranges, e.g. "6-9,36-59"; "-" when blank.
inline std::string Ranges(ColumnBits c) {
  std::string out;
  for (int r = 0; r < kHeadDots;) {
    if (!((c >> r) & 1)) {
      ++r;
      continue;
    }
    int e = r;
    while (e + 1 < kHeadDots && ((c >> (e + 1)) & 1)) ++e;
    if (!out.empty()) out += ',';
    out += std::to_string(r);
    if (e > r) out += "-" + std::to_string(e);
    r = e + 1;
  }
  return out.empty() ? "-" : out;
}

// Runs of equal columns: "3x[30-65] 6x[30-33,62-65] ...".
inline std::string Runs(const ItemImage& img) {
  std::string out;
  for (int c = 0; c < img.ColumnCount;) {
    const ColumnBits v = ColumnAt(img, c);
    int n = 1;
    while (c + n < img.ColumnCount && ColumnAt(img, c + n) == v) ++n;
    if (!out.empty()) out += ' ';
    out += std::to_string(n) + "x[" + Ranges(v) + "]";
    c += n;
  }
  return out;
}

}  // namespace qx::testing
