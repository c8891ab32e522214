// What leaves the editor for the card, seen from the application: the
// scene as the card would show it, and the toolbar's export with its
// outcome on the status line.
#pragma once

#include "controller/drive_export.h"
#include "render/led_framebuffer.h"

// Every record's place as the next frame would settle it (the position
// step of the draws), so outputs made without a frame see what the
// editor shows.
void settle_scene_positions();

// Draws the scene's LED dots as a frame with nothing selected would (no
// outlines, labels, carets or overlays) into screen, one LED per unit. The
// scene is the elements placed on a board in use (the ones the outputs
// carry); palette copies that reach over a board are not on the sign. A
// dot the editor lights on board U at grid row r and column c lands on
// LED ((x - U.x) / p + c * W, (y - U.y) / p + r * H). Dots on no board in
// use are dropped. screen is cleared first.
void render_scene_leds(Led_framebuffer& screen);

// The download entry: writes the ledsys tree onto the removable drive (or
// into [Export] Folder) and says on the status line and standard error
// what happened.
Export_outcome export_scene();
