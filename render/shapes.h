// Shape and digit elements (Digit_unit) drawn as LED dots, and the dot
// primitives they use. Primitives take window pixels and call plot_dot at
// every pixel along the figure, so with points of dot_pitch pixels the
// figures look solid.
#pragma once

#include <cstdint>

#include "scene/records.h"

// Straight line from (x0, y0) to (x1, y1), both ends included. The walk
// plots the start three times (as the sign's firmware does).
void draw_line(uint8_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Midpoint circle of radius r pixels around (xc, yc); r < 0 draws nothing,
// r 0 lights the centre.
void draw_circle(uint8_t colour, int32_t xc, int32_t yc, int32_t r);

// Rectangle outline with opposite corners (x0, y0) and (x1, y1).
void draw_rect(uint8_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Filled square of n x n pixels with its top-left at (x, y).
void draw_block(uint8_t colour, int32_t x, int32_t y, uint8_t n);

// Seven-segment picture of value with `digits` digits (1 to 4, zero
// padded, low digits kept) at top-left (x, y). a is the digit height in
// dots, b the stroke weight in dots (1 to 3); dots lie pitch pixels apart.
void draw_number(uint8_t colour, int32_t x, int32_t y, int32_t value, int32_t digits, uint8_t a,
                 uint8_t b, int pitch);

// Plain draw of a record. Outside the screen's dot grid (x <= 250 or
// y <= 140) the record keeps its position and is drawn at pitch 2; inside
// it follows the position rule to the current pitch. Returns -1 for a
// disabled record, else 0.
int draw_digit_unit(Digit_unit& e);

// Draw of the selected record, always at the current pitch. Returns -1 for
// a disabled record, else 0.
int draw_digit_unit_selected(Digit_unit& e);
