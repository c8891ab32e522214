#include "card/led_picture.h"

#include "render/bitmap_font.h"
#include "render/shapes.h"
#include "scene/records.h"

namespace {

struct Runs {
    Bitmap_fonts* fonts;
    Led_framebuffer* screen;
    const char* text;
    uint8_t height, colour;
    int32_t x, y;
};

void paint_run(void* context, size_t start, size_t bytes, int64_t pen) {
    const Runs& r = *static_cast<const Runs*>(context);
    draw_text_bytes(*r.fonts, *r.screen, r.height, r.colour, static_cast<int32_t>(r.x + pen), r.y, r.text + start, bytes);
}

}  // namespace

size_t first_text_line(const uint8_t* bytes, size_t n) {
    size_t k = 0;
    while (k < n && k < 511 && bytes[k] != '\n' && bytes[k] != 0) ++k;
    while (k > 0 && bytes[k - 1] == '\r') --k;
    return k;
}

void paint_text_runs(Bitmap_fonts& fonts, Led_framebuffer& screen, uint8_t height, uint8_t colour, int32_t x,
                     int32_t y, const char* text, size_t n) {
    Runs r{&fonts, &screen, text, height, colour, x, y};
    for_each_text_run(height, text, n, paint_run, &r);
}

bool paint_command(Bitmap_fonts& fonts, Led_framebuffer& screen, const Command_value& v, Txt_lookup* txt) {
    const auto at = [&](int i) { return static_cast<int32_t>(v.number[i]); };
    const uint8_t colour = static_cast<uint8_t>(v.number[0]);
    switch (v.verb) {
        case Verb::clearall: screen.clear(); return true;
        case Verb::text:
            draw_text_bytes(fonts, screen, v.font_height, colour, at(1), at(2), v.text, v.text_length);
            return true;
        case Verb::txt: {
            const char* bytes;
            size_t n;
            if (txt && txt->first_line(at(0), &bytes, &n))
                paint_text_runs(fonts, screen, static_cast<uint8_t>(v.number[5]), static_cast<uint8_t>(v.number[1]),
                                at(2), at(3), bytes, n);
            return true;
        }
        case Verb::point: screen.light(colour, at(1), at(2)); return true;
        case Verb::line: draw_line(screen, colour, at(1), at(2), at(3), at(4)); return true;
        case Verb::circle: draw_circle(screen, colour, at(1), at(2), at(3)); return true;
        case Verb::rect: draw_rect(screen, colour, at(1), at(2), at(3), at(4)); return true;
        case Verb::s: return true;
        default: return false;
    }
}

void paint_module(Led_framebuffer& screen, const Module_value& m) {
    if (m.module_class != 800) return;
    Digit_unit d;
    d.colour = m.colour;
    d.digits = m.digits;
    d.param_a = m.param_a;
    d.param_b = m.param_b;
    draw_digit_picture(screen, d, m.x, m.y);
}
