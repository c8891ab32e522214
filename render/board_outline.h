// Outlines of a unit board, drawn into the sink given: the frame draws board (0, 0), solid red, or
// dashed with its green label "单元板#(a,b)" when the board is selected, and
// every other board in use dimmer.
#pragma once

#include "render/dot_sink.h"
#include "render/outline_font.h"
#include "scene/records.h"

// Solid closed outline of p*width x p*height pixels at (x, y), p = pitch (window pixels per dot).
void draw_board_outline(Dot_sink& sink, const led_unit& board, int pitch);

// The same outline at a third of the board's colour: the other boards of
// the grid, so that what lies on them does not seem to float.
void draw_board_outline_dim(Dot_sink& sink, const led_unit& board, int pitch);

// Label 2 pixels above the top edge, then the outline dashed 2 on, 2 off.
void draw_board_outline_selected(const Screen& screen, const led_unit& board, int pitch);
