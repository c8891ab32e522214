// Geometry of the frameless main window, tracked by the editor itself since
// it moves and resizes the window on its own. Screen pixels. The client
// area is always (window_w - 16) x (window_h - 39).
#pragma once

#include <cstdint>

constexpr int32_t window_frame_w = 16;   // outer width minus client width
constexpr int32_t window_frame_h = 39;   // outer height minus client height
constexpr int32_t client_start_w = 1200;
constexpr int32_t client_start_h = 801;

extern int32_t window_x, window_y;   // screen position (50, 50 at start)
extern int32_t window_w, window_h;   // outer size, set at start-up

// Toolbar close entry's x for the current window width: its 20-pixel box
// ends 4 pixels inside the client area's right edge.
inline int32_t close_entry_x() { return window_w - window_frame_w - 24; }

// The smallest client area the window can be sized to: every toolbar entry
// of the right half stays reachable, and X never sees a size of 0.
constexpr int32_t min_client_w = 400;
constexpr int32_t min_client_h = 300;
