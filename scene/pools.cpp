#include "scene/pools.h"

#include <algorithm>

#include "scene/view_state.h"

int output_rows(const Scene& scene) { return scene.board_rows < 0 ? 0 : scene.board_rows > board_grid_rows ? board_grid_rows : scene.board_rows; }

int output_columns(const Scene& scene) {
    return scene.export_columns < 0 ? 0 : scene.export_columns > board_grid_cols ? board_grid_cols : scene.export_columns;
}

void set_board_columns(Scene& scene, int32_t columns) {
    scene.board_columns = scene.export_columns = columns;
}

void lay_out_boards(Scene& scene) {
    led_unit& b = scene.board_at(0, 0);
    if (b.x <= static_cast<int32_t>(screen_origin_x)) b.x = 276;
    if (b.y <= static_cast<int32_t>(screen_origin_y)) b.y = 226;
    const int64_t p = scene.dot_pitch;
    for (int r = 0; r < board_grid_rows; ++r)
        for (int c = 0; c < board_grid_cols; ++c) {
            if (r == 0 && c == 0) continue;
            led_unit& u = scene.board_at(r, c);
            u.width = b.width;
            u.height = b.height;
            // Window pixels wrap as the corner's own coordinates do.
            u.x = static_cast<int32_t>(static_cast<uint32_t>(
                int64_t{static_cast<uint32_t>(b.x)} + c * int64_t{std::max(b.width, 0)} * p));
            u.y = static_cast<int32_t>(static_cast<uint32_t>(
                int64_t{static_cast<uint32_t>(b.y)} + r * int64_t{std::max(b.height, 0)} * p));
        }
}

bool sign_led(const Scene& scene, uint32_t x, uint32_t y, int p, int32_t* led_x, int32_t* led_y) {
    int w, h;
    output_screen_size(scene, &w, &h);
    if (p <= 0 || w <= 0 || h <= 0) return false;
    const led_unit& b = scene.board_at(0, 0);
    const int64_t dx = int64_t{x} - static_cast<uint32_t>(b.x), dy = int64_t{y} - static_cast<uint32_t>(b.y);
    if (dx < 0 || dy < 0 || dx >= int64_t{w} * p || dy >= int64_t{h} * p) return false;
    *led_x = static_cast<int32_t>(dx / p);
    *led_y = static_cast<int32_t>(dy / p);
    return true;
}

void output_screen_size(const Scene& scene, int* width, int* height) {
    const led_unit& b = scene.board_at(0, 0);
    const int64_t w = int64_t{output_columns(scene)} * std::max(b.width, 0);
    const int64_t h = int64_t{output_rows(scene)} * std::max(b.height, 0);
    // A screen beyond 16384 LEDs a side is no sign; keep the picture bounded.
    *width = w > 0 && h > 0 ? static_cast<int>(std::min<int64_t>(w, 16384)) : 0;
    *height = w > 0 && h > 0 ? static_cast<int>(std::min<int64_t>(h, 16384)) : 0;
}
