// LED dots of the editor: plot_dot is the only routine that lights a dot of
// the virtual screen, one square point centred on a window pixel. The
// editor's draw target sends every dot of the primitives here.
#pragma once

#include <cstdint>

#include "render/draw_target.h"

// LED colour codes.
enum : uint8_t {
    led_red = 0,
    led_green = 1,
    led_yellow = 2,
    led_highlight = 255,   // orange, always 2 pixels whatever the pitch
};

// Lights the dot centred at window pixel (x, y). Codes 0, 1, 2 set red,
// green or yellow, 255 the highlight at point size 2; any other code keeps
// the current colour. Other codes draw at dot_pitch pixels. Dots wholly
// outside the drawing area are dropped (the picture is the same). Always
// returns false.
bool plot_dot(uint8_t colour, int32_t x, int32_t y);

// The editor's target: window pixels, dots through plot_dot, pitch
// dot_pitch, clipped to the drawing area and the reach of a point beyond it.
// Refreshed from the view state at every call.
Draw_target& editor_target();

// Sends the editor's LED dots (window pixels, as the frame draws them) to
// target instead of the window, with target's clip region; null restores
// the window. For pictures of the scene made without a window.
void redirect_editor_dots(Draw_target* target);
