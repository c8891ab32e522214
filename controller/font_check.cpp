#include "controller/font_check.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"
#include "render/bitmap_font.h"
#include "scene/pools.h"
#include "scene/view_state.h"

namespace {

bool lies_on_a_board(const Scene& scene, const string_draw& s) {
    int32_t x, y;
    return sign_led(scene, s.x, s.y, scene.dot_pitch, &x, &y);
}

// The characters of s that would show as gaps, as GBK bytes.
std::string gaps_of(Bitmap_fonts& fonts, const string_draw& s, const char* text, size_t n) {
    std::string gaps;
    const uint8_t height = card_text_height(s.font_size);
    for (size_t i = 0; i < n;) {
        const auto b = static_cast<uint8_t>(text[i]);
        if (b > 0x80 && i + 1 < n) {
            const auto t = static_cast<uint8_t>(text[i + 1]);
            const bool gb2312 = b >= 0xA1 && b <= 0xF7 && t >= 0xA1 && t <= 0xFE;
            const int id = glyph_font(height, true);
            const bool shows = gb2312 && id >= 0 && glyph_lights(fonts, id, double_byte_index(b, t));
            // A full-width blank (A1 A1) is meant to be empty.
            if (!shows && !(b == 0xA1 && t == 0xA1) && gaps.find(std::string(text + i, 2)) == std::string::npos)
                gaps.append(text + i, 2);
            i += 2;
            continue;
        }
        if (b > 0x20 && b != 0x7F) {
            const int id = glyph_font(height, false);
            const bool shows = id >= 0 && glyph_lights(fonts, id, single_byte_index(b));
            if (!shows && gaps.find(static_cast<char>(b)) == std::string::npos) gaps += static_cast<char>(b);
        }
        ++i;
    }
    return gaps;
}

}  // namespace

std::string check_scene_for_card(Bitmap_fonts& fonts, const Scene& scene, const Text_files& texts) {
    std::string missing, first;
    int others = 0;
    for (const string_draw& s : scene.string_draws) {
        if (!s.enabled || !lies_on_a_board(scene, s)) continue;
        const char* text = s.text;
        size_t n = strnlen(s.text, sizeof s.text);
        if (s.text_source == 3 || s.text_source == 4) {
            if (!(text = texts.first_line(s.text_source, &n))) {
                const std::string name = "my_txt" + std::to_string(s.text_source) + ".txt";
                if (missing.find(name) == std::string::npos)
                    missing += (missing.empty() ? "card: shows nothing for text " : " and text ") +
                               std::to_string(s.text_source) + " (" + name + " is missing beside the editor)";
                continue;
            }
        }
        const std::string gaps = gaps_of(fonts, s, text, n);
        if (gaps.empty()) continue;
        if (!first.empty()) {
            ++others;
            continue;
        }
        char utf8[200], chars[200];
        std::string shown(text, std::min<size_t>(n, 40));
        platform_gbk_to_utf8(shown.c_str(), utf8, sizeof utf8);
        platform_gbk_to_utf8(gaps.substr(0, 24).c_str(), chars, sizeof chars);
        first = std::string("font: the card shows gaps in \"") + utf8 +
                (n > 40 ? "…" : "") + "\" (" + std::to_string(card_text_height(s.font_size)) +
                " dots): no glyph for " + chars;
    }
    if (others) first += " (and in " + std::to_string(others) + " more text" + (others > 1 ? "s" : "") + ")";
    if (missing.empty()) return first;
    return first.empty() ? missing : missing + "; " + first;
}
