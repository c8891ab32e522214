// The fixed, process-wide pools that hold the whole scene, their counters
// and the grid counts of the unit boards. Nothing here is ever allocated or
// freed while the program runs; records are addressed by index.
#pragma once

#include <cstdint>

#include "scene/records.h"

// Unit boards: 4 rows of 6 columns, row-major (board (r, c) is r*6 + c).
constexpr int board_grid_rows = 4;
constexpr int board_grid_cols = 6;
constexpr int led_unit_count = board_grid_rows * board_grid_cols;

// Shape and digit elements: 100 groups of 100; only groups 0..19 are used.
constexpr int digit_group_size = 100;
constexpr int digit_group_count = 100;
constexpr int digit_groups_in_use = 20;
constexpr int digit_unit_count = digit_group_size * digit_group_count;

constexpr int digit_unit_menu_count = 100;
constexpr int panel_type_menu_count = 4;
constexpr int brightness_menu_count = 2;
constexpr int toolbar_menu_count = 8;
constexpr int graph_draw_count = 500;
constexpr int string_draw_count = 40;

// The pools, in their construction order.
extern led_unit led_units[led_unit_count];
extern Digit_unit digit_units[digit_unit_count];
extern Digit_unit_menu digit_unit_menus[digit_unit_menu_count];
extern menu_unit panel_type_menu[panel_type_menu_count];
extern menu_unit brightness_menu[brightness_menu_count];
extern menu_unit toolbar_menu[toolbar_menu_count];
extern graph_draw graph_draws[graph_draw_count];
extern string_draw string_draws[string_draw_count];
extern cmd_unit cmd_list;

// Pool counters.
extern int32_t text_count;    // next string_draw for a text command or Ctrl+E
extern int32_t graph_count;   // graph_draw records in use (the first graph_count)
extern int32_t rect_count;    // shapes made by "led r" and the shape keys

// Grid counts: boards in use are rows 0..board_rows-1, columns 0..count-1.
extern int32_t board_columns;   // board hit test and scene files
extern int32_t export_columns;  // exporters and the live send
extern int32_t board_rows;

// Record (group g, index i) of the shape and digit pool.
inline Digit_unit& digit_at(int group, int index) {
    return digit_units[group * digit_group_size + index];
}

// Board (row r, column c).
inline led_unit& board_at(int row, int col) {
    return led_units[row * board_grid_cols + col];
}

// Boards the outputs (script, live send, card picture) walk: rows
// 0..board_rows-1 and columns 0..export_columns-1, held within the grid.
int output_rows();
int output_columns();

// Board u's LEDs at pitch p cover window pixel (x, y): u.x <= x < u.x +
// u.width * p, and the same for y (unsigned, so an element on the left or
// top edge is on the board).
inline bool board_covers(const led_unit& u, uint32_t x, uint32_t y, int p) {
    const int64_t ux = static_cast<uint32_t>(u.x), uy = static_cast<uint32_t>(u.y);
    return x >= ux && x < ux + int64_t{u.width} * p && y >= uy && y < uy + int64_t{u.height} * p;
}

// The board in use by the outputs whose LEDs cover window pixel (x, y) at
// pitch p: U.x <= x < U.x + U.width * p, and the same for y (unsigned, so an
// element on a board's left or top edge belongs to it, and one on the edge
// two boards share belongs to the right or lower one). The first such board
// in row-major order; false when there is none.
bool board_holding(uint32_t x, uint32_t y, int p, int* row, int* col);

// The card's screen for the boards in use, in LEDs: board (r, c) shows from
// LED (c * U.width, r * U.height), so the screen reaches the furthest
// board's far edge. 0 x 0 when no board is in use.
void output_screen_size(int* width, int* height);

// Brings every pool, counter, grid count, view and setting of the scene
// back to its start-up value (as constructed before main).
void reset_scene_state();
