#include "render/bitmap_font.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/platform.h"
#include "render/dot_sink.h"
#include "render/led_dots.h"
#include "scene/view_state.h"

namespace {

struct Layout {
    int glyph_bytes;
    int lines;          // rows (row-major) or columns (column-major)
    int line_bytes;     // bytes per row or column
    bool column_major;
    int advance;        // dots
};

const Layout layouts[bitmap_font_count] = {
    {24, 12, 2, false, 12},   // HZK12
    {32, 16, 2, false, 16},   // HZK16C
    {72, 24, 3, true, 24},    // HZK24
    {128, 32, 4, true, 32},   // HZK32
    {12, 12, 1, false, 6},    // ASC12_8
    {16, 8, 2, true, 8},      // ASC16_8
    {36, 12, 3, true, 12},    // ASC24_12
    {64, 16, 4, true, 16},    // ASC32_16
};

// Glyph index of a double-byte character; see double_byte_index.
constexpr int32_t double_byte_glyph(uint8_t lead, uint8_t trail) {
    return static_cast<uint8_t>(lead - 0xA0) * 94 + static_cast<uint8_t>(trail - 0xA0) - 95;
}

// Glyphs a font file can hold that a character can reach: the double-byte
// index is largest when both bytes reduce to 0xFF (0x9F, 0x9F); the
// single-byte files hold bytes 0x20..0xFF. Bytes beyond are never read.
constexpr size_t double_byte_glyphs = double_byte_glyph(0x9F, 0x9F) + 1;
constexpr size_t single_byte_glyphs = 0x100 - 0x20;

size_t font_table_bytes(int id) {
    const bool double_byte = id >= font_hzk12 && id <= font_hzk32;
    return (double_byte ? double_byte_glyphs : single_byte_glyphs) *
           static_cast<size_t>(layouts[id].glyph_bytes);
}

// Reads at most max bytes of the regular file at path into out; anything
// else (missing, a folder, a device such as /dev/zero, a pipe) is refused
// with a message, and out stays empty.
void read_font_file(const char* path, size_t max, std::vector<uint8_t>& out) {
    std::string err;
    if (!platform_read_file_head(path, max, &out, &err))
        std::fprintf(stderr, "font: %s; its characters stay blank\n", err.c_str());
}

const std::vector<uint8_t>& font_bytes(Bitmap_fonts& fonts, int id) {
    Bitmap_fonts::File& f = fonts.files[id];
    if (!f.tried) {
        f.tried = true;
        if (!f.path[0])
            std::fprintf(stderr, "font: no file set for font %d; its characters stay blank\n", id);
        else
            read_font_file(f.path, font_table_bytes(id), f.bytes);
    }
    return f.bytes;
}

// Lights the set bits of glyph g of layout l, pen at (x, y), dots step
// units apart; only the first max_cols columns and max_rows rows.
void plot_glyph(Draw_target& t, const uint8_t* g, const Layout& l, uint8_t colour, int64_t x,
                int64_t y, int64_t step, int max_cols, int max_rows) {
    for (int line = 0; line < l.lines; ++line) {
        for (int k = 0; k < l.line_bytes; ++k) {
            const uint8_t byte = g[line * l.line_bytes + k];
            if (!byte) continue;
            for (int j = 0; j < 8; ++j) {
                if (!(byte & (0x80 >> j))) continue;
                const int along = 8 * k + j;
                const int col = l.column_major ? line : along;
                const int row = l.column_major ? along : line;
                if (col >= max_cols || row >= max_rows) continue;
                t.light(colour, static_cast<int32_t>(x + int64_t{col} * step),
                        static_cast<int32_t>(y + int64_t{row} * step));
            }
        }
    }
}

int double_byte_font(uint8_t height) {
    switch (height) {
        case 12: return font_hzk12;
        case 16: return font_hzk16;
        case 24: return font_hzk24;
        case 32: return font_hzk32;
        default: return -1;
    }
}

int single_byte_font(uint8_t height) {
    switch (height) {
        case 12: return font_asc12;
        case 16: return font_asc16;
        case 24: return font_asc24;
        case 32: return font_asc32;
        default: return -1;
    }
}

}  // namespace

