// View state shared by every layer: the zoom, the screen origin of the dot
// grid, the selection and the last mouse position. Single-threaded; the
// input handlers write it, the frame reads it.
#pragma once

#include <cstdint>

// Window pixels per LED dot. Always within [min_dot_pitch, max_dot_pitch];
// change it through set_dot_pitch.
extern uint8_t dot_pitch;
constexpr int min_dot_pitch = 2;
constexpr int max_dot_pitch = 255;

// Anchor of the LED dot grid: element positions are kept at
// (screen_origin_x + column * dot_pitch, screen_origin_y + row * dot_pitch).
constexpr uint32_t screen_origin_x = 250;
constexpr uint32_t screen_origin_y = 140;

// "None" values are one past their range.
constexpr uint8_t no_board = 100;
constexpr uint8_t no_digit = 100;
constexpr uint8_t no_text = 40;
constexpr uint16_t no_graph = 500;   // the measured-rectangle pool's size (graph_draw_count)

extern uint8_t selected_board_col, selected_board_row;
extern uint8_t selected_digit_col, selected_digit_row;   // index in group, group
extern uint8_t selected_text;
// Index of the selected measured rectangle (no_graph: none): 16 bits, since
// the pool holds 500.
extern uint16_t selected_graph;

// Last mouse position in window pixels, written by both motion callbacks.
extern int32_t mouse_x, mouse_y;

// Size of the drawing area in window pixels (set by the reshape). Dots
// wholly outside it are not drawn.
extern int32_t view_width, view_height;

// Sets dot_pitch, held within [min_dot_pitch, max_dot_pitch].
void set_dot_pitch(int pitch);

// Position rule. An element keeps its position as window pixels together
// with the pitch in force when it was set. Inside the screen's dot grid
// (right of x 250 and below y 140) a change of pitch keeps it on the same
// dot: column = (x - 250) / stored, row = (y - 140) / stored, then
// x = 250 + column * dot_pitch, y = 140 + row * dot_pitch.

// True for a position outside the dot grid (x <= 250 or y <= 140): such
// an element keeps its position whatever the pitch.
inline bool outside_dot_grid(uint32_t x, uint32_t y) {
    return x <= screen_origin_x || y <= screen_origin_y;
}

// Moves (x, y) from stored_pitch to the current dot_pitch by the rule above.
// Positions outside the grid, and a stored pitch of 0, are left as they are.
// A position on the sign (see sign_led) keeps its LED instead, counted from
// the sign's corner, so what the card shows does not change with the zoom;
// one that the rule brings onto the sign lands on the LED it lies in.
void move_to_current_pitch(uint32_t* x, uint32_t* y, int stored_pitch);

// Puts a position that lies on the sign onto its LED grid at the current
// pitch (the LED it lies in), so an element dropped between LEDs shows
// where the card will show it. Others are left alone. True when the
// position was on the sign (it is then one at dot_pitch).
bool snap_to_board(uint32_t* x, uint32_t* y);

// Every value above back to its start-up value.
void reset_view_state();
