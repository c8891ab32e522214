// Mouse input: the three GLUT mouse callbacks, which select, drag, draw
// measured rectangles, click menu entries, and move and resize the
// frameless window.
#pragma once

#include "scene/scene.h"

#include <cstdint>

// GLUT's codes.
enum : int { mouse_left = 0, mouse_middle = 1, mouse_right = 2 };
enum : int { mouse_down = 0, mouse_up = 1 };

// Interaction state. At most one grab flag is set by a left press; the
// release clears them all.
extern uint8_t board_grabbed, digit_grabbed, text_grabbed, graph_grabbed, menu_grabbed;
extern uint8_t window_dragging;     // the press hit nothing: the drag moves or resizes
extern int32_t resize_edge;         // border zone of the press, 0: move
extern int32_t anchor_x, anchor_y;  // grab offset, or the pointer's last screen position
extern int32_t resize_anchor_x, resize_anchor_y;
extern uint8_t corner_clicks;       // rectangle corners placed; odd while one is open

// Border zone of window point (x, y): 0 none, 1 top-left, 2 left,
// 3 bottom-left, 4 bottom, 5 bottom-right, 6 right, 7 top-right, 8 top,
// within 5 pixels of the client area's edges.
int border_zone(int32_t x, int32_t y);

// Clears every selection (each becomes its "none" value) and graph_grabbed.
void clear_selection(Scene& scene);

// Button press or release at window point (x, y).
void on_mouse(Scene& scene, int button, int state, int x, int y);

// Mouse moved with a button held; (x, y) window pixels.
void on_motion(Scene& scene, int x, int y);

// Mouse moved with no button held; (x, y) window pixels.
void on_passive_motion(Scene& scene, int x, int y);

// Every grab flag, anchor, the window geometry and operations, and the
// menu and keyboard state back to their start-up values.
void reset_input_state();
