// Keyboard input: typing into the selected text, zoom, new texts and shapes,
// and the keys that resize, restyle and recolour the selected element.
#pragma once

#include "scene/scene.h"
#include "ui/ui_state.h"

#include <cstdint>
#include <string>

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
void on_key(Ui_state& ui, Scene& scene, uint8_t key, int x, int y);

// An arrow or page key; F1 shows the help; Delete deletes as the ASCII
// Delete (127) does.
void on_special_key(Ui_state& ui, Scene& scene, int key, int x, int y);

// Inserts UTF-8 text at the end of the selected text, converted to GBK, as
// far as the field's 511 bytes go. Characters GBK lacks are left out, and
// the status line names them (as does a text cut at the field's end).
void paste_text(Ui_state& ui, Scene& scene, const char* utf8);
