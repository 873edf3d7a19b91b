// Positions and sizes the start-up layout gives the main window for its screen, and the
// rules that keep the window within the screen: sizes are in the screen's
// device-independent pixels, for the area a window may take (the screen less its panels).
#pragma once

namespace qx {

struct WindowLayout {
  int max_width = 0, max_height = 0;
  int grid_width = 0, grid_height = 0;
  int tool_panel_width = 0;
  int status0_width = 0;
  int upper_line_left = 0, upper_line_top = 0, upper_line_width = 0;
  int lower_line_left = 0, lower_line_top = 0, lower_line_width = 0;
  bool logo_visible = true;
  int logo_left = 0;
  int grid_col0_width = 30;
  int grid_text_col_width = 0;  // columns 1 and 2

  // A screen too low for the full window (below 600 pixels, e.g. a 1024 x 768 screen at
  // twice the scale) gets a compact one: no logo picture, smaller tool icons, smaller line
  // editors and a preview at the printer's own scale, so that the Segment list keeps rows.
  bool compact = false;
  bool logo_picture_visible = true;
  int line_font_px = 53;    // the two line editors' font
  int tool_icon_px = 28;    // the icons of the file and print commands
  bool two_row_tool_bars = false;  // each tool bar in two rows (narrow or compact windows)
  int preview_scale = 2;    // screen pixels per printer dot in the preview (1 below 900)
};

WindowLayout ComputeLayout(int screen_width, int screen_height);

// The share of the status bar's first panel: half the window's width.
inline int StatusPanelWidth(int window_width) {
  return window_width / 2;
}

struct ScreenRect {
  int x = 0, y = 0, width = 0, height = 0;
};

// Whether a window placement remembered from an earlier run (its frame, in the screen's
// coordinates) may be used again on the screen's available area: it must lie wholly
// inside it and not be smaller than a usable window.
bool PlacementFits(const ScreenRect& frame, const ScreenRect& available);

}  // namespace qx
