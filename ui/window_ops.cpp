#include "ui/window_ops.h"

#include <cstdlib>

Window_ops window_ops;

void window_position(int x, int y) {
    if (window_ops.position) window_ops.position(x, y);
}

void window_reshape(int w, int h) {
    if (window_ops.reshape) window_ops.reshape(w, h);
}

void window_set_cursor(int shape) {
    if (window_ops.set_cursor) window_ops.set_cursor(shape);
}

void window_pointer(int* x, int* y) {
    if (!window_ops.pointer || !window_ops.pointer(x, y)) *x = *y = 0;
}

void window_quit(int status) {
    if (window_ops.quit)
        window_ops.quit(status);
    else
        std::exit(status);
}

bool window_shift_held() { return window_ops.modifiers && (window_ops.modifiers() & window_shift); }
