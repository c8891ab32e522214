// Keyboard input: typing into the selected text, zoom, new texts and shapes,
// and the keys that resize, restyle and recolour the selected element.
#pragma once

#include "scene/scene.h"

#include <cstdint>
#include <string>

extern int32_t last_key;      // code of the last ASCII key
extern int32_t size_cycle;    // step of the font-size key, 0..3
extern int32_t style_cycle;   // step of the Page Up key, 0..2

// GLUT special-key codes.
enum : int {
    key_f1 = 1,
    key_left = 100,
    key_up = 101,
    key_right = 102,
    key_down = 103,
    key_page_up = 104,
    key_page_down = 105,
    key_delete = 111,   // the keypad's and the editing block's Delete, as a special key
    key_f12 = 12,   // the frame marker of test runs (app/frame_signal.h), else unused
};

// An ASCII key (control keys arrive as their Ctrl+letter codes).
void on_key(Scene& scene, uint8_t key, int x, int y);

// An arrow or page key; F1 shows the help; Delete deletes as the ASCII
// Delete (127) does.
void on_special_key(Scene& scene, int key, int x, int y);

// Inserts UTF-8 text at the end of the selected text, converted to GBK, as
// far as the field's 511 bytes go. Characters GBK lacks are left out, and
// the status line names them (as does a text cut at the field's end).
void paste_text(Scene& scene, const char* utf8);

// last_key and the two cycles back to 0.
void reset_keyboard_state();
