// Geometry of the frameless main window, tracked by the editor itself since
// it moves and resizes the window on its own. Screen pixels. The client
// area is always (w - 16) x (h - 39).
#pragma once

#include <cstdint>

#include "ui/window_ops.h"

constexpr int32_t window_frame_w = 16;   // outer width minus client width
constexpr int32_t window_frame_h = 39;   // outer height minus client height
constexpr int32_t client_start_w = 1200;
constexpr int32_t client_start_h = 801;

// The smallest client area the window can be sized to: every toolbar entry
// of the right half stays reachable, and X never sees a size of 0.
constexpr int32_t min_client_w = 400;
constexpr int32_t min_client_h = 300;

// The window as the editor knows it, and what it asks of the window system.
struct Window_state {
    int32_t x = 50, y = 50;   // screen position of the outer top-left
    int32_t w = 0, h = 0;     // outer size, set at start-up (0: no window yet)
    Window_ops ops;           // the window system's operations (none: do nothing)

    // Toolbar close entry's x for the current width: its 20-pixel box ends
    // 4 pixels inside the client area's right edge.
    int32_t close_entry_x() const { return w - window_frame_w - 24; }
};
