// libFuzzer target: any bytes as a bitmap font file. All eight fonts are
// read from the one file (each takes as many bytes as its glyph table
// holds), and a fixed GB2312 and ASCII text is drawn at every height the
// editor offers (12, 14, 16, 24, 32) onto an LED screen and onto a target
// that counts what it is given.
//
// Checked beyond "no crash": a glyph is the file's bytes at its index
// times the glyph size, or none when the file ends before it; every set
// bit of a drawn glyph lights exactly one dot (at 14 dots high only the
// 12 x 12 corner of the 12-dot glyph); every dot lies within the text's
// rows and not left of its start.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "render/bitmap_font.h"
#include "render/led_framebuffer.h"

namespace {

// Bytes of one glyph of each font, and how many glyphs a character can
// reach (double-byte: both bytes reduced by 0xA0 up to 0xFF; single-byte:
// 0x20..0xFF), as the font files are laid out.
constexpr int glyph_bytes[bitmap_font_count] = {24, 32, 72, 128, 12, 16, 36, 64};
constexpr size_t double_byte_glyphs = 0xFF * 94 + 0xFF - 95 + 1;
constexpr size_t single_byte_glyphs = 0x100 - 0x20;

bool is_double_byte_font(int id) { return id <= font_hzk32; }

// One character of the text: its bytes and whether it is double-byte.
struct Piece {
    const char* bytes;
    bool double_byte;
};

// Low-index symbols (the first rows of GB2312) that short files reach;
// two common characters and the last of GB2312; a pair beyond it (0xFF
// 0xFF) and the last glyph a character can reach (0x9F 0x9F); a lead byte
// that reduces to 0 (a negative index); ASCII from blank to DEL; a byte
// whose single-byte index is negative; line ends (no dots, no space).
const Piece pieces[] = {
    {"\xA1\xA1", true}, {"\xA1\xA2", true}, {"\xA3\xC1", true}, {"\xD6\xD0", true},
    {"\xCE\xC4", true}, {"\xF7\xFE", true}, {"\xFF\xFF", true}, {"\x9F\x9F", true},
    {"\xA0\xA1", true}, {" ", false},       {"A", false},       {"z", false},
    {"~", false},       {"\x7F", false},    {"!", false},       {"\x80", false},
    {"\r", false},      {"\n", false},      {"0", false},
};

// The font of a character at a height, or -1 (14: the 12-dot Chinese
// glyphs; no ASCII).
int font_for(uint8_t height, bool double_byte) {
    switch (height) {
        case 12: return double_byte ? font_hzk12 : font_asc12;
        case 14: return double_byte ? font_hzk12 : -1;
        case 16: return double_byte ? font_hzk16 : font_asc16;
        case 24: return double_byte ? font_hzk24 : font_asc24;
        case 32: return double_byte ? font_hzk32 : font_asc32;
        default: return -1;
    }
}

int32_t index_of(const Piece& p) {
    const uint8_t a = static_cast<uint8_t>(p.bytes[0]);
    if (!p.double_byte) return static_cast<int8_t>(a) - 32;
    const uint8_t b = static_cast<uint8_t>(p.bytes[1]);
    return static_cast<uint8_t>(a - 0xA0) * 94 + static_cast<uint8_t>(b - 0xA0) - 95;
}

// Counts the dots it is given and where they fall.
class Counting_target final : public Draw_target {
public:
    void light(uint8_t, int32_t x, int32_t y) override {
        ++dots;
        if (x < min_x) min_x = x;
        if (y < min_y) min_y = y;
        if (y > max_y) max_y = y;
    }
    long dots = 0;
    int32_t min_x = INT32_MAX, min_y = INT32_MAX, max_y = INT32_MIN;
};

[[noreturn]] void fail(const char* what, const char* of, int number) {
    std::fprintf(stderr, "fuzz_font_file: %s (%s %d)\n", what, of, number);
    std::abort();
}

std::string font_path;

void remove_font() {
    std::error_code ec;
    if (!font_path.empty()) std::filesystem::remove(font_path, ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Led_framebuffer* screen = [] {
        const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        font_path = std::string(base) + "/vantiro-fuzz-font-" + std::to_string(::getpid());
        std::atexit(remove_font);
        return new Led_framebuffer(400, 40);
    }();
    std::ofstream(font_path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    // Forgets what an earlier input left: each font is read again.
    static Bitmap_fonts fonts;
    for (int id = 0; id < bitmap_font_count; ++id) set_bitmap_font_path(fonts, id, font_path.c_str());

    // Each font's glyphs are the file's bytes, up to its table's end.
    for (int id = 0; id < bitmap_font_count; ++id) {
        const size_t table = (is_double_byte_font(id) ? double_byte_glyphs : single_byte_glyphs) *
                             static_cast<size_t>(glyph_bytes[id]);
        const size_t held = size < table ? size : table;
        for (const Piece& p : pieces) {
            const int32_t index = index_of(p);
            const uint8_t* g = bitmap_glyph(fonts, id, index);
            const size_t at = static_cast<size_t>(index) * static_cast<size_t>(glyph_bytes[id]);
            const bool present = index >= 0 && at + static_cast<size_t>(glyph_bytes[id]) <= held;
            if (present != (g != nullptr)) fail("a glyph is given for bytes the file lacks, or missed", "font", id);
            if (g && std::memcmp(g, data + at, static_cast<size_t>(glyph_bytes[id])) != 0)
                fail("a glyph's bytes are not the file's", "font", id);
        }
    }

    std::string text;
    for (const Piece& p : pieces) text += p.bytes;
    // A lead byte alone at the end ends the text.
    text += '\xB0';
    for (const uint8_t height : {12, 14, 16, 24, 32}) {
        screen->clear();
        draw_text_bytes(fonts, *screen, height, static_cast<uint8_t>(height % 3), 3, 2, text.data(), text.size());

        Counting_target count;
        draw_text_bytes(fonts, count, height, 0, 0, 0, text.data(), text.size());
        long expected = 0;
        for (const Piece& p : pieces) {
            const int id = font_for(height, p.double_byte);
            if (id < 0 || p.bytes[0] == '\r' || p.bytes[0] == '\n') continue;
            const uint8_t* g = bitmap_glyph(fonts, id, index_of(p));
            if (!g) continue;
            for (int k = 0; k < glyph_bytes[id]; ++k)
                for (int bit = 0; bit < 8; ++bit) {
                    if (!(g[k] & (0x80 >> bit))) continue;
                    // At 14 only columns and rows 0..11 of the 12-dot glyph
                    // (two bytes a row) are drawn; it has 12 rows.
                    if (height == 14 && 8 * (k % 2) + bit >= 12) continue;
                    ++expected;
                }
        }
        if (count.dots != expected) fail("the dots drawn are not the glyphs' set bits", "height", height);
        const int rows = height == 14 ? 12 : height;
        if (count.dots && (count.min_x < 0 || count.min_y < 0 || count.max_y >= rows))
            fail("a dot lies outside the text's rows", "height", height);
        if (screen->lit_count() > count.dots)
            fail("the screen has more LEDs lit than dots drawn", "height", height);
    }
    return 0;
}
