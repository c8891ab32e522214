// Measured rectangles (graph_draw): thin GL outlines over the screen with
// engineering-drawing dimension lines and their width and height in LED
// dots, in the outline font. Not LED dots.
#pragma once

#include "render/outline_font.h"
#include "scene/records.h"

// Extents at or above this (a drag left of or above the first corner, stored
// as a wrapped difference) get no dimension labels.
constexpr int32_t overlay_wrapped_extent = 0xFF000;

// Outline, then (for extents below 0xFF000) the green labels and dashed
// dimension lines, onto screen.
void draw_overlay(const Screen& screen, const graph_draw& g, int pitch);

// The same with the outline itself dashed.
void draw_overlay_selected(const Screen& screen, const graph_draw& g, int pitch);
