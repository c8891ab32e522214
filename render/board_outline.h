// Outlines of a unit board: the frame draws board (0, 0), solid red, or
// dashed with its green label "单元板#(a,b)" when the board is selected, and
// every other board in use dimmer.
#pragma once

#include "scene/records.h"

// Solid closed outline of p*width x p*height pixels at (x, y), p = pitch (window pixels per dot).
void draw_board_outline(const led_unit& board, int pitch);

// The same outline at a third of the board's colour: the other boards of
// the grid, so that what lies on them does not seem to float.
void draw_board_outline_dim(const led_unit& board, int pitch);

// Label 2 pixels above the top edge, then the outline dashed 2 on, 2 off.
void draw_board_outline_selected(const led_unit& board, int pitch);