namespace {

// One character as the pen walks a text: its bytes, its font and glyph
// (font -1: nothing drawn) and the pen's advance in dots.
struct Text_step {
    int bytes;        // 0: the text ends here
    int font;
    int32_t index;
    int advance;
    bool fixed14;     // height 14: 12-dot glyph at a fixed spacing
};

Text_step step_at(uint8_t height, const char* text, size_t len, size_t i) {
    Text_step s{0, -1, 0, 0, false};
    if (i >= len || !text[i]) return s;
    const uint8_t b = static_cast<uint8_t>(text[i]);
    if (b > 0x80) {
        if (i + 1 >= len || text[i + 1] == 0) return s;   // a lead byte alone ends the text
        s.bytes = 2;
        s.index = double_byte_index(b, static_cast<uint8_t>(text[i + 1]));
        if (height == 14) {
            s.font = font_hzk12, s.advance = 14, s.fixed14 = true;
        } else if ((s.font = double_byte_font(height)) >= 0) {
            s.advance = layouts[s.font].advance;
        }
    } else if (b == 10 || b == 13) {
        s.bytes = 1;   // no space, no new line
    } else {
        s.bytes = 1;
        if ((s.font = single_byte_font(height)) >= 0) {
            s.index = single_byte_index(b);
            s.advance = layouts[s.font].advance;
        }
    }
    return s;
}

}  // namespace

void draw_text_bytes(Bitmap_fonts& fonts, Draw_target& t, uint8_t height, uint8_t colour, int32_t x, int32_t y,
                     const char* text, size_t len) {
    const int64_t p = t.pitch;
    // Height 14 keeps a fixed spacing of two window pixels, one LED on a
    // target of one unit per LED.
    const int64_t step14 = p < 2 ? p : 2;
    int64_t pen = x;
    // Glyphs wholly right of the clip region are skipped; the pen still moves.
    const int64_t right_edge = t.clip_right;
    for (size_t i = 0;;) {
        const Text_step s = step_at(height, text, len, i);
        if (!s.bytes) break;
        if (s.font >= 0 && pen <= right_edge) {
            if (const uint8_t* g = bitmap_glyph(fonts, s.font, s.index)) {
                if (s.fixed14)
                    plot_glyph(t, g, layouts[s.font], colour, pen, y, step14, 12, 12);
                else
                    plot_glyph(t, g, layouts[s.font], colour, pen, y, p, 64, 64);
            }
        }
        pen += s.advance * p;
        i += static_cast<size_t>(s.bytes);
    }
}

int64_t text_advance(uint8_t height, const char* text, size_t len) {
    int64_t pen = 0;
    for (size_t i = 0;;) {
        const Text_step s = step_at(height, text, len, i);
        if (!s.bytes) return pen;
        pen += s.advance;
        i += static_cast<size_t>(s.bytes);
    }
}

int glyph_font(uint8_t height, bool double_byte) {
    if (height == 14) return double_byte ? font_hzk12 : -1;
    return double_byte ? double_byte_font(height) : single_byte_font(height);
}

bool glyph_lights(Bitmap_fonts& fonts, int id, int32_t index) {
    const uint8_t* g = bitmap_glyph(fonts, id, index);
    if (!g) return false;
    for (int k = 0; k < layouts[id].glyph_bytes; ++k)
        if (g[k]) return true;
    return false;
}

void set_bitmap_fonts_below(Bitmap_fonts& fonts, const char* folder) {
    static const char* const files[bitmap_font_count] = {
        "HZK/12/HZK12", "HZK/16/HZK16C", "HZK/24/HZK24", "HZK/32/HZK32",
        "ASC/ASC12_8",  "ASC/ASC16_8",   "ASC/ASC24_12", "ASC/ASC32_16"};
    char path[300];   // as long as a font's own path
    for (int id = 0; id < bitmap_font_count; ++id) {
        if (format_text(path, sizeof path, "%s/%s", folder, files[id]) < 0)
            std::fprintf(stderr, "font: the path of %s below %s is too long; its characters stay blank\n",
                         files[id], folder);
        set_bitmap_font_path(fonts, id, path);
    }
}

