#include "controller/font_check.h"

#include <cstring>

#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "scene/pools.h"
#include "scene/view_state.h"

namespace {

// The font of a character at a height, as the rasteriser chooses it (14
// draws the 12-dot Chinese glyphs and no ASCII); -1 for none.
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

const int glyph_bytes[bitmap_font_count] = {24, 32, 72, 128, 12, 16, 36, 64};

bool lies_on_a_board(const string_draw& s) {
    int r, c;
    return board_holding(s.x, s.y, dot_pitch, &r, &c);
}

// The characters of s that would show as gaps, as GBK bytes.
std::string gaps_of(const string_draw& s) {
    std::string gaps;
    const size_t n = strnlen(s.text, sizeof s.text);
    for (size_t i = 0; i < n;) {
        const auto b = static_cast<uint8_t>(s.text[i]);
        if (b > 0x80 && i + 1 < n) {
            const auto t = static_cast<uint8_t>(s.text[i + 1]);
            const bool gb2312 = b >= 0xA1 && b <= 0xF7 && t >= 0xA1 && t <= 0xFE;
            const int id = font_for(s.font_size, true);
            const uint8_t* g = gb2312 && id >= 0 ? bitmap_glyph(id, double_byte_index(b, t)) : nullptr;
            bool empty = true;
            for (int k = 0; g && k < glyph_bytes[id] && empty; ++k) empty = g[k] == 0;
            // A full-width blank (A1 A1) is meant to be empty.
            if ((!g || empty) && !(b == 0xA1 && t == 0xA1) && gaps.find(std::string(s.text + i, 2)) == std::string::npos)
                gaps.append(s.text + i, 2);
            i += 2;
            continue;
        }
        if (b > 0x20 && b != 0x7F) {
            const int id = font_for(s.font_size, false);
            const uint8_t* g = id >= 0 ? bitmap_glyph(id, single_byte_index(b)) : nullptr;
            bool empty = true;
            for (int k = 0; g && k < glyph_bytes[id] && empty; ++k) empty = g[k] == 0;
            if ((!g || empty) && gaps.find(static_cast<char>(b)) == std::string::npos) gaps += static_cast<char>(b);
        }
        ++i;
    }
    return gaps;
}

}  // namespace

std::string check_scene_fonts() {
    std::string first;
    int others = 0;
    for (const string_draw& s : string_draws) {
        if (!s.enabled || !lies_on_a_board(s)) continue;
        const std::string gaps = gaps_of(s);
        if (gaps.empty()) continue;
        if (!first.empty()) {
            ++others;
            continue;
        }
        char text[200], chars[200];
        std::string shown(s.text, strnlen(s.text, 40));
        platform_gbk_to_utf8(shown.c_str(), text, sizeof text);
        platform_gbk_to_utf8(gaps.substr(0, 24).c_str(), chars, sizeof chars);
        first = std::string("font: the card shows gaps in \"") + text +
                (strnlen(s.text, sizeof s.text) > 40 ? "…" : "") + "\" (" + std::to_string(s.font_size) +
                " dots): no glyph for " + chars;
    }
    if (others) first += " (and in " + std::to_string(others) + " more text" + (others > 1 ? "s" : "") + ")";
    return first;
}
