// The editor's led and file commands: they apply a line's value to the
// scene. Texts (led t/12t/16t/24t/32t, file t/.../Zimu) and rectangles
// (led r) create elements; every other verb is carried out by the card and
// changes nothing here.
#pragma once

#include <cstdint>

#include "command/command_value.h"
#include "command/interpreter.h"
#include "scene/scene.h"
#include "scene/status_line.h"

// What the editor's led and file commands work on: the scene they edit and
// the status line that says when a record table is full. Both belong to
// the caller.
struct Scene_edit {
    Scene& scene;
    Status_line& status;
};

// Handlers of the editor's command table; context is the Scene_edit.
void scene_led_command(void* context, int32_t type, int argc, char** argv, const char* payload);
void scene_file_command(void* context, int32_t type, int argc, char** argv, const char* payload);

// Applies value to the scene; type becomes a new text's slot.
void apply_to_scene(Scene& scene, Status_line& status, const Command_value& value, int32_t type);

// Window pixel of LED dot coordinate v on an axis whose board-0 origin is
// origin: (v * dot_pitch + origin) modulo 65,536.
uint32_t dot_to_pixel(const Scene& scene, uint32_t v, int32_t origin);

// Fills string_draw record text_count with a new text and advances
// text_count; false (with a diagnostic, and a failure on status) when
// every record is taken, and
// false (silently) when the scene already holds the same text at the same
// place in the same size and colour. Rectangles are not added twice either:
// a stored script replayed at every start adds nothing the second time.
bool add_text_element(Scene& scene, Status_line& status, int32_t type, int font_size, int32_t colour, uint32_t dot_x,
                      uint32_t dot_y, const char* bytes, int32_t length);

// An interpreter whose led and file commands edit edit.scene (the
// stored-script replay's, and a test's); edit must outlive it.
Command_interpreter scene_interpreter(Scene_edit& edit);

// Runs one line (modified: tokens are cut out of it) on scene.
void run_scene_line(Scene& scene, Status_line& status, int32_t type, char* line, const char* payload);
