// Rules of the scene's board grid and of what the card makes of an
// element: where the boards lie, which LED a window pixel is, the card's
// colours, text heights and block sides.
#pragma once

#include <cstdint>

#include "scene/scene.h"

// Boards the outputs (script, live send, card picture) walk: rows
// 0..board_rows-1 and columns 0..export_columns-1, held within the grid.
int output_rows(const Scene& scene);
int output_columns(const Scene& scene);

// The grid's column count as the toolbar sets it: the board hit test's
// count and the outputs' count move together (a scene file may store them
// apart, and is read as it is).
void set_board_columns(Scene& scene, int32_t columns);

// Board u's LEDs at pitch p cover window pixel (x, y): u.x <= x < u.x +
// u.width * p, and the same for y (unsigned, so an element on the left or
// top edge is on the board).
inline bool board_covers(const led_unit& u, uint32_t x, uint32_t y, int p) {
    const int64_t ux = static_cast<uint32_t>(u.x), uy = static_cast<uint32_t>(u.y);
    return x >= ux && x < ux + int64_t{u.width} * p && y >= uy && y < uy + int64_t{u.height} * p;
}

// The sign: the boards in use as one grid without gaps or overlaps. Every
// board takes board (0, 0)'s size (W x H LEDs) and lies at (B.x + c * W * p,
// B.y + r * H * p) for pitch p, B being board (0, 0), whose corner stays
// where it is when the pitch changes. Board (0, 0) never lies under the
// palette: a corner at x <= 250 or y <= 140 goes back to the start-up
// corner's column or row (276, 226). Called wherever the boards, their
// count, size or the pitch change (start-up, load, toolbar, keys, zoom).
void lay_out_boards(Scene& scene);

// The sign's LED that window pixel (x, y) lies in at pitch p, counted from
// the sign's top-left LED across all boards (the card's coordinates):
// ((x - B.x) / p, (y - B.y) / p), the remainder dropped. False when (x, y)
// lies on no board in use.
bool sign_led(const Scene& scene, uint32_t x, uint32_t y, int p, int32_t* led_x, int32_t* led_y);

// The card's screen for the boards in use, in LEDs: board (r, c) shows from
// LED (c * W, r * H), so the screen is columns * W by rows * H. 0 x 0 when
// no board is in use; at most 16384 a side.
void output_screen_size(const Scene& scene, int* width, int* height);

// What the card does with an element's colour code: 1 green, 2 yellow,
// every other code (0, and codes the card has no colour for) red. Only the
// low byte of a text's colour counts. The editor shows every element in
// this colour, and every line carries it.
inline uint8_t card_colour(uint32_t code) {
    const uint8_t c = static_cast<uint8_t>(code & 0xFF);
    return c == 1 || c == 2 ? c : 0;
}

// The text height the card draws a text of height h at: the card has 12,
// 16, 24 and 32 dots; any other height takes the nearest of those (ties
// go to the larger: 14 to 16, 20 to 24, 28 to 32).
inline uint8_t card_text_height(uint8_t h) {
    return h <= 13 ? 12 : h <= 19 ? 16 : h <= 27 ? 24 : 32;
}

// Side of a block element in LEDs (kind 0, and each block of kind 3): its
// height, at most 255; nothing for 0 or less.
inline int32_t block_side(int32_t height) { return height <= 0 ? 0 : height > 255 ? 255 : height; }
