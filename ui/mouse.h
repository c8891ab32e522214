// Mouse input: the three GLUT mouse callbacks, which select, drag, draw
// measured rectangles, click menu entries, and move and resize the
// frameless window.
#pragma once

#include "scene/scene.h"
#include "ui/ui_state.h"

#include <cstdint>

// GLUT's codes.
enum : int { mouse_left = 0, mouse_middle = 1, mouse_right = 2 };
enum : int { mouse_down = 0, mouse_up = 1 };

// Border zone of window point (x, y): 0 none, 1 top-left, 2 left,
// 3 bottom-left, 4 bottom, 5 bottom-right, 6 right, 7 top-right, 8 top,
// within 5 pixels of the client area's edges.
int border_zone(const Window_state& window, int32_t x, int32_t y);

// Clears every selection (each becomes its "none" value) and graph_grabbed.
void clear_selection(Input_state& input, Scene& scene);

// Button press or release at window point (x, y).
void on_mouse(Ui_state& ui, Scene& scene, int button, int state, int x, int y);

// Mouse moved with a button held; (x, y) window pixels.
void on_motion(Ui_state& ui, Scene& scene, int x, int y);

// Mouse moved with no button held; (x, y) window pixels.
void on_passive_motion(Ui_state& ui, Scene& scene, int x, int y);
