// What the input handlers ask of the window system: move and resize the
// main window, set the cursor, read the pointer's screen position, end the
// program. The GLUT shell installs the real operations in its Window_state
// (ui/window_state.h); where none is installed (tests) they do nothing, and
// the pointer reads as (0, 0).
#pragma once

// Cursor shapes, numbered as GLUT numbers them.
enum : int {
    cursor_right_arrow = 0,
    cursor_text = 8,
    cursor_crosshair = 9,
    cursor_up_down = 10,
    cursor_left_right = 11,
    cursor_right_side = 15,
    cursor_top_left_corner = 16,
    cursor_top_right_corner = 17,
};

struct Window_ops {
    void (*position)(int x, int y) = nullptr;    // outer top-left, screen pixels
    void (*reshape)(int w, int h) = nullptr;     // client size, pixels
    void (*set_cursor)(int shape) = nullptr;
    bool (*pointer)(int* x, int* y) = nullptr;   // pointer on the screen
    void (*quit)(int status) = nullptr;          // end the program
    int (*modifiers)() = nullptr;                // keys held with the last key: window_shift...
};

// Bits of Window_ops::modifiers, as GLUT numbers them.
enum : int { window_shift = 1, window_ctrl = 2, window_alt = 4 };

// Calls through ops, doing nothing where no operation is installed (quit
// without one ends the process).
void window_position(const Window_ops& ops, int x, int y);
void window_reshape(const Window_ops& ops, int w, int h);
void window_set_cursor(const Window_ops& ops, int shape);
void window_pointer(const Window_ops& ops, int* x, int* y);
void window_quit(const Window_ops& ops, int status);
bool window_shift_held(const Window_ops& ops);   // with the key being handled
