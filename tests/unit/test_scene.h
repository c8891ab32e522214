// The scene the unit tests edit, the input state they edit it through and
// the bitmap fonts the editor and the card draw dot texts from: one each
// per process, in static storage, back in their start-up state at the
// start of every test (test_main.cpp). The routines under test get them
// passed in, as the editor passes its own.
#pragma once

#include <string>

#include "render/bitmap_font.h"
#include "scene/scene.h"
#include "ui/ui_state.h"

Scene& test_scene();
Ui_state& test_ui();
Bitmap_fonts& test_fonts();   // no font file set at the start of a test

// The scene's script as the export writes it (text files absent).
std::string script_of(const Scene& scene);
