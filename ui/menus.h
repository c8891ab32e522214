// On-screen menus: the three entry groups (panel type, brightness,
// toolbar), the settings they hold, and build_layout, which lays out the
// entries, unit board 0, the element palette and the left-panel texts.
#pragma once

#include "scene/free_records.h"
#include "scene/scene.h"

#include <cstdint>

#include "scene/records.h"
#include "scene/status_line.h"

extern uint8_t hover_brightness, hover_toolbar, hover_panel_type;   // 0xFF: none
extern uint8_t clicked_entry;      // id of the last toolbar entry clicked
extern uint8_t draw_mode;          // rectangle drawing on (1) or off (0)
extern uint8_t draw_toggle;        // its parity sets draw_mode at each click


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
void update_hover(const Scene& scene, int32_t x, int32_t y);

// The toolbar entry's action. Each ends by mirroring board_rows into the
// rows-up entry (and board_columns into the columns-up entry). The close
// action hands over to close_requested.
void toolbar_action(Scene& scene, int id);

// Brightness + and - step brightness_level within 0..8.
void brightness_action(Scene& scene, int id);

// A panel-type entry selects its panel type.
void panel_type_action(Scene& scene, int id);

// Draws every entry: its box and label, lit under the mouse, showing its
// state (drawing mode, chosen panel type, brightness, column and row counts).
void draw_menu_entries(const Scene& scene);

// The status line and, while shown, the help: drawn last, over everything.
void draw_status_and_help(const Scene& scene);

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

// The help over the window (F1 shows it, any key closes it).
extern bool help_shown;

// Lays out board 0 (276, 226, 256 x 128 dots), the palette of shape and
// digit elements in groups 0..19, the five left-panel texts and the entries,
// for the current dot_pitch.
void build_layout(Scene& scene);

// Hover, click and drawing state and the close request back to start-up.
void reset_menu_state();