void for_each_text_run(uint8_t height, const char* text, size_t len,
                       void (*visit)(void* context, size_t start, size_t bytes, int64_t pen),
                       void* context) {
    int64_t pen = 0, run_pen = 0;
    size_t run_start = 0, run_bytes = 0;
    for (size_t i = 0;;) {
        const Text_step s = step_at(height, text, len, i);
        bool carried = s.bytes > 0 && static_cast<uint8_t>(text[i]) > 0x20;
        if (s.bytes == 2) carried = carried && static_cast<uint8_t>(text[i + 1]) > 0x20;
        if (carried) {
            if (!run_bytes) run_start = i, run_pen = pen;
            run_bytes += static_cast<size_t>(s.bytes);
        } else if (run_bytes) {
            visit(context, run_start, run_bytes, run_pen);
            run_bytes = 0;
        }
        if (!s.bytes) break;
        pen += s.advance;
        i += static_cast<size_t>(s.bytes);
    }
}

void set_bitmap_font_path(Bitmap_fonts& fonts, int id, const char* path) {
    if (id < 0 || id >= bitmap_font_count) return;
    Bitmap_fonts::File& f = fonts.files[id];
    std::snprintf(f.path, sizeof f.path, "%s", path);
    f.tried = false;
    f.bytes.clear();
}

int32_t double_byte_index(uint8_t lead, uint8_t trail) { return double_byte_glyph(lead, trail); }

int32_t single_byte_index(uint8_t c) { return static_cast<int8_t>(c) - 32; }

const uint8_t* bitmap_glyph(Bitmap_fonts& fonts, int id, int32_t index) {
    if (id < 0 || id >= bitmap_font_count || index < 0) return nullptr;
    const std::vector<uint8_t>& bytes = font_bytes(fonts, id);
    const size_t size = static_cast<size_t>(layouts[id].glyph_bytes);
    const size_t at = static_cast<size_t>(index) * size;
    if (at + size > bytes.size()) return nullptr;
    return bytes.data() + at;
}

void draw_text_bitmap(Bitmap_fonts& fonts, Draw_target& t, uint8_t height, uint8_t colour, int32_t x, int32_t y,
                      const char* text) {
    draw_text_bytes(fonts, t, height, colour, x, y, text, static_cast<size_t>(-1));
}

void draw_text_element(Bitmap_fonts& fonts, Dot_sink& sink, Draw_target& grid, Draw_target& margin, const string_draw& s,
                       bool selected) {
    if (!s.enabled) return;
    sink.set_texturing(false);
    // In the margins (outside the dot grid) at pitch 2 whatever the zoom, as
    // the palette's shapes are, so the left panel keeps its place and look;
    // on the grid at the current pitch.
    Draw_target& t = outside_dot_grid(s.x, s.y) ? margin : grid;
    draw_text_bytes(fonts, t, s.font_size, static_cast<uint8_t>(s.colour), static_cast<int32_t>(s.x),
                    static_cast<int32_t>(s.y), s.text, sizeof s.text);
    draw_text_marks(sink, s, grid.pitch, selected);
}

void draw_text_marks(Dot_sink& sink, const string_draw& s, int pitch, bool selected) {
    sink.set_colour(s.frame_r, s.frame_g, s.frame_b);
    if (!selected) return;
    sink.set_line_stipple(true, 2, 0xAAAA);
    const uint32_t p = static_cast<uint32_t>(pitch);
    const uint32_t width = static_cast<uint32_t>(s.font_size / 2) * static_cast<uint32_t>(s.length);
    const uint32_t x0 = s.x, y0 = s.y;
    const uint32_t x1 = x0 + p * width;
    const uint32_t y1 = y0 + p * s.font_size;
    const float frame[8] = {float(x0), float(y0), float(x1), float(y0),
                            float(x1), float(y1), float(x0), float(y1)};
    sink.line_loop(frame, 4);
    sink.set_line_stipple(false, 2, 0xAAAA);

    // The caret after the last character.
    const uint32_t cx = x0 + width * p;
    const float caret[4] = {float(cx), float(y0), float(cx), float(y0 + p * s.font_size)};
    sink.set_colour(1, 1, 1);
    sink.lines(caret, 2);
}
