// On-screen menus: the three entry groups (panel type, brightness,
// toolbar), the settings they hold, and build_layout, which lays out the
// entries, unit board 0, the element palette and the left-panel texts.
#pragma once

#include "scene/free_records.h"
#include "scene/scene.h"

#include <cstdint>

#include "render/outline_font.h"
#include "scene/records.h"
#include "scene/status_line.h"
#include "ui/ui_state.h"

// Toolbar entry ids.
enum : int {
    toolbar_columns_up = 0,
    toolbar_columns_down = 1,
    toolbar_download = 2,
    toolbar_draw_rect = 3,
    toolbar_undo = 4,
    toolbar_rows_up = 5,
    toolbar_rows_down = 6,
    toolbar_close = 7,
};

// Width in window pixels of an entry's box, drawn and hit alike: its width
// at the start-up pitch, whatever the zoom (the labels do not grow with the
// zoom either, and a growing box would cover its neighbour).
inline int32_t entry_box_width(const menu_unit& m) { return 2 * m.width; }

// Id of the first entry of group (count entries, in id order) whose box
// holds window point (x, y), or -1. The box is x < px < x + entry_box_width
// and y - 15 < py < y + 15, compared as unsigned 32-bit numbers.
int menu_hit(const menu_unit* group, int count, int32_t x, int32_t y);

// Records which entry of each group lies under the mouse (0xFF: none).
void update_hover(Input_state& input, const Scene& scene, int32_t x, int32_t y);

// The toolbar entry's action. Each ends by mirroring board_rows into the
// rows-up entry (and board_columns into the columns-up entry). The close
// action asks ui.requests to save, and ends the program once it has.
void toolbar_action(Ui_state& ui, Scene& scene, int id);

// Brightness + and - step brightness_level within 0..8.
void brightness_action(Scene& scene, int id);

// A panel-type entry selects its panel type.
void panel_type_action(Scene& scene, int id);

// Draws every entry: its box and label, lit under the mouse, showing its
// state (drawing mode, chosen panel type, brightness, column and row counts).
void draw_menu_entries(const Screen& screen, const Input_state& input, const Scene& scene);

// The status line and, while shown (input.help_shown), the help: drawn
// last, over everything.
void draw_status_and_help(const Screen& screen, const Input_state& input, const Status_line& status,
                          const Scene& scene);

// Where palette element `index` (of every group) lies: palette_place
// (scene/free_records.h). The hit box of a palette digit module in dots at
// pitch 2: its "88" picture.
constexpr int32_t palette_digit_width = 10;
constexpr int32_t palette_digit_height = 5;

// Puts palette element `index` in its place with the palette's size, kind
// and parameters (as build_layout lays out every group).
void set_palette_look(Digit_unit& d, int index);

// Scene files written with the first palette layout hold palette records at
// places outside the window; those still there move to their new places.
void move_old_palette_places(Scene& scene);

// Lays out board 0 (276, 226, 256 x 128 dots), the palette of shape and
// digit elements in groups 0..19, the five left-panel texts and the entries,
// for the current dot_pitch. The close entry takes its place in a window of
// the start-up size; the window moves it when it is resized.
void build_layout(Scene& scene);
