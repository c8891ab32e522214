// The scene: every pool of elements, their counters, the board grid, the
// view (zoom, selection, mouse, drawing area) and the screen settings, as
// one value. The editor owns one; the command-line tools and the tests make
// their own. Code that only reads the scene (drawing, the script writer,
// the live send's snapshot, the checks) takes a const Scene&; only editing
// code (input, replay, loading) takes a Scene&.
//
// The pools are fixed-size and never allocate: records are addressed by
// index and a Scene is constructed once, in its start-up state. A Scene is
// about 800 KB: keep it in static storage or on the heap, not on a stack.
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

constexpr int panel_type_menu_count = 4;
constexpr int brightness_menu_count = 2;
constexpr int toolbar_menu_count = 8;
constexpr int graph_draw_count = 500;
constexpr int string_draw_count = 40;

// Limits of the settings: the board grid holds 6 columns and 4 rows.
constexpr int32_t max_board_columns = 6;
constexpr int32_t max_board_rows = 4;
constexpr int32_t max_brightness = 8;

// Window pixels per LED dot: within [min_dot_pitch, max_dot_pitch].
constexpr int min_dot_pitch = 2;
constexpr int max_dot_pitch = 255;

// "None" values of the selection are one past their range.
constexpr uint8_t no_board = 100;
constexpr uint8_t no_digit = 100;
constexpr uint8_t no_text = 40;
constexpr uint16_t no_graph = graph_draw_count;

class Scene {
public:
    // The pools.
    led_unit led_units[led_unit_count];
    Digit_unit digit_units[digit_unit_count];
    menu_unit panel_type_menu[panel_type_menu_count];
    menu_unit brightness_menu[brightness_menu_count];
    menu_unit toolbar_menu[toolbar_menu_count];
    graph_draw graph_draws[graph_draw_count];
    string_draw string_draws[string_draw_count];

    // Pool counters.
    int32_t text_count = 0;    // one past the highest text a text command or Ctrl+E made
    int32_t graph_count = 0;   // graph_draw records in use (the first graph_count)
    int32_t rect_count = 0;    // shapes made by "led r" and the shape keys
    // (The counters say how far the pools were filled, as the files and the
    // card expect; which record a new element takes is free_records.h's.)
    // Elements made since the scene began, by any path; not stored. A replay
    // tells by them whether a line made an element.
    int32_t texts_made = 0, shapes_made = 0;

    // Grid counts: boards in use are rows 0..board_rows-1, columns 0..count-1.
    int32_t board_columns = 1;    // board hit test and scene files
    int32_t export_columns = 1;   // exporters and the live send
    int32_t board_rows = 1;

    // The view. dot_pitch: window pixels per LED dot; change it through
    // set_dot_pitch (view_state.h).
    uint8_t dot_pitch = start_dot_pitch;
    uint8_t selected_board_col = no_board, selected_board_row = no_board;
    uint8_t selected_digit_col = no_digit, selected_digit_row = no_digit;   // index in group, group
    uint8_t selected_text = no_text;
    uint16_t selected_graph = no_graph;   // 16 bits: the pool holds 500
    int32_t mouse_x = 0, mouse_y = 0;     // last mouse position, window pixels
    // Size of the drawing area in window pixels (set by the reshape). Dots
    // wholly outside it are not drawn.
    int32_t view_width = 1200, view_height = 801;

    // Screen settings written into the card's script.
    int32_t brightness_level = 8;   // 0..8; the card's script gets 9 - it
    uint8_t panel_type = 0;         // 0..3: 08 / 12 panels, data positive / negative

    // Record (group g, index i) of the shape and digit pool.
    Digit_unit& digit_at(int group, int index) { return digit_units[group * digit_group_size + index]; }
    const Digit_unit& digit_at(int group, int index) const {
        return digit_units[group * digit_group_size + index];
    }

    // Board (row r, column c).
    led_unit& board_at(int row, int col) { return led_units[row * board_grid_cols + col]; }
    const led_unit& board_at(int row, int col) const { return led_units[row * board_grid_cols + col]; }
};

// Every pool, counter, grid count, view value and setting back to its
// start-up value, in place.
void reset_scene(Scene& scene);
