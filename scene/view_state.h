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

extern uint8_t selected_board_col, selected_board_row;
extern uint8_t selected_digit_col, selected_digit_row;   // index in group, group
extern uint8_t selected_text;
extern uint8_t selected_graph;

// Last mouse position in window pixels, written by both motion callbacks.
extern int32_t mouse_x, mouse_y;

// Sets dot_pitch, held within [min_dot_pitch, max_dot_pitch].
void set_dot_pitch(int pitch);
