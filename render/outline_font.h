// Outline (TrueType) font for everything on screen that is text but not LED
// dots: the board label, the overlay dimensions and the coordinate readout.
// An Outline_font holds the FreeType library and face and the glyph cache.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string>

#include "render/bitmap_font.h"
#include "render/dot_sink.h"

struct Font_holder {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    int size_w = 0;     // nominal size, points
    int size_h = 0;
};

// One cached character, indexed by its UTF-16 code unit. All zero until the
// character is first drawn.
struct glyph_record {
    uint32_t texture;       // GL texture name; 0 = not made yet
    int32_t tex_width;      // texture size: powers of two >= the bitmap size
    int32_t tex_height;
    int32_t advance;        // horizontal advance, pixels
    int32_t ppem;           // face's vertical pixels per em
    int32_t left;           // bitmap left bearing, pixels
    int32_t bottom;         // bitmap bottom edge above the baseline, pixels
};
constexpr int glyph_cache_size = 65536;

// The outline font: FreeType and the open face, and a record for every
// UTF-16 code unit (about 1.8 MB). Its textures are the sink's that first
// drew each character. The editor's main owns one in static storage;
// each test that draws text owns its own. Closes the face and FreeType
// when it goes.
struct Outline_font {
    Outline_font() = default;
    ~Outline_font();
    Outline_font(const Outline_font&) = delete;
    Outline_font& operator=(const Outline_font&) = delete;

    Font_holder holder;
    glyph_record glyph_cache[glyph_cache_size] = {};
};

// What the editor's window is drawn through: the dot sink, the outline
// font for its labels and the bitmap fonts of its dot texts, all main's (or
// a test's), passed to every routine that draws more than LED dots.
struct Screen {
    Dot_sink& sink;
    Outline_font& font;
    Bitmap_fonts& dot_fonts;
};

// Texture size for a bitmap extent: the smallest power of two >= n, at
// least 1.
int32_t glyph_texture_size(int32_t n);

// Makes the cache record of UTF-16 code unit c (FreeType bitmap, texture
// made by the screen's sink) when it has none; when FreeType fails the
// record stays empty (no texture, no advance). Callers read the record
// afterwards.
void glyph_texture(const Screen& screen, uint16_t c);

// Draws a NUL-terminated UTF-16 label in the current colour: first line's
// baseline at baseline, starting at x = left. A line feed, or a character
// whose advance carries the pen past left + wrap, starts a new line
// 12 + line_height pixels lower; line_height grows to the tallest glyph
// texture seen. Leaves texturing off and blending on.
void draw_label(const Screen& screen, const char16_t* text, int32_t left, int32_t baseline, int32_t wrap,
                int32_t line_height);

// Draws text on one line from x = left (a line feed counts as a blank),
// every glyph and advance scaled by scale (1: as draw_label draws them):
// for text that must fit a small window. Leaves texturing off.
void draw_label_scaled(const Screen& screen, const char16_t* text, float left, float baseline, float scale);

// Draws text on one line from x = left, its glyphs within max_width
// pixels: a text that does not fit ends with "…" where it is cut (a line
// feed counts as a blank). Leaves texturing off and blending on.
void draw_label_fitted(const Screen& screen, const char16_t* text, int32_t left, int32_t baseline,
                       int32_t max_width);

// GBK text to UTF-16 in out (cap units, NUL included), for draw_label.
// Returns the units written before the NUL.
size_t to_wide(const char* text, char16_t* out, size_t cap);

// Starts font's FreeType library (once).
bool font_library_start(Outline_font& font, std::string* err);

// Opens face face_index of the font file as font's face, selects its
// Unicode character map and sets 36 pt at 36 x 36 dpi (18 pixels per em).
bool open_outline_face(Outline_font& font, const char* file, int face_index, std::string* err);
