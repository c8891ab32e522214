// Settings that several layers read: the screen settings written into the
// card's script, the limits of the board grid, and the status line that
// tells the operator what happened.
#pragma once

#include <cstdint>

// Limits of the settings: the board grid holds 6 columns and 4 rows.
constexpr int32_t max_board_columns = 6;
constexpr int32_t max_board_rows = 4;
constexpr int32_t max_brightness = 8;

extern int32_t brightness_level;   // 0..8; the card's script gets 9 - it
extern uint8_t panel_type;         // 0..3: 08 / 12 panels, data positive / negative

// A message for the operator, drawn in the window until the next one (GBK,
// empty for none).
constexpr int status_text_size = 256;
extern char status_text[status_text_size];

// Shows message (UTF-8) on the status line and writes it to standard
// error. A message too long for the line is cut at a whole character.
void set_status(const char* message_utf8);

// The same on the status line alone (progress that would flood standard
// error).
void show_status(const char* message_utf8);

// The settings and the status line back to their start-up values.
void reset_settings();
