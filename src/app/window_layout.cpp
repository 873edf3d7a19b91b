#include "app/window_layout.h"

namespace qx {

WindowLayout ComputeLayout(int w, int h) {
  WindowLayout l;
  l.max_width = w;
  l.max_height = h;
  l.grid_width = w - 160;
  l.tool_panel_width = l.grid_width;
  l.status0_width = w / 2;
  if (h > 760) {
    l.lower_line_left = 10;
    l.lower_line_top = h - 170;
    l.lower_line_width = w - 40;
    l.upper_line_left = 10;
    l.upper_line_top = l.lower_line_top - 80;
    l.upper_line_width = w - 40;
    l.grid_height = l.upper_line_top - 110;
    l.logo_visible = true;
    l.logo_left = (l.tool_panel_width - 783) / 2 + 623;
  } else {
    l.logo_visible = false;
    l.lower_line_left = 136;
    l.lower_line_top = h - 160;
    l.lower_line_width = w - 175;
    l.upper_line_left = 136;
    l.upper_line_top = l.lower_line_top - 70;
    l.upper_line_width = w - 175;
    l.grid_height = l.upper_line_top - 98;
  }
  l.grid_text_col_width = (l.grid_width - 40) / 2;
  // Twice the printer's scale where the screen is high enough for it and the list.
  l.preview_scale = h >= 900 ? 2 : 1;
  l.two_row_tool_bars = w < 1100 || h < 600;
  if (h < 600) {
    l.compact = true;
    l.logo_picture_visible = false;
    l.line_font_px = h * 53 / 768 < 22 ? 22 : h * 53 / 768;
    l.tool_icon_px = 20;
    l.preview_scale = 1;
  }
  return l;
}

bool PlacementFits(const ScreenRect& frame, const ScreenRect& available) {
  constexpr int kSmallest = 200;
  return frame.width >= kSmallest && frame.height >= kSmallest && frame.x >= available.x &&
         frame.y >= available.y && frame.x + frame.width <= available.x + available.width &&
         frame.y + frame.height <= available.y + available.height;
}

}  // namespace qx
