// What one line of the command language lights on a screen of LEDs, as the
// card lights it. The card model paints every line it runs through here,
// and the editor paints its picture of the sign from the scene's line
// values (write_scene_lines) through the same routines, one LED a unit: so
// the window and the card light the same LEDs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "command/command_value.h"
#include "render/bitmap_font.h"
#include "render/led_framebuffer.h"

// Finds the first line of my_txtN.txt for a "led txt" line: its bytes and
// length, or false when there is none (the card then shows nothing).
class Txt_lookup {
public:
    virtual ~Txt_lookup() = default;
    virtual bool first_line(int32_t source, const char** bytes, size_t* n) = 0;
};

// Length of the first line of a text file as the card shows it for "led
// txt": bytes up to the first line feed or NUL, at most 511 (a text field's
// room), trailing CRs dropped. Its first 4 KiB are all that need be read.
size_t first_text_line(const uint8_t* bytes, size_t n);

// Lights what a led line shows: clearall, points, lines, circles,
// rectangles, texts (the token at its height), "led txt" (the first line of
// its file, found through txt, as the runs of it a text line could carry,
// each where the pen draws it). Numbers are read as signed. Returns false
// for a verb the card does not know. Texts are drawn from fonts.
bool paint_command(Bitmap_fonts& fonts, Led_framebuffer& screen, const Command_value& v, Txt_lookup* txt);

// Lights a module line: a digit element (class 800) as its digit picture;
// auxiliary modules (other classes) light nothing.
void paint_module(Led_framebuffer& screen, const Module_value& m);

// Text as the runs a line can carry (bytes above 0x20), each where the
// pen draws it at height: what a text's lines light, blanks and control
// bytes left dark.
void paint_text_runs(Bitmap_fonts& fonts, Led_framebuffer& screen, uint8_t height, uint8_t colour, int32_t x,
                     int32_t y, const char* text, size_t n);
