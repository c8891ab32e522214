// Shape and digit elements (Digit_unit) drawn as LED dots, and the dot
// primitives they use. Every primitive draws into a target passed to it
// (see draw_target.h), stepping one target unit at a time: a pixel of the
// editor's window (each dot a point of dot_pitch pixels, so figures look
// solid), or an LED of a card's screen.
#pragma once

#include <cstdint>

#include "render/draw_target.h"
#include "scene/records.h"

// Straight line from (x0, y0) to (x1, y1), both ends included. The walk
// lights the start three times; lit again, an LED looks the same, so only
// a target that counts its dots sees the difference.
void draw_line(Draw_target& t, uint8_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Midpoint circle of radius r units around (xc, yc); r < 0 draws nothing,
// r 0 lights the centre.
void draw_circle(Draw_target& t, uint8_t colour, int32_t xc, int32_t yc, int32_t r);

// Rectangle outline with opposite corners (x0, y0) and (x1, y1).
void draw_rect(Draw_target& t, uint8_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1);

// Filled square of n x n units with its top-left at (x, y).
void draw_block(Draw_target& t, uint8_t colour, int32_t x, int32_t y, uint8_t n);

// Seven-segment picture of value with `digits` digits (1 to 4, zero
// padded, low digits kept) at top-left (x, y). a is the digit height in
// dots, b the stroke weight in dots (1 to 3); dots lie t.pitch units apart.
void draw_number(Draw_target& t, uint8_t colour, int32_t x, int32_t y, int32_t value,
                 int32_t digits, uint8_t a, uint8_t b);

// The picture of a digit element: `digits` eights (8, 88, 888 or 8888) of
// height param_a and stroke param_b at (x, y); nothing for other digit
// counts.
void draw_digit_picture(Draw_target& t, const Digit_unit& e, int32_t x, int32_t y);

// Draw of a shape or digit record (nothing for a disabled one). Outside
// the screen's dot grid (x <= 250 or y <= 140) an unselected record is
// drawn on the margin target, at pitch 2; otherwise on the grid target at
// its pitch. The record's place is settled by the editing code (see
// settle_after_edit), never here.
void draw_digit_unit(Draw_target& grid, Draw_target& margin, const Digit_unit& e, bool selected);
