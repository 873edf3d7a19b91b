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
  return l;
}

}  // namespace qx
