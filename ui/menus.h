// On-screen menus: the three entry groups (panel type, brightness,
// toolbar), the settings they hold, and build_layout, which lays out the
// entries, unit board 0, the element palette and the left-panel texts.
//
// Implemented: build_layout, the settings.
// Not yet: hit test, hover tracking, toolbar actions, drawing the entries.
#pragma once

#include <cstdint>

extern int32_t brightness_level;   // 0..8
extern uint8_t panel_type;         // 0..3, in the order of the panel-type group
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

// Lays out board 0 (276, 226, 256 x 128 dots), the palette of shape and
// digit elements in groups 0..19, the five left-panel texts and the entries,
// for the current dot_pitch.
void build_layout();
