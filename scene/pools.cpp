#include "scene/pools.h"

#include <algorithm>

#include "scene/settings.h"
#include "scene/view_state.h"

// All pools are defined in this one file so that their constructors run in
// this order, before main.
led_unit led_units[led_unit_count];
Digit_unit digit_units[digit_unit_count];
menu_unit panel_type_menu[panel_type_menu_count];
menu_unit brightness_menu[brightness_menu_count];
menu_unit toolbar_menu[toolbar_menu_count];
graph_draw graph_draws[graph_draw_count];
string_draw string_draws[string_draw_count];

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

void lay_out_boards() {
    led_unit& b = board_at(0, 0);
    if (b.x <= static_cast<int32_t>(screen_origin_x)) b.x = 276;
    if (b.y <= static_cast<int32_t>(screen_origin_y)) b.y = 226;
    const int64_t p = dot_pitch;
    for (int r = 0; r < board_grid_rows; ++r)
        for (int c = 0; c < board_grid_cols; ++c) {
            if (r == 0 && c == 0) continue;
            led_unit& u = board_at(r, c);
            u.width = b.width;
            u.height = b.height;
            // Window pixels wrap as the corner's own coordinates do.
            u.x = static_cast<int32_t>(static_cast<uint32_t>(
                int64_t{static_cast<uint32_t>(b.x)} + c * int64_t{std::max(b.width, 0)} * p));
            u.y = static_cast<int32_t>(static_cast<uint32_t>(
                int64_t{static_cast<uint32_t>(b.y)} + r * int64_t{std::max(b.height, 0)} * p));
        }
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

bool sign_led(uint32_t x, uint32_t y, int p, int32_t* led_x, int32_t* led_y) {
    int w, h;
    output_screen_size(&w, &h);
    if (p <= 0 || w <= 0 || h <= 0) return false;
    const led_unit& b = board_at(0, 0);
    const int64_t dx = int64_t{x} - static_cast<uint32_t>(b.x), dy = int64_t{y} - static_cast<uint32_t>(b.y);
    if (dx < 0 || dy < 0 || dx >= int64_t{w} * p || dy >= int64_t{h} * p) return false;
    *led_x = static_cast<int32_t>(dx / p);
    *led_y = static_cast<int32_t>(dy / p);
    return true;
}

void output_screen_size(int* width, int* height) {
    const led_unit& b = board_at(0, 0);
    const int64_t w = int64_t{output_columns()} * std::max(b.width, 0);
    const int64_t h = int64_t{output_rows()} * std::max(b.height, 0);
    // A screen beyond 16384 LEDs a side is no sign; keep the picture bounded.
    *width = w > 0 && h > 0 ? static_cast<int>(std::min<int64_t>(w, 16384)) : 0;
    *height = w > 0 && h > 0 ? static_cast<int>(std::min<int64_t>(h, 16384)) : 0;
}

void reset_scene_state() {
    reset_view_state();   // first: new records take the start-up pitch
    for (led_unit& r : led_units) r = led_unit();
    for (Digit_unit& r : digit_units) r = Digit_unit();
    for (menu_unit& r : panel_type_menu) r = menu_unit();
    for (menu_unit& r : brightness_menu) r = menu_unit();
    for (menu_unit& r : toolbar_menu) r = menu_unit();
    for (graph_draw& r : graph_draws) r = graph_draw();
    for (string_draw& r : string_draws) r = string_draw();
    text_count = graph_count = rect_count = 0;
    board_columns = export_columns = board_rows = 1;
    reset_settings();
}
