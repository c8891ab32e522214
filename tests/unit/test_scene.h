// The scene the unit tests edit: one per process, in static storage, back
// in its start-up state at the start of every test (test_main.cpp). The
// routines under test get it passed in, as the editor passes its own.
#pragma once

#include <string>

#include "scene/scene.h"

Scene& test_scene();

// The scene's script as the export writes it (text files absent).
std::string script_of(const Scene& scene);
