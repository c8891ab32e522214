// Dot-matrix text: the eight bitmap font files (GB2312 double-byte and
// ASCII single-byte, 12/16/24/32 dots high), the rasteriser that turns GBK
// text into LED dots, and the two draws of a text element. Each font file
// is read once, at its first use, and kept in memory: only as many bytes as
// its glyph table can hold (a longer file's tail is ignored); a folder, a
// device such as /dev/zero or a pipe is refused with a message, as a missing
// file is, and its characters stay blank.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/dot_sink.h"
#include "render/draw_target.h"
#include "scene/records.h"

enum Bitmap_font_id : int {
    font_hzk12, font_hzk16, font_hzk24, font_hzk32,
    font_asc12, font_asc16, font_asc24, font_asc32,
    bitmap_font_count
};

// The eight font files: where each is read from and, once read, its bytes
// (together up to about 2 MB, on the heap). Start with no path set. Each
// program's main owns one (the editor's, vantiro-cli's, vantiro-card's),
// and so does each test; it is handed to whatever draws or checks dot
// text, and a card model keeps a reference to its card's. Reading happens
// at first use, so one value is used from one thread at a time.
class Bitmap_fonts {
public:
    struct File {
        char path[300] = {};
        bool tried = false;             // read once; a missing file stays blank
        std::vector<uint8_t> bytes;
    };
    File files[bitmap_font_count];
};

// Where font id is read from (set at start-up). Forgets what was loaded.
void set_bitmap_font_path(Bitmap_fonts& fonts, int id, const char* path);

// Glyph index of a double-byte character (lead, trail): both bytes reduced
// by 0xA0 modulo 256, then lead * 94 + trail - 95. GB2312 0xB0A1 is 1410.
int32_t double_byte_index(uint8_t lead, uint8_t trail);

// Glyph index of a single-byte character: the byte as signed, minus 32.
int32_t single_byte_index(uint8_t c);

// Points every font id at its file below folder (the folder of the "HZK"
// and "ASC" folders, Font/fonts/font_libs in an installation).
void set_bitmap_fonts_below(Bitmap_fonts& fonts, const char* folder);

// The font a character is drawn from at a height, as the rasteriser
// chooses it (14: the 12-dot Chinese glyphs, and no ASCII font), or -1.
int glyph_font(uint8_t height, bool double_byte);

// True when glyph index of font id is in its file and lights a dot.
bool glyph_lights(Bitmap_fonts& fonts, int id, int32_t index);

// Bytes of glyph index of font id, or null when the file is missing or
// refused, or the glyph lies beyond its end.
const uint8_t* bitmap_glyph(Bitmap_fonts& fonts, int id, int32_t index);

// Draws GBK text into target t with its first character's top-left at
// (x, y): heights 12, 16, 24, 32 from the files; 14 from the 12-dot Chinese
// glyphs at a fixed 2-pixel spacing (1 on a target of pitch 1; ASCII is
// skipped at 14). Set bits become dots spaced t.pitch apart; the pen
// advances the glyph's advance times t.pitch. Line feed and carriage
// return take no space; no wrap. At most len bytes are read, and a NUL
// ends the text earlier.
void draw_text_bytes(Bitmap_fonts& fonts, Draw_target& t, uint8_t height, uint8_t colour, int32_t x, int32_t y,
                     const char* text, size_t len);
void draw_text_bitmap(Bitmap_fonts& fonts, Draw_target& t, uint8_t height, uint8_t colour, int32_t x, int32_t y,
                      const char* text);

// The pieces of a text that a command line can carry, each as one token:
// visit gets every longest run of characters whose bytes are all above
// 0x20, with its first byte's offset and length and the pen's distance
// from the text's start in dots (one LED each), as draw_text_bytes walks
// the text at `height`. Blanks, control bytes, line feeds and a
// double-byte character that holds such a byte end a run; they still move
// the pen as they do when drawn. Runs come in order.
void for_each_text_run(uint8_t height, const char* text, size_t len,
                       void (*visit)(void* context, size_t start, size_t bytes, int64_t pen),
                       void* context);

// How far the pen moves over text at `height`, in dots.
int64_t text_advance(uint8_t height, const char* text, size_t len);

// Draw of a text element (nothing for a disabled one): its dots on the
// margin target outside the dot grid (pitch 2), on the grid target inside
// it; then its marks (below) into sink, the targets' own.
void draw_text_element(Bitmap_fonts& fonts, Dot_sink& sink, Draw_target& grid, Draw_target& margin, const string_draw& s,
                       bool selected);

// What a draw adds to a text's dots, alone: when selected, a dashed frame
// (font_size / 2 * length dots wide, font_size high, dots `pitch` pixels
// apart) and a white caret after the text. For a text on the sign, whose
// dots are the sign's LEDs.
void draw_text_marks(Dot_sink& sink, const string_draw& s, int pitch, bool selected);
