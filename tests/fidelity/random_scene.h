// Random scenes for the fidelity tests: a seed gives a grid of boards at a
// pitch, and texts (ASCII and GB2312, 12 to 32 dots), blocks, lines,
// circles, rectangles and digit modules placed on LEDs of the screen, some
// of them over the edge two boards share. The same seed gives the same
// scene; with_digits false leaves the digit modules in the palette (every
// other element stays where it was).
#pragma once

#include <cstdint>

#include "scene/scene.h"

struct Random_scene {
    int pitch = 2;
    int rows = 1, cols = 1;
    int width = 64, height = 32;          // LEDs of board (0, 0): SysCfg.ini's WIDTH, HEIGHT
    int stored_width = 64, stored_height = 32;   // the other boards' own sizes in the scene files
    int texts = 0, shapes = 0, digits = 0;       // elements placed on the boards
    bool odd_colours = false;                    // some element has a colour code beyond 0..2
};

// Builds the scene of seed into scene, starting from the start-up state
// (reset_scene and build_layout).
Random_scene make_random_scene(Scene& scene, uint32_t seed, bool with_digits);
