// The sign as the card lights it, painted from the scene's own lines: the
// values the script and the live send are formatted from, each painted by
// the card's routines (card/led_picture.h). The editor shows this picture
// on its boards and `vantiro-cli render` writes it, so neither can differ
// from the card.
#pragma once

#include "controller/script_writer.h"
#include "render/bitmap_font.h"
#include "render/led_framebuffer.h"

// Clears screen and paints the scene's script lines on it (screen is the
// size of output_screen_size; LEDs beyond it are dropped), its texts from
// fonts.
void paint_sign(Bitmap_fonts& fonts, const Scene& scene, Led_framebuffer& screen, const Text_files& texts);
