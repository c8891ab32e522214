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
    led_highlight = 255,   // a code of stored scenes; shown red, as the card shows it
};

// Lights the dot centred at window pixel (x, y), dot_pitch pixels wide, in
// the colour the card gives the code (card_colour: 1 green, 2 yellow, every
// other code red), so no dot depends on what was drawn before it. Dots
// wholly outside the drawing area are dropped (the picture is the same).
void plot_dot(uint8_t colour, int32_t x, int32_t y);

// The editor's target: window pixels, dots of dot_pitch pixels, pitch
// dot_pitch, clipped to the drawing area and the reach of a point beyond it.
// Refreshed from the view state at every call.
Draw_target& editor_target();

// The editor's target for the palette and the margins (outside the dot
// grid): dots 2 pixels apart and 2 pixels wide whatever the zoom, so they
// keep their place and look.
Draw_target& margin_target();

// Keeps the editor's target off a region of window pixels (the sign, while
// the elements that lie on no board are drawn): a dot whose point would
// reach into [left, right] x [top, bottom] is dropped. No region: pass
// left > right.
void set_editor_keep_out(int64_t left, int64_t top, int64_t right, int64_t bottom);

