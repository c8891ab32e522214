#include "ui/window_state.h"

int32_t window_x = 50, window_y = 50;
int32_t window_w = 0, window_h = 0;
