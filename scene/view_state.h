// Rules of the view: the zoom and the dot grid that element positions keep
// to across a zoom. The view's values themselves (dot_pitch, the
// selection, the mouse, the drawing area) are fields of the Scene.
#pragma once

#include <cstdint>

#include "scene/scene.h"

// Anchor of the LED dot grid: element positions are kept at
// (screen_origin_x + column * dot_pitch, screen_origin_y + row * dot_pitch).
constexpr uint32_t screen_origin_x = 250;
constexpr uint32_t screen_origin_y = 140;

// Sets the scene's dot_pitch, held within [min_dot_pitch, max_dot_pitch].
void set_dot_pitch(Scene& scene, int pitch);

// Position rule. An element keeps its position as window pixels together
// with the pitch in force when it was set. Inside the screen's dot grid
// (right of x 250 and below y 140) a change of pitch keeps it on the same
// dot: column = (x - 250) / stored, row = (y - 140) / stored, then
// x = 250 + column * dot_pitch, y = 140 + row * dot_pitch.

// True for a position outside the dot grid (x <= 250 or y <= 140): such
// an element keeps its position whatever the pitch.
inline bool outside_dot_grid(uint32_t x, uint32_t y) {
    return x <= screen_origin_x || y <= screen_origin_y;
}

// Moves (x, y) from stored_pitch to the scene's dot_pitch by the rule
// above. Positions outside the grid, and a stored pitch of 0, are left as
// they are. A position on the sign (see sign_led) keeps its LED instead,
// counted from the sign's corner, so what the card shows does not change
// with the zoom; one that the rule brings onto the sign lands on the LED it
// lies in.
void move_to_current_pitch(const Scene& scene, uint32_t* x, uint32_t* y, int stored_pitch);

// Puts a position that lies on the sign onto its LED grid at the scene's
// pitch (the LED it lies in), so an element dropped between LEDs shows
// where the card will show it. Others are left alone. True when the
// position was on the sign (it is then one at dot_pitch).
bool snap_to_board(const Scene& scene, uint32_t* x, uint32_t* y);

// What an edit leaves to settle, run by the editing code after each change
// (input, load, replay, zoom), never by drawing or writing:
// - each enabled shape and digit record of groups 0..19 outside the dot
//   grid takes pitch 2 (palette and margins: fixed look, fixed place), and
//   inside it moves to the scene's pitch by the position rule; the
//   selected one moves to the scene's pitch wherever it lies;
// - each enabled text moves to the scene's pitch, and its box follows its
//   text: height = font_size, and for the selected text width =
//   font_size / 2 * length (the width its "led txt" line carries).
void settle_after_edit(Scene& scene);

// settle_after_edit, then every shape, digit and text record that lies on
// the sign onto the LED it lies in. Run where positions jump: load,
// replay, zoom, board rows and columns, a drop.
void settle_positions_on_sign(Scene& scene);
