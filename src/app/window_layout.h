// Positions and sizes the start-up layout gives the main window for its screen.
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
};

WindowLayout ComputeLayout(int screen_width, int screen_height);

}  // namespace qx
