#include "ui/window_ops.h"

#include <cstdlib>

void window_position(const Window_ops& ops, int x, int y) {
    if (ops.position) ops.position(x, y);
}

void window_reshape(const Window_ops& ops, int w, int h) {
    if (ops.reshape) ops.reshape(w, h);
}

void window_set_cursor(const Window_ops& ops, int shape) {
    if (ops.set_cursor) ops.set_cursor(shape);
}

void window_pointer(const Window_ops& ops, int* x, int* y) {
    if (!ops.pointer || !ops.pointer(x, y)) *x = *y = 0;
}

void window_quit(const Window_ops& ops, int status) {
    if (ops.quit)
        ops.quit(status);
    else
        std::exit(status);
}

bool window_shift_held(const Window_ops& ops) { return ops.modifiers && (ops.modifiers() & window_shift); }
