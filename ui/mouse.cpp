#include "ui/mouse.h"

#include "scene/view_state.h"

void on_motion(int x, int y) {
    mouse_x = x;
    mouse_y = y;
}

void on_passive_motion(int x, int y) {
    mouse_x = x;
    mouse_y = y;
}
