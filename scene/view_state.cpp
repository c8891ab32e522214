#include "scene/view_state.h"

// Constant-initialised, so records built before main already see pitch 2.
uint8_t dot_pitch = 2;

uint8_t selected_board_col = no_board, selected_board_row = no_board;
uint8_t selected_digit_col = no_digit, selected_digit_row = no_digit;
uint8_t selected_text = no_text;
uint8_t selected_graph = 100;

int32_t mouse_x = 0, mouse_y = 0;

void set_dot_pitch(int pitch) {
    if (pitch < min_dot_pitch) pitch = min_dot_pitch;
    if (pitch > max_dot_pitch) pitch = max_dot_pitch;
    dot_pitch = static_cast<uint8_t>(pitch);
}
