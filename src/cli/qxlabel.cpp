// qxlabel: the command-line side of QX Editor.
//
//   qxlabel measure [--face NAME] [--size CODE] TEXT
//       Measures TEXT (UTF-8) the way the editor does: each single-byte character by
//       its drawing in the face, each double-byte character as a square cell. Prints
//       the widths and the line as drawn, one character cell after another.
//   qxlabel fonts
//       Lists the font faces the editor offers.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "document/gbk.h"
#include "layout/font_resolver.h"
#include "layout/freetype_canvas.h"
#include "layout/measure.h"
#include "layout/sizes.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: qxlabel measure [--face NAME] [--size 0-7] TEXT\n"
               "       qxlabel fonts\n");
  return 2;
}

int Fonts() {
  for (const std::string& name : qx::FontResolver::Shared().InstalledFaceNames())
    std::printf("%s\n", name.c_str());
  return 0;
}

int Measure(int argc, char** argv) {
  std::string face = "黑体";
  int code = 4;
  std::string text;
  for (int i = 0; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--face") && i + 1 < argc) {
      face = argv[++i];
    } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
      code = std::atoi(argv[++i]);
      if (code < 0 || code > 7) return Usage();
    } else if (text.empty()) {
      text = argv[i];
    } else {
      return Usage();
    }
  }
  if (text.empty()) return Usage();

  const qx::gbk::EncodeResult enc = qx::gbk::FromUtf8(text);
  if (!enc.ok()) {
    std::string bad;
    for (const auto& r : enc.rejected) {
      if (!bad.empty()) bad += ", ";
      qx::gbk::AppendUtf8(bad, r.codepoint);
    }
    std::fprintf(stderr, "qxlabel: GBK cannot represent: %s\n", bad.c_str());
    return 1;
  }
  const std::string& gbk = enc.gbk;
  const auto size = static_cast<uint8_t>(code);
  const int h = qx::SizeHeight(size);

  qx::FreeTypeCanvas measure_canvas;
  qx::GlyphMeasurer measurer(measure_canvas);
  measurer.SetFace(face);

  // Widths of the character cells, in order.
  struct Cell {
    std::string_view bytes;
    int width;
  };
  std::vector<Cell> cells;
  int total = 0;
  qx::gbk::ForEachChar(gbk, [&](std::size_t, std::string_view ch) {
    const int w = ch.size() == 2 ? h : measurer.MeasureGlyph(static_cast<unsigned char>(ch[0]), size);
    cells.push_back({ch, w});
    total += w;
  });

  measure_canvas.SelectFont(face, h, true);
  std::printf("Face %s (drawn with %s), size %d: cells %d dots high\n", face.c_str(),
              measure_canvas.UsedFaceName().c_str(), code, h);
  for (const Cell& c : cells)
    std::printf("  %-4s %3d dots\n", qx::gbk::ToUtf8(c.bytes).c_str(), c.width);
  std::printf("Sum of the character cells: %d dots (%.1f mm at 11 dots per mm)\n", total,
              total / 11.0);

  // The line as drawn: each character in its own cell, bold, cells side by side.
  qx::FreeTypeCanvas line(std::max(total, 1), h);
  line.Fill(0, 0, line.width(), h, qx::kWhite);
  line.SetTextColor(qx::kBlack);
  line.SelectFont(face, h, true);
  int x = 0;
  for (const Cell& c : cells) {
    if (c.width > 0) {
      qx::FreeTypeCanvas glyph(std::max(c.width, 1), h);
      glyph.Fill(0, 0, glyph.width(), h, qx::kWhite);
      glyph.SelectFont(face, h, true);
      glyph.DrawText(0, 0, c.bytes);
      for (int gy = 0; gy < h; ++gy)
        for (int gx = 0; gx < glyph.width(); ++gx)
          if (glyph.IsBlack(gx, gy)) line.Fill(x + gx, gy, x + gx + 1, gy + 1, qx::kBlack);
    }
    x += c.width;
  }
  for (int y = 0; y < h; ++y) {
    std::string row;
    for (int px = 0; px < line.width(); ++px) row += line.IsBlack(px, y) ? '#' : '.';
    std::printf("%s\n", row.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string cmd = argv[1];
  try {
    if (cmd == "fonts") return Fonts();
    if (cmd == "measure") return Measure(argc - 2, argv + 2);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qxlabel: %s\n", e.what());
    return 1;
  }
  return Usage();
}
