#include "scene/pools.h"

#include <algorithm>

#include "scene/settings.h"
#include "scene/view_state.h"

// All pools are defined in this one file so that their constructors run in
// this order, before main.
led_unit led_units[led_unit_count];
Digit_unit digit_units[digit_unit_count];
Digit_unit_menu digit_unit_menus[digit_unit_menu_count];
menu_unit panel_type_menu[panel_type_menu_count];
menu_unit brightness_menu[brightness_menu_count];
menu_unit toolbar_menu[toolbar_menu_count];
graph_draw graph_draws[graph_draw_count];
string_draw string_draws[string_draw_count];
cmd_unit cmd_list;

int32_t text_count = 0;
int32_t graph_count = 0;
int32_t rect_count = 0;

int32_t board_columns = 1;
int32_t export_columns = 1;
int32_t board_rows = 1;

int output_rows() { return board_rows < 0 ? 0 : board_rows > board_grid_rows ? board_grid_rows : board_rows; }

int output_columns() {
    return export_columns < 0 ? 0 : export_columns > board_grid_cols ? board_grid_cols : export_columns;
}

bool board_holding(uint32_t x, uint32_t y, int p, int* row, int* col) {
    for (int r = 0; r < output_rows(); ++r)
        for (int c = 0; c < output_columns(); ++c) {
            if (board_covers(board_at(r, c), x, y, p)) {
                *row = r;
                *col = c;
                return true;
            }
        }
    return false;
}

void output_screen_size(int* width, int* height) {
    int64_t w = 0, h = 0;
    for (int r = 0; r < output_rows(); ++r)
        for (int c = 0; c < output_columns(); ++c) {
            const led_unit& u = board_at(r, c);
            w = std::max(w, int64_t{c + 1} * std::max(u.width, 0));
            h = std::max(h, int64_t{r + 1} * std::max(u.height, 0));
        }
    // A screen beyond 16384 LEDs a side is no sign; keep the picture bounded.
    *width = static_cast<int>(std::min<int64_t>(w, 16384));
    *height = static_cast<int>(std::min<int64_t>(h, 16384));
}

void reset_scene_state() {
    reset_view_state();   // first: new records take the start-up pitch
    for (led_unit& r : led_units) r = led_unit();
    for (Digit_unit& r : digit_units) r = Digit_unit();
    for (Digit_unit_menu& r : digit_unit_menus) r = Digit_unit_menu();
    for (menu_unit& r : panel_type_menu) r = menu_unit();
    for (menu_unit& r : brightness_menu) r = menu_unit();
    for (menu_unit& r : toolbar_menu) r = menu_unit();
    for (graph_draw& r : graph_draws) r = graph_draw();
    for (string_draw& r : string_draws) r = string_draw();
    text_count = graph_count = rect_count = 0;
    board_columns = export_columns = board_rows = 1;
    reset_settings();
}
