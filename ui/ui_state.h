// What the editor's input knows between two events, as values: the input
// (grabs, the open rectangle, the keys' modes, the help), the window, the
// undo history, the status line and the application's requests. The program's main owns one
// Ui_state beside its Scene and passes it to every handler; each test makes
// its own.
#pragma once

#include <cstdint>

#include "scene/edit_history.h"
#include "scene/status_line.h"
#include "ui/window_state.h"

class App_requests;

// Interaction state. At most one grab flag is set by a left press; the
// release clears them all.
struct Input_state {
    uint8_t board_grabbed = 0, digit_grabbed = 0, text_grabbed = 0, graph_grabbed = 0, menu_grabbed = 0;
    uint8_t window_dragging = 0;     // the press hit nothing: the drag moves or resizes
    int32_t resize_edge = 0;         // border zone of the press, 0: move
    int32_t anchor_x = 0, anchor_y = 0;   // grab offset, or the pointer's last screen position
    int32_t resize_anchor_x = 0, resize_anchor_y = 0;
    uint8_t corner_clicks = 0;       // rectangle corners placed; odd while one is open

    // The menus: which entry of each group lies under the mouse (0xFF:
    // none), the last toolbar entry clicked, and rectangle drawing.
    uint8_t hover_brightness = 0xFF, hover_toolbar = 0xFF, hover_panel_type = 0xFF;
    uint8_t clicked_entry = 0;   // id of the last toolbar entry clicked
    uint8_t draw_mode = 0;       // rectangle drawing on (1) or off (0)
    uint8_t draw_toggle = 1;     // its parity sets draw_mode at each click

    // The keys' modes.
    int32_t last_key = 0;      // code of the last ASCII key
    int32_t size_cycle = 0;    // step of the font-size key, 0..3
    int32_t style_cycle = 0;   // step of the Page Up key, 0..2
    // The text the last key typed into (or took a character from), or -1:
    // a run of typing into one text is one undo step.
    int typed_into = -1;

    bool help_shown = false;   // the help over the window (F1 shows it, any key closes it)
};

struct Ui_state {
    Input_state input;
    Window_state window;
    // The session's undo history (fixed memory once started, see
    // Edit_history).
    Edit_history history;
    // What the editor tells the operator: the input's findings, and the
    // application's outcomes through the requests (drawn by the frame).
    Status_line status;
    // The application's requests; null until start-up hands them down.
    // Without them the close entry ends the program without saving, the
    // download entry says it cannot write, nothing is sent and Ctrl+V
    // pastes nothing.
    App_requests* requests = nullptr;
};

// Everything back to its start-up value: no grab, no window, no history,
// an empty status line, no requests (a test's fresh start).
inline void reset_ui_state(Ui_state& ui) {
    ui.input = Input_state{};
    ui.window = Window_state{};
    ui.history.stop();
    ui.status = Status_line{};
    ui.requests = nullptr;
}
