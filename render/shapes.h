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

// The position step of the plain draw alone (see below): what the next
// frame would do to the record's place before drawing it.
void settle_digit_position(Digit_unit& e);

// Every shape, digit and text record to the current pitch (the position
// step of the draws), and each that lies on the sign onto the LED it lies
// in. Called where positions change: load, replay, zoom, keys, drop.
void settle_positions_on_sign();

// Plain draw of a record. Outside the screen's dot grid (x <= 250 or
// y <= 140) the record keeps its position and is drawn at pitch 2; inside
// it follows the position rule to the current pitch. Returns -1 for a
// disabled record, else 0.
int draw_digit_unit(Digit_unit& e);

// Draw of the selected record, always at the current pitch. Returns -1 for
// a disabled record, else 0.
int draw_digit_unit_selected(Digit_unit& e);
