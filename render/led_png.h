// The sign as a picture: an LED framebuffer written as a PNG, one square
// per LED on a dark ground. The card model's screen and the editor's scene
// seen as the card would show it are written by this one routine, so two
// pictures of the same lit LEDs are the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "render/led_framebuffer.h"

// Pixels per LED in the picture (the lit square and the gap after it).
constexpr int led_png_cell = 4;

// The largest picture written, in LEDs (2048 x 2048, 8192 x 8192 pixels):
// a few seconds at most. A 6 x 4 grid of 256 x 128 boards is 786,432 LEDs.
constexpr long max_png_leds = 2048L * 2048L;

// True when a screen of width x height LEDs is within max_png_leds;
// otherwise false with the message in *err ("png: …").
bool led_png_size_ok(long width, long height, std::string* err);

// Writes screen to path (replaced atomically); a screen beyond
// max_png_leds is refused (led_png_size_ok). False with a message in
// *err when the file cannot be written.
bool write_led_png(const Led_framebuffer& screen, const char* path, std::string* err);

// The same picture as write_led_png, into *out (replaced) instead of a
// file: the same LEDs give the same bytes.
bool encode_led_png(const Led_framebuffer& screen, std::vector<uint8_t>* out, std::string* err);
