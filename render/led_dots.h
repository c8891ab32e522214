// LED dots: plot_dot is the only routine that lights a dot of the virtual
// screen. A dot is one square point centred on a window pixel.
#pragma once

#include <cstdint>

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

