#include "scene/view_state.h"

#include "scene/pools.h"

// Constant-initialised, so records built before main already see pitch 2.
uint8_t dot_pitch = 2;

uint8_t selected_board_col = no_board, selected_board_row = no_board;
uint8_t selected_digit_col = no_digit, selected_digit_row = no_digit;
uint8_t selected_text = no_text;
uint16_t selected_graph = no_graph;
static_assert(no_graph == graph_draw_count, "no_graph is one past the last measured rectangle");

int32_t mouse_x = 0, mouse_y = 0;

int32_t view_width = 1200, view_height = 801;

void set_dot_pitch(int pitch) {
    if (pitch < min_dot_pitch) pitch = min_dot_pitch;
    if (pitch > max_dot_pitch) pitch = max_dot_pitch;
    dot_pitch = static_cast<uint8_t>(pitch);
}

void move_to_current_pitch(uint32_t* x, uint32_t* y, int stored_pitch) {
    if (stored_pitch <= 0) return;
    int32_t lx, ly;
    const led_unit& b = board_at(0, 0);
    const uint32_t bx = static_cast<uint32_t>(b.x), by = static_cast<uint32_t>(b.y);
    if (sign_led(*x, *y, stored_pitch, &lx, &ly)) {
        // On the sign: keep its LED (the sign scales about its corner), so
        // a zoom never changes what the card shows.
        *x = bx + static_cast<uint32_t>(lx) * dot_pitch;
        *y = by + static_cast<uint32_t>(ly) * dot_pitch;
        return;
    }
    if (outside_dot_grid(*x, *y)) return;
    uint32_t stored = static_cast<uint32_t>(stored_pitch);
    uint32_t col = (*x - screen_origin_x) / stored;
    uint32_t row = (*y - screen_origin_y) / stored;
    *x = screen_origin_x + col * dot_pitch;
    *y = screen_origin_y + row * dot_pitch;
    snap_to_board(x, y);   // landed on the sign: on one of its LEDs
}

bool snap_to_board(uint32_t* x, uint32_t* y) {
    int32_t lx, ly;
    if (!sign_led(*x, *y, dot_pitch, &lx, &ly)) return false;
    const led_unit& b = board_at(0, 0);
    *x = static_cast<uint32_t>(b.x) + static_cast<uint32_t>(lx) * dot_pitch;
    *y = static_cast<uint32_t>(b.y) + static_cast<uint32_t>(ly) * dot_pitch;
    return true;
}

void reset_view_state() {
    dot_pitch = 2;
    selected_board_col = selected_board_row = no_board;
    selected_digit_col = selected_digit_row = no_digit;
    selected_text = no_text;
    selected_graph = no_graph;
    mouse_x = mouse_y = 0;
    view_width = 1200;
    view_height = 801;
}
