// The sign as a picture: an LED framebuffer written as a PNG, one square
// per LED on a dark ground. The card model's screen and the editor's scene
// seen as the card would show it are written by this one routine, so two
// pictures of the same lit LEDs are the same bytes.
#pragma once

#include <string>

#include "render/led_framebuffer.h"

// Pixels per LED in the picture (the lit square and the gap after it).
constexpr int led_png_cell = 4;

// Writes screen to path (replaced atomically). False with a message in
// *err when the file cannot be written.
bool write_led_png(const Led_framebuffer& screen, const char* path, std::string* err);
